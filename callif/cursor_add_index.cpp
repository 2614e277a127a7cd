// Adding an index through a cursor: the BDE index description is reduced to
// what the server needs, the server builds the index as a task, and the
// cursor waits for the task and then reloads the table's dictionary.
#include "base/endian.h"
#include "callif/QDCLDbas.h"
#include "callif/QDCLSess.h"
#include "callif/QDClTabl.h"
#include "callif/maintenance.h"
#include "dict/bde_desc.h"
#include "platform/hooks.h"

namespace qd {

namespace {

// nullopt when the description names more key fields than an index has.
std::optional<TqdNewIndex> ReduceIndexDesc(const uint8_t* desc) {
  TqdNewIndex index;
  index.Name = GetZeroText(desc + kIdxNameOffset, kDictNameCapacity);
  index.KeyFieldCount = GetInt16LE(desc + kIdxKeyFieldCountOffset);
  if (index.KeyFieldCount < 0 || index.KeyFieldCount > kMaxKeyFields) return std::nullopt;
  for (int32_t k = 0; k < index.KeyFieldCount; ++k)
    index.KeyFields[static_cast<size_t>(k)] = GetInt16LE(desc + kIdxKeyFieldsOffset + 2 * k) - 1;
  index.AllowDuplicates = GetUInt16LE(desc + kIdxUniqueOffset) == 0;
  index.Ascending = GetUInt16LE(desc + kIdxDescendingOffset) == 0;
  index.CaseInsensitive = GetUInt16LE(desc + kIdxCaseInsensitiveOffset) != 0;
  return index;
}

}  // namespace

TqdResult TQDClientTable::AddIndex(const uint8_t* indexDesc, const char*) {
  if (indexDesc == nullptr) return SetResult(qdErrInvalidParam);
  std::optional<TqdNewIndex> index = ReduceIndexDesc(indexDesc);
  if (!index) return SetResult(qdErrInvalidParam);
  TQDClientDatabase* db = Database();
  TqdClientSession* session = db == nullptr ? nullptr : db->Session();
  if (session == nullptr) return SetResult(qdErrInvalidHandle);
  TqdBusyCursor busy;  // the server builds the index while we wait
  int32_t task = kNoTask;
  TqdResult result = qd::AddIndex(Handle(), EncodeIndexDescriptor(*index), task);
  if (result == qdOK) {
    bool finished = false;
    TaskStatus status;
    while (!finished && result == qdOK) result = GetTaskStatus(session->Handle(), task, finished, status);
  }
  TqdMemoryStream stream;
  if (db->GetDictionary(tableName_, stream, true) == qdOK) {
    try {
      dictionary_.LoadFromStream(stream);
      BuildFieldDescs();
    } catch (const std::exception&) {
      // A malformed dictionary leaves the cursor's cleared.
      fieldDescs_.Clear();
    }
  }
  return SetResult(result);
}

}  // namespace qd
