#include "server/key_run_source.h"

#include <algorithm>
#include <cstring>

namespace qd {
namespace {

enum Column { kKeyColumn = 0, kRidColumn = 1, kRunColumn = 2 };

// Entries gathered into key order at a time. Handed out one by one, the
// sorted entries would be read all over a run of tens of megabytes, a cache
// miss each with SQLite's work in between; a gathering loop has many of
// those misses under way at once, and the chunk stays in the cache.
constexpr size_t kGatherEntries = 1024;

// Plain data, zero-filled on opening.
struct KeyRunCursor {
  sqlite3_vtab_cursor Base;  // must come first: SQLite hands this pointer back
  const TqdKeyRunView* Run;
  size_t Position;
  uint8_t* Chunk;  // sqlite3_malloc'd room for kGatherEntries entries
  size_t ChunkStart;
  size_t ChunkCount;
};

void Gather(KeyRunCursor& c) {
  const TqdKeyRunView& run = *c.Run;
  c.ChunkStart = c.Position;
  c.ChunkCount = std::min(kGatherEntries, run.Count - c.Position);
  for (size_t i = 0; i < c.ChunkCount; ++i)
    std::memcpy(c.Chunk + i * run.EntrySize, run.Base + static_cast<size_t>(run.Order[c.Position + i]) * run.EntrySize,
                run.EntrySize);
}

const uint8_t* EntryAt(KeyRunCursor& c) {
  if (c.Position < c.ChunkStart || c.Position >= c.ChunkStart + c.ChunkCount) Gather(c);
  return c.Chunk + (c.Position - c.ChunkStart) * c.Run->EntrySize;
}

int Connect(sqlite3* db, void*, int, const char* const*, sqlite3_vtab** table, char**) {
  int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(key BLOB, rid INTEGER, run HIDDEN)");
  if (rc != SQLITE_OK) return rc;
  *table = static_cast<sqlite3_vtab*>(sqlite3_malloc(sizeof(sqlite3_vtab)));
  if (*table == nullptr) return SQLITE_NOMEM;
  std::memset(*table, 0, sizeof(sqlite3_vtab));
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* table) {
  sqlite3_free(table);
  return SQLITE_OK;
}

// The run argument is required: without it there is nothing to scan.
int BestIndex(sqlite3_vtab*, sqlite3_index_info* info) {
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& constraint = info->aConstraint[i];
    if (constraint.iColumn == kRunColumn && constraint.op == SQLITE_INDEX_CONSTRAINT_EQ &&
        constraint.usable) {
      info->aConstraintUsage[i].argvIndex = 1;
      info->aConstraintUsage[i].omit = 1;
      info->estimatedCost = 1;
      return SQLITE_OK;
    }
  }
  return SQLITE_CONSTRAINT;
}

int Open(sqlite3_vtab*, sqlite3_vtab_cursor** cursor) {
  auto* c = static_cast<KeyRunCursor*>(sqlite3_malloc(sizeof(KeyRunCursor)));
  if (c == nullptr) return SQLITE_NOMEM;
  std::memset(c, 0, sizeof(KeyRunCursor));
  *cursor = &c->Base;
  return SQLITE_OK;
}

int Close(sqlite3_vtab_cursor* cursor) {
  sqlite3_free(reinterpret_cast<KeyRunCursor*>(cursor)->Chunk);
  sqlite3_free(cursor);
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* cursor, int, const char*, int argc, sqlite3_value** argv) {
  auto* c = reinterpret_cast<KeyRunCursor*>(cursor);
  c->Run = argc == 1 ? static_cast<const TqdKeyRunView*>(sqlite3_value_pointer(argv[0], kKeyRunPointerType))
                     : nullptr;
  c->Position = 0;
  c->ChunkStart = c->ChunkCount = 0;
  sqlite3_free(c->Chunk);
  c->Chunk = nullptr;
  if (c->Run == nullptr || c->Run->Count == 0) return SQLITE_OK;
  c->Chunk = static_cast<uint8_t*>(sqlite3_malloc64(kGatherEntries * c->Run->EntrySize));
  return c->Chunk == nullptr ? SQLITE_NOMEM : SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* cursor) {
  auto* c = reinterpret_cast<KeyRunCursor*>(cursor);
  ++c->Position;
  const TqdKeyRunView& run = *c->Run;
  if (c->Position % kKeyRunPublishEvery == 0) {
    if (run.Progress != nullptr) {
      run.Progress->Advance(kKeyRunPublishEvery);
      if (run.Progress->Cancelled.load(std::memory_order_relaxed)) return SQLITE_INTERRUPT;
    }
  }
  return SQLITE_OK;
}

int Eof(sqlite3_vtab_cursor* cursor) {
  auto* c = reinterpret_cast<KeyRunCursor*>(cursor);
  return c->Run == nullptr || c->Position >= c->Run->Count;
}

int ColumnValue(sqlite3_vtab_cursor* cursor, sqlite3_context* context, int column) {
  auto* c = reinterpret_cast<KeyRunCursor*>(cursor);
  const uint8_t* entry = EntryAt(*c);
  if (column == kKeyColumn) {
    sqlite3_result_blob(context, entry, static_cast<int>(c->Run->KeyWidth), SQLITE_STATIC);
  } else if (column == kRidColumn) {
    uint64_t rid = 0;
    for (size_t i = 0; i < 8; ++i) rid = (rid << 8) | entry[c->Run->KeyWidth + i];
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(rid));
  } else {
    sqlite3_result_null(context);
  }
  return SQLITE_OK;
}

int RowId(sqlite3_vtab_cursor* cursor, sqlite3_int64* rowId) {
  *rowId = static_cast<sqlite3_int64>(reinterpret_cast<KeyRunCursor*>(cursor)->Position);
  return SQLITE_OK;
}

// Eponymous only: without xCreate the function cannot be made into a
// stored virtual table.
sqlite3_module MakeKeyRunModule() {
  sqlite3_module m{};
  m.xConnect = Connect;
  m.xBestIndex = BestIndex;
  m.xDisconnect = Disconnect;
  m.xOpen = Open;
  m.xClose = Close;
  m.xFilter = Filter;
  m.xNext = Next;
  m.xEof = Eof;
  m.xColumn = ColumnValue;
  m.xRowid = RowId;
  return m;
}

const sqlite3_module kKeyRunModule = MakeKeyRunModule();

}  // namespace

void RegisterKeyRunSource(sqlite3* db) {
  sqlite3_create_module_v2(db, kKeyRunPointerType, &kKeyRunModule, nullptr, nullptr);
}

}  // namespace qd
