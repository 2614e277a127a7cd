#include "server/dict_edit.h"

#include <span>

namespace qd {

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
