#include "server/dict_edit.h"

#include <span>

#include "base/QDLLExcp.h"
#include "base/stream.h"
#include "server/server_results.h"
#include "server/sqlite_db.h"

namespace qd {

std::unique_ptr<TqdDataDictionary> ReadClientDictionary(std::span<const uint8_t> bytes) {
  try {
    TqdMemoryStream stream(bytes.data(), bytes.size());
    TqdDataDictionary received;
    received.LoadFromStream(stream);
    if (received.FileCount() == 0 || received.FileDesc(0).FileType != kFileTypeData)
      throw EqdStorageError(qdErrInvalidRecStruct, "file 0 of the dictionary is not the data file");
    auto canonical = CopyDictionary(received);
    canonical->Validate();
    return canonical;
  } catch (const Exception& e) {
    throw EqdStorageError(qdErrInvalidRecStruct, e.what());
  }
}

std::unique_ptr<TqdDataDictionary> CopyDictionary(const TqdDataDictionary& source,
                                                  int32_t skipIndex) {
  auto copy = std::make_unique<TqdDataDictionary>();
  copy->ClearAll(true);
  copy->SetTableFlag(source.TableFlag());
  copy->SetBaseName(source.BaseName());
  for (int32_t f = 0; f < source.FileCount(); ++f) {
    const TqdDictFile& file = source.FileDesc(f);
    copy->AddFile(file.Description.View(), file.Extension.View(), file.BlockSize, file.FileType);
  }
  for (int32_t n = 0; n < source.FieldCount(); ++n) {
    const TqdDictField& field = source.FieldDesc(n);
    copy->AddField(field.Name.View(), field.Description.View(), field.FieldType, field.Units,
                   field.Decimals, field.Required);
    if (field.Validity) copy->SetFieldValidity(n, *field.Validity);
  }
  for (int32_t i = 1; i < source.IndexCount(); ++i) {
    if (i == skipIndex) continue;
    const TqdDictIndex& index = source.IndexDesc(i);
    if (index.IsUserDefined()) {
      copy->AddUserIndex(index.Name.View(), index.Description.View(), index.FileNumber,
                         index.KeyLength, index.AllowDuplicates, index.Ascending,
                         index.CaseInsensitive);
    } else {
      copy->AddCompositeIndex(index.Name.View(), index.Description.View(), index.FileNumber,
                              std::span<const int32_t>(index.FieldNumbers.data(),
                                                       static_cast<size_t>(index.FieldCount)),
                              index.AllowDuplicates, index.Ascending, index.CaseInsensitive);
    }
  }
  return copy;
}

}  // namespace qd
