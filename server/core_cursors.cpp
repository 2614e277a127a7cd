// The cursor handlers of the core: positioning (1792, 1793, 1797, 1799,
// 1800), reading (2048-2050, 2056), counting (1303), bookmarks (1795,
// 1796, 1801) and key extraction (2055). A cursor's position and range live
// here on the serving thread; a worker gets a copy with the request, reads
// the store, and the copy it leaves becomes the cursor's state when the
// reply goes out, unless a pack of the table ended meanwhile (the records
// were renumbered: the cursor goes before the first record).
//
// Choices the client's records leave open, made here: a read or search
// that fails leaves the cursor where the failure put it (past the end,
// before the beginning, or just before where the key would be); a count is
// the count inside the cursor's range; a search for an equal key that
// finds none answers 8710 with the cursor just before where the key would
// be; searches and ranges need an index with a key (index 0 answers
// 10048); a lock asked for with a read is not available yet (12289).
#include <algorithm>

#include "base/endian.h"
#include "server/bookmark.h"
#include "server/cursor_records.h"
#include "server/cursor_replies.h"
#include "server/record_navigation.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {
namespace {

bool StartsWith(const std::vector<uint8_t>& key, const std::vector<uint8_t>& prefix) {
  return key.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), key.begin());
}

TqdClientKey ClientKey(const TqdKeyRequest& r) { return {r.KeyItself, r.FieldCount, r.PartialLength, r.Key}; }

void RefuseIndexZero(const TqdRecordNavigator& nav) {
  if (nav.IndexNo() == 0) throw EqdStorageError(qdErrInvalidIndexType, "index 0 has no key");
}

// Reads one step and moves there; past either end the cursor stays there.
TqdJobResult Move(TqdRecordNavigator& nav, TqdServerCursorView& view, bool forward, int32_t recordLength) {
  auto found = nav.Step(view.Position, forward, view.Range);
  if (!found) {
    view.Position.Where = forward ? TqdCursorPosition::AfterLast : TqdCursorPosition::BeforeFirst;
    return {forward ? qdErrEOF : qdErrBOF, {}};
  }
  view.Position = found->Position();
  return {qdOK, RecordReply(*found, recordLength)};
}

}  // namespace

uint32_t TqdServerCore::PackGeneration(const std::string& directory, const std::string& table) const {
  auto it = packGenerations_.find(PackKey(directory, table));
  return it == packGenerations_.end() ? 0 : it->second;
}

std::string TqdServerCore::PackKey(const std::string& directory, const std::string& table) {
  std::string key = directory + '\0';
  for (char ch : table) key += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return key;
}

// A pack renumbers the table's records: every cursor on it goes before the
// first record, and the bookmarks made before are stale from now on.
void TqdServerCore::AfterPack(const std::string& directory, const std::string& table) {
  ++packGenerations_[PackKey(directory, table)];
  locks_.ForgetRecords(PackKey(directory, table));
  for (auto& [connection, client] : clients_) {
    for (auto& [id, cursor] : client.Cursors) {
      const std::string* dir = DirectoryOf(client, cursor.DatabaseId);
      if (dir != nullptr && *dir == directory && PackKey(directory, cursor.Table) == PackKey(directory, table))
        cursor.Position = {};
    }
  }
}

TqdServerCore::Cursor* TqdServerCore::CursorOf(TqdCoreConnection c, Client& client, TqdMsgID msg,
                                               std::optional<int32_t> cursorId) {
  if (!cursorId) {
    Reply(c, msg, qdErrInvalidParam);
    return nullptr;
  }
  auto it = client.Cursors.find(*cursorId);
  if (it == client.Cursors.end() || DirectoryOf(client, it->second.DatabaseId) == nullptr) {
    Reply(c, msg, qdErrInvalidHandle);
    return nullptr;
  }
  return &it->second;
}

