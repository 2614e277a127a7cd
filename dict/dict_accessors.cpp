// The numbered accessors and the name lookups of TqdDataDictionary.
#include "base/shortstr.h"
#include "base/string_ids.h"
#include "dict/QDLLDict.h"

namespace qd {

const TqdDictFile& TqdDataDictionary::FileDesc(int32_t n) const {
  if (n < 0 || n >= FileCount()) Raise(gsDictItemMissing, {BaseName(), n});
  return *files_[n];
}

const TqdDictField& TqdDataDictionary::FieldDesc(int32_t n) const {
  CheckFieldNumber(n);
  return *fields_[n];
}

bool TqdDataDictionary::FieldIsRequired(int32_t n) const { return FieldDesc(n).Required; }

const TqdDictValidity* TqdDataDictionary::FieldValidity(int32_t n) const {
  return FieldDesc(n).Validity.get();
}

const TqdDictIndex& TqdDataDictionary::IndexDesc(int32_t n) const {
  CheckIndexNumber(n);
  return *indexes_[n];
}

int32_t TqdDataDictionary::IndexKeyLength(int32_t n) const { return IndexDesc(n).KeyLength; }
std::string TqdDataDictionary::IndexName(int32_t n) const { return IndexDesc(n).Name.Str(); }
bool TqdDataDictionary::IndexIsUserDefined(int32_t n) const { return IndexDesc(n).IsUserDefined(); }

// Names are held cut to their capacity, so the name looked for is cut too.
int32_t TqdDataDictionary::FieldNumberOf(std::string_view name) const {
  name = name.substr(0, kDictNameCapacity);
  for (const auto& field : fields_) {
    if (CompareShortTextNoCase(field->Name.View(), name) == 0) return field->Number;
  }
  return -1;
}

int32_t TqdDataDictionary::IndexNumberOf(std::string_view name) const {
  name = name.substr(0, kDictNameCapacity);
  for (const auto& index : indexes_) {
    if (CompareShortTextNoCase(index->Name.View(), name) == 0) return index->Number;
  }
  return -1;
}

int32_t TqdDataDictionary::DataBlockSize() const {
  return files_.empty() ? kDefaultBlockSize : files_.front()->BlockSize;
}

}  // namespace qd
