// The field and index definitions of a dataset: what the server says a
// table is made of, kept with a flag that says whether they are up to date.
// Names are compared without regard to (ASCII) case.
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qd {

bool SameNameNoCase(std::string_view a, std::string_view b);

enum class TqdFieldType : uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftLargeint,
};

struct TqdFieldDef {
  std::string Name;
  TqdFieldType DataType = TqdFieldType::ftUnknown;
  int32_t Size = 0;
  bool Required = false;
  int32_t FieldNo = 0;  // 1-based, the field's place in the table
};

// Index options, combined as bits.
enum TqdIndexOption : uint8_t {
  ixPrimary = 1,
  ixUnique = 2,
  ixDescending = 4,
  ixCaseInsensitive = 8,
  ixExpression = 16,
};

struct TqdIndexDef {
  std::string Name;
  std::string Fields;  // key field names joined with ';'
  uint8_t Options = 0;
};

template <class Def>
class TqdDefinitions {
 public:
  void Clear() { items_.clear(); }
  void Add(Def def) { items_.push_back(std::move(def)); }
  int Count() const { return static_cast<int>(items_.size()); }
  const Def& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  // The position of the definition of that name, or -1.
  int IndexOf(std::string_view name) const {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (SameNameNoCase(items_[i].Name, name)) return static_cast<int>(i);
    }
    return -1;
  }

  // False once what they describe may have changed.
  bool Updated = false;

 private:
  std::vector<Def> items_;
};

using TqdFieldDefs = TqdDefinitions<TqdFieldDef>;
using TqdIndexDefs = TqdDefinitions<TqdIndexDef>;

// The field definition with that 1-based number, or nullptr.
const TqdFieldDef* FindFieldByNumber(const TqdFieldDefs& defs, int32_t fieldNo);
// The position of the first index whose key fields are `fields` (names
// separated by ';', case ignored), or -1.
int FindIndexForFields(const TqdIndexDefs& defs, std::string_view fields);

}  // namespace qd