void TqdServerCore::WorkOnCursor(TqdCoreConnection c, Client& client, TqdMsgID msg, std::optional<int32_t> cursorId,
                                 CursorWork work, CursorAfter after) {
  Cursor* cursor = CursorOf(c, client, msg, cursorId);
  if (cursor == nullptr) return;
  const std::string directory = *DirectoryOf(client, cursor->DatabaseId);
  auto view = std::make_shared<TqdServerCursorView>(TqdServerCursorView{
      cursor->IndexId, cursor->Position, cursor->Range, PackGeneration(directory, cursor->Table)});
  Defer(
      c, msg, 0,
      [directory, table = cursor->Table, view, work = std::move(work),
       txn = TransactionOf(client, cursor->DatabaseId)](TqdStoreCache& stores) {
        if (!txn) {
          TqdRecordNavigator nav(stores.For(directory), table, view->IndexId);
          return work(nav, *view);
        }
        // Inside the client's transaction: its own connection, one job at a time.
        std::lock_guard<std::mutex> inUse(txn->InUse);
        if (!txn->Store) throw EqdStorageError(qdErrNoActiveTran, "the transaction has ended");
        TqdRecordNavigator nav(*txn->Store, table, view->IndexId);
        return work(nav, *view);
      },
      [this, id = *cursorId, directory, view, after = std::move(after)](Client& owner, TqdJobResult& result) {
        auto it = owner.Cursors.find(id);
        if (it == owner.Cursors.end()) {
          result = {qdErrInvalidHandle, {}};
          return;
        }
        Cursor& state = it->second;
        state.IndexId = view->IndexId;
        state.Range = std::move(view->Range);
        const bool packed = PackGeneration(directory, state.Table) != view->Generation;
        state.Position = packed ? TqdCursorPosition{} : std::move(view->Position);
        if (after) after(owner, state, result);
      });
}

void TqdServerCore::OnSetToBegin(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  if (Cursor* cursor = CursorOf(c, client, msgSetToBegin, ReadIdRequest(request.Data))) {
    cursor->Position = {};
    Reply(c, msgSetToBegin, qdOK);
  }
}

void TqdServerCore::OnSetToEnd(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  if (Cursor* cursor = CursorOf(c, client, msgSetToEnd, ReadIdRequest(request.Data))) {
    cursor->Position = {TqdCursorPosition::AfterLast, {}, 0};
    Reply(c, msgSetToEnd, qdOK);
  }
}

void TqdServerCore::OnResetRange(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  if (Cursor* cursor = CursorOf(c, client, msgResetRange, ReadIdRequest(request.Data))) {
    cursor->Range = {};
    cursor->Position = {};
    Reply(c, msgResetRange, qdOK);
  }
}

// A lock comes with a read of the current record (2048): it is taken before
// the record is read, so the data answered is read under it. The next and
// prior reads take none (the client reads, then reads the current record
// with its lock): 12289.
void TqdServerCore::OnReadRecord(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  const TqdMsgID msg = request.MsgID;
  auto read = ReadReadRecordRequest(request.Data);
  CursorAfter after;
  if (read && read->Lock != 0) {
    if (msg != msgGetRecord) {
      Reply(c, msg, qdErrNotSupported);
      return;
    }
    Cursor* cursor = CursorOf(c, client, msg, read->CursorId);
    if (cursor == nullptr) return;
    if (cursor->Position.Where == TqdCursorPosition::On) {
      const std::string key = LockKeyOf(client, *cursor);
      const TqdLockOwner owner{c, read->CursorId};
      const int64_t rid = cursor->Position.Rid;
      const bool held = locks_.HoldsRecord(key, rid, owner);
      if (TqdResult locked = locks_.LockRecord(key, rid, owner); locked != qdOK) {
        Reply(c, msg, locked);
        return;
      }
      // A lock taken for a record that turns out to be gone is let go.
      after = [this, key, rid, owner, held](Client&, Cursor&, TqdJobResult& result) {
        if (result.Result != qdOK && !held) locks_.UnlockRecord(key, rid, owner);
      };
    }
  }
  WorkOnCursor(c, client, msg, read ? std::optional(read->CursorId) : std::nullopt,
               [msg, length = read ? read->RecordLength : 0](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 if (msg == msgGetNextRecord || msg == msgGetPriorRecord)
                   return Move(nav, view, msg == msgGetNextRecord, length);
                 if (view.Position.Where != TqdCursorPosition::On) return TqdJobResult{qdErrNoCurrRec, {}};
                 auto found = nav.At(view.Position);
                 if (!found) return TqdJobResult{qdErrRecDeleted, {}};
                 return TqdJobResult{qdOK, RecordReply(*found, length)};
               },
               std::move(after));
}

