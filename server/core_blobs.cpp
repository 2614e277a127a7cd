// The BLOB handlers of the core (1536-1542), through a client's cursor on
// the BLOB's table. Making, writing and truncating a BLOB change the store
// and wait for nothing, as record changes do; reading it does not.
//
// Choices the client's records leave open: a read from the BLOB's end
// answers 8711 with nothing; a shorter read answers 0 with what there is;
// truncating to beyond the end answers 9998; freeing a BLOB changes nothing
// (a pack removes the BLOBs no live record names), so 13058 is never sent.
#include "base/endian.h"
#include "server/blob_store.h"
#include "server/cursor_records.h"
#include "server/record_navigation.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {
namespace {

using F = TqdBlobFields;

std::optional<int32_t> CursorOfRequest(const std::optional<TqdBlobRequest>& r) {
  return r ? std::optional(r->CursorId) : std::nullopt;
}

}  // namespace

void TqdServerCore::OnCreateBlob(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  ChangeThroughCursor(c, client, msgCreateBlob, ReadIdRequest(request.Data), false,
                      [](TqdRecordNavigator& nav, TqdServerCursorView&) {
                        return TqdJobResult{qdOK, Int32Reply(TqdBlobStore(nav.Store(), nav.TableId()).Create())};
                      });
}

void TqdServerCore::OnGetBlob(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto get = ReadBlobRequest(request.Data, F::OffsetAndLength);
  WorkOnCursor(c, client, msgGetBlob, CursorOfRequest(get),
               [r = get.value_or(TqdBlobRequest{})](TqdRecordNavigator& nav, TqdServerCursorView&) {
                 TqdBlobStore blobs(nav.Store(), nav.TableId());
                 if (r.Length > 0 && blobs.Size(r.Blob) == r.Offset) return TqdJobResult{qdErrEndOfBlob, {}};
                 std::vector<uint8_t> bytes = blobs.Read(r.Blob, r.Offset, r.Length);
                 std::vector<uint8_t> reply = Int32Reply(static_cast<int32_t>(bytes.size()));
                 reply.insert(reply.end(), bytes.begin(), bytes.end());
                 return TqdJobResult{qdOK, std::move(reply)};
               });
}

void TqdServerCore::OnGetBlobSize(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto size = ReadBlobRequest(request.Data, F::Number);
  WorkOnCursor(c, client, msgGetBlobSize, CursorOfRequest(size),
               [r = size.value_or(TqdBlobRequest{})](TqdRecordNavigator& nav, TqdServerCursorView&) {
                 const int64_t bytes = TqdBlobStore(nav.Store(), nav.TableId()).Size(r.Blob);
                 return TqdJobResult{qdOK, Int32Reply(static_cast<int32_t>(bytes))};
               });
}

void TqdServerCore::OnTruncateBlob(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto truncate = ReadBlobRequest(request.Data, F::Length);
  ChangeThroughCursor(c, client, msgTruncateBlob, CursorOfRequest(truncate), false,
                      [r = truncate.value_or(TqdBlobRequest{})](TqdRecordNavigator& nav, TqdServerCursorView&) {
                        TqdBlobStore(nav.Store(), nav.TableId()).Truncate(r.Blob, r.Length);
                        return TqdJobResult{};
                      });
}

void TqdServerCore::OnPutBlob(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto put = ReadBlobRequest(request.Data, F::OffsetLengthAndBytes);
  ChangeThroughCursor(c, client, msgPutBlob, CursorOfRequest(put), false,
                      [r = put.value_or(TqdBlobRequest{})](TqdRecordNavigator& nav, TqdServerCursorView&) {
                        TqdBlobStore(nav.Store(), nav.TableId()).Write(r.Blob, r.Offset, r.Bytes);
                        return TqdJobResult{};
                      });
}

void TqdServerCore::OnFreeBlob(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto free = ReadBlobRequest(request.Data, F::Number);
  WorkOnCursor(c, client, msgFreeBlob, CursorOfRequest(free),
               [r = free.value_or(TqdBlobRequest{})](TqdRecordNavigator& nav, TqdServerCursorView&) {
                 TqdBlobStore(nav.Store(), nav.TableId()).Size(r.Blob);  // a BLOB of the table, or 10030
                 return TqdJobResult{};
               });
}

}  // namespace qd
