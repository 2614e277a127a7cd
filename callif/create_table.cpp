// Creating a table: the caller's BDE description becomes a data dictionary
// that travels to the server in a restructure request.
#include <vector>

#include "base/endian.h"
#include "callif/QDCLDbas.h"
#include "callif/maintenance.h"
#include "dict/QDCLConv.h"
#include "dict/QDLLDict.h"
#include "dict/bde_desc.h"

namespace qd {

namespace {

bool FieldIsRequired(const TqdCreateTableDesc& desc, int32_t fieldNumber) {
  if (desc.VchkDescs == nullptr) return false;
  for (uint16_t i = 0; i < desc.VchkCount; ++i) {
    const uint8_t* v = desc.VchkDescs + static_cast<size_t>(i) * kValidityDescSize;
    if (GetInt16LE(v + kVchkFieldNumberOffset) == fieldNumber && GetUInt16LE(v + kVchkRequiredOffset) != 0) return true;
  }
  return false;
}

void AddFields(const TqdCreateTableDesc& desc, TqdDataDictionary& dictionary) {
  for (uint16_t i = 0; i < desc.FieldCount; ++i) {
    const uint8_t* f = desc.FieldDescs + static_cast<size_t>(i) * kFieldDescSize;
    TqdEngineTypeAndLength type = EngineTypeFromBDE(GetUInt16LE(f + kFldTypeOffset), GetUInt16LE(f + kFldSubtypeOffset),
                                                    GetUInt16LE(f + kFldLengthOffset));
    dictionary.AddField(GetZeroText(f + kFldNameOffset, kFldNameSize - 1), "", static_cast<uint8_t>(type.Type),
                        GetInt16LE(f + kFldUnits1Offset), GetInt16LE(f + kFldUnits2Offset),
                        FieldIsRequired(desc, i + 1));
  }
}

// False when an index names more key fields than an index can have.
bool AddIndexes(const TqdCreateTableDesc& desc, TqdDataDictionary& dictionary) {
  for (uint16_t i = 0; i < desc.IndexCount; ++i) {
    const uint8_t* x = desc.IndexDescs + static_cast<size_t>(i) * kIndexDescSize;
    int32_t count = GetInt16LE(x + kIdxKeyFieldCountOffset);
    if (count < 0 || count > kMaxKeyFields) return false;
    std::vector<int32_t> fields;
    for (int32_t k = 0; k < count; ++k) fields.push_back(GetInt16LE(x + kIdxKeyFieldsOffset + 2 * k) - 1);
    dictionary.AddCompositeIndex(GetZeroText(x + kIdxNameOffset, kDictNameCapacity), "", 0, fields,
                                 GetUInt16LE(x + kIdxUniqueOffset) == 0, GetUInt16LE(x + kIdxDescendingOffset) == 0,
                                 GetUInt16LE(x + kIdxCaseInsensitiveOffset) != 0);
  }
  return true;
}

}  // namespace

TqdResult TQDClientDatabase::CreateTable(bool overwrite, const TqdCreateTableDesc& desc) {
  SetResult(qdErrNoMemory);
  if ((desc.FieldCount > 0 && desc.FieldDescs == nullptr) || (desc.IndexCount > 0 && desc.IndexDescs == nullptr))
    return SetResult(qdErrInvalidParam);
  TqdDataDictionary dictionary(kDefaultBlockSize);
  AddFields(desc, dictionary);
  if (!AddIndexes(desc, dictionary)) return SetResult(qdErrInvalidParam);
  // The restructure request reduces the name to its base name (once: a
  // second pass would take "A.B" of "A.B.C" for an extension too).
  std::string_view name = desc.TableName == nullptr ? std::string_view() : std::string_view(desc.TableName);
  return SetResult(RestructureTable(Handle(), overwrite, name, dictionary));
}

}  // namespace qd