void TqdServerCore::OnGetRecordCount(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  WorkOnCursor(c, client, msgGetRecordCount, ReadIdRequest(request.Data),
               [](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 int64_t count = nav.Count(view.Range);
                 return TqdJobResult{qdOK, Int32Reply(static_cast<int32_t>(std::min<int64_t>(count, INT32_MAX)))};
               });
}

void TqdServerCore::OnSetToKey(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto search = ReadSetToKeyRequest(request.Data);
  WorkOnCursor(c, client, msgSetToKey, search ? std::optional(search->CursorId) : std::nullopt,
               [s = search.value_or(TqdKeyRequest{})](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 RefuseIndexZero(nav);
                 std::vector<uint8_t> prefix = nav.SearchPrefix(ClientKey(s));
                 if (s.Condition == 1) {
                   auto after = KeyAfterPrefix(prefix);
                   view.Position = after ? TqdCursorPosition::BeforeKey(*after)
                                         : TqdCursorPosition{TqdCursorPosition::AfterLast, {}, 0};
                   return TqdJobResult{qdOK, {}};
                 }
                 view.Position = TqdCursorPosition::BeforeKey(prefix);
                 if (s.Condition == 2) return TqdJobResult{qdOK, {}};
                 auto found = nav.Step(view.Position, true, {});
                 return TqdJobResult{found && StartsWith(found->Key, prefix) ? qdOK : qdErrRecNotFound, {}};
               });
}

void TqdServerCore::OnGetRecordForKey(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto search = ReadRecordForKeyRequest(request.Data);
  WorkOnCursor(c, client, msgGetRecordForKey, search ? std::optional(search->CursorId) : std::nullopt,
               [s = search.value_or(TqdKeyRequest{})](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 RefuseIndexZero(nav);
                 std::vector<uint8_t> prefix = nav.SearchPrefix(ClientKey(s));
                 auto found = nav.Step(TqdCursorPosition::BeforeKey(prefix), true, {});
                 if (!found || !StartsWith(found->Key, prefix)) return TqdJobResult{qdErrRecNotFound, {}};
                 view.Position = found->Position();
                 return TqdJobResult{qdOK, RecordReply(*found, s.RecordLength)};
               });
}

// The low end starts at its key (inclusive) or after every key with that
// prefix; the high end stops before its key (exclusive) or after every key
// with that prefix (inclusive). The cursor goes before the range's first
// record.
void TqdServerCore::OnSetRange(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto range = ReadSetRangeRequest(request.Data);
  WorkOnCursor(c, client, msgSetRange, range ? std::optional(range->CursorId) : std::nullopt,
               [r = range.value_or(TqdSetRangeRequest{})](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 RefuseIndexZero(nav);
                 TqdKeyRange keys;
                 if (r.Low.Key) {
                   auto prefix = nav.SearchPrefix({r.KeyItself, r.Low.FieldCount, r.Low.PartialLength, *r.Low.Key});
                   auto after = r.Low.Inclusive ? std::optional(prefix) : KeyAfterPrefix(prefix);
                   // Nothing sorts after an all-0xFF prefix: a key longer
                   // than any stored one stands in for the end.
                   keys.Low = after ? *after : std::vector<uint8_t>(prefix.size() + 1, 0xFF);
                 }
                 if (r.High.Key) {
                   auto prefix =
                       nav.SearchPrefix({r.KeyItself, r.High.FieldCount, r.High.PartialLength, *r.High.Key});
                   keys.High = r.High.Inclusive ? KeyAfterPrefix(prefix) : std::optional(prefix);
                 }
                 view.Range = std::move(keys);
                 view.Position = {};
                 return TqdJobResult{qdOK, {}};
               });
}

namespace {

TqdBookmark BookmarkOf(const TqdCursorPosition& p, uint32_t generation) {
  switch (p.Where) {
    case TqdCursorPosition::On: return {TqdBookmark::OnRecord, p.Rid, generation};
    case TqdCursorPosition::AfterLast: return {TqdBookmark::AfterLast, 0, generation};
    default: return {TqdBookmark::BeforeFirst, 0, generation};
  }
}

// The position a bookmark names in the cursor's current index; 9986 for
// bytes that are no bookmark, 8708 for a record that is gone or
// renumbered by a pack since.
TqdCursorPosition PositionOf(TqdRecordNavigator& nav, std::span<const uint8_t> bytes, uint32_t generation) {
  auto bookmark = DecodeBookmark(bytes);
  if (!bookmark) throw EqdStorageError(qdErrInvalidParam, "not a bookmark");
  if (bookmark->Generation != generation) throw EqdStorageError(qdErrRecDeleted, "the table was packed");
  if (bookmark->Where == TqdBookmark::BeforeFirst) return {};
  if (bookmark->Where == TqdBookmark::AfterLast) return {TqdCursorPosition::AfterLast, {}, 0};
  auto found = nav.ByRid(bookmark->Rid);
  if (!found) throw EqdStorageError(qdErrRecDeleted, "the record is gone");
  return found->Position();
}

int32_t Order(const TqdCursorPosition& a, const TqdCursorPosition& b) {
  auto rank = [](const TqdCursorPosition& p) {
    return p.Where == TqdCursorPosition::BeforeFirst ? 0 : p.Where == TqdCursorPosition::AfterLast ? 2 : 1;
  };
  if (rank(a) != rank(b)) return rank(a) < rank(b) ? -1 : 1;
  if (a.Key != b.Key) return a.Key < b.Key ? -1 : 1;
  return a.Rid == b.Rid ? 0 : (a.Rid < b.Rid ? -1 : 1);
}

}  // namespace

void TqdServerCore::OnGetBookmark(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto get = ReadGetBookmarkRequest(request.Data);
  if (get && (static_cast<size_t>(get->BookmarkSize) < kBookmarkBytes ||
              static_cast<size_t>(get->BookmarkSize) > kMaxBookmarkSize)) {
    Reply(c, msgGetBookmark, qdErrInvalidParam);
    return;
  }
  WorkOnCursor(c, client, msgGetBookmark, get ? std::optional(get->CursorId) : std::nullopt,
               [size = get ? get->BookmarkSize : 0](TqdRecordNavigator&, TqdServerCursorView& view) {
                 if (view.Position.Where == TqdCursorPosition::Before) return TqdJobResult{qdErrNoCurrRec, {}};
                 return TqdJobResult{
                     qdOK, EncodeBookmark(BookmarkOf(view.Position, view.Generation), static_cast<size_t>(size))};
               });
}

void TqdServerCore::OnSetToBookmark(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto set = ReadSetToBookmarkRequest(request.Data);
  WorkOnCursor(c, client, msgSetToBookmark, set ? std::optional(set->CursorId) : std::nullopt,
               [s = set.value_or(TqdBookmarkRequest{})](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 view.Position = PositionOf(nav, s.First, view.Generation);
                 return TqdJobResult{qdOK, {}};
               });
}

void TqdServerCore::OnCompareBookmarks(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto compare = ReadCompareBookmarksRequest(request.Data);
  WorkOnCursor(c, client, msgCompareBookmarks, compare ? std::optional(compare->CursorId) : std::nullopt,
               [s = compare.value_or(TqdBookmarkRequest{})](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 return TqdJobResult{qdOK, Int32Reply(Order(PositionOf(nav, s.First, view.Generation),
                                                            PositionOf(nav, s.Second, view.Generation)))};
               });
}

// The dictionary's composite key of the given record, or of the current
// one, cut to the client's key length when that is shorter.
void TqdServerCore::OnExtractKey(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto extract = ReadExtractKeyRequest(request.Data);
  WorkOnCursor(c, client, msgExtractKey, extract ? std::optional(extract->CursorId) : std::nullopt,
               [e = extract.value_or(TqdExtractKeyRequest{})](TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 std::vector<uint8_t> key;
                 if (e.Record) {
                   if (e.Record->size() < static_cast<size_t>(nav.Dictionary().RecordSize()))
                     return TqdJobResult{qdErrInvalidParam, {}};
                   key = nav.CompositeKeyOf(e.Record->data());
                 } else {
                   auto found = nav.At(view.Position);
                   if (!found) return TqdJobResult{qdErrNoCurrRec, {}};
                   key = nav.CompositeKeyOf(found->Record.data());
                 }
                 if (key.size() > static_cast<size_t>(e.KeyLength)) key.resize(static_cast<size_t>(e.KeyLength));
                 return TqdJobResult{qdOK, std::move(key)};
               });
}

// Clone (1802): cursor id 4, open mode 1. The clone reads the same table by
// the same index from the same position, within the same range; being the
// same client's, it is let in even when the table is opened to itself.
void TqdServerCore::OnCloneCursor(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto clone = ReadLockRequest(request.Data, kLockRequestSize);
  Cursor* source = CursorOf(c, client, msgCloneCursor, clone ? std::optional(clone->CursorId) : std::nullopt);
  if (source == nullptr) return;
  if (!client.HasRoomForHandle()) {
    Reply(c, msgCloneCursor, qdErrNoMemory);
    return;
  }
  Cursor copy = *source;
  const int32_t id = NextId();
  client.Cursors[id] = std::move(copy);
  Reply(c, msgCloneCursor, qdOK, Int32Reply(id));
}

// Set to cursor (1803): the source cursor's id 4, then this cursor's id 4.
// This cursor goes to the source's record (found again in its own index),
// or to the same end; a position between records carries over only within
// one index (8709 otherwise). Both must read the same table (9986).
void TqdServerCore::OnSetToCursor(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto ids = ReadTwoCursorsRequest(request.Data);
  std::optional<int32_t> sourceId, targetId;
  if (ids) {
    sourceId = ids->first;
    targetId = ids->second;
  }
  Cursor* source = CursorOf(c, client, msgSetToCursor, sourceId);
  if (source == nullptr) return;
  Cursor* target = CursorOf(c, client, msgSetToCursor, targetId);
  if (target == nullptr) return;
  if (LockKeyOf(client, *source) != LockKeyOf(client, *target)) {
    Reply(c, msgSetToCursor, qdErrInvalidParam);
    return;
  }
  WorkOnCursor(c, client, msgSetToCursor, targetId,
               [from = source->Position, sameIndex = source->IndexId == target->IndexId](
                   TqdRecordNavigator& nav, TqdServerCursorView& view) {
                 if (from.Where == TqdCursorPosition::On) {
                   auto found = nav.ByRid(from.Rid);
                   if (!found) return TqdJobResult{qdErrRecDeleted, {}};
                   view.Position = found->Position();
                 } else if (from.Where == TqdCursorPosition::Before && !sameIndex) {
                   return TqdJobResult{qdErrNoCurrRec, {}};
                 } else {
                   view.Position = from;
                 }
                 return TqdJobResult{};
               });
}

}  // namespace qd
