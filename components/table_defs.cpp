// The table's field and index definitions, and its lists of indexes.
#include <array>

#include "base/endian.h"
#include "callif/QDClEng.h"
#include "callif/QDClTabl.h"
#include "components/errors.h"
#include "components/table.h"
#include "components/table_descriptions.h"
#include "dict/bde_desc.h"

namespace qd {

void TqdTable::UpdateFieldDefs() {
  if (FieldDefs().Updated) return;
  if (Handle() != nullptr) {
    BuildFieldDefs(Handle());
    return;
  }
  if (TableName().empty()) RaiseNodeError(this, dsTableUnnamed);
  WithCursor([this](hDBICur cursor) { BuildFieldDefs(cursor); });
}

void TqdTable::UpdateIndexDefs() {
  if (IndexDefs().Updated) return;
  WithCursor([this](hDBICur cursor) {
    if (!FieldDefs().Updated) BuildFieldDefs(cursor);
    BuildIndexDefs(cursor);
  });
}

void TqdTable::BuildFieldDefs(hDBICur cursor) {
  FieldDefs().Clear();
  // The dictionary the cursor received when it opened.
  if (auto* table = LiveObject<TQDClientTable>(cursor)) {
    const TqdDataDictionary& dictionary = table->Dictionary();
    for (int32_t i = 0; i < dictionary.FieldCount(); ++i) {
      TqdFieldDef def;
      if (MakeFieldDef(dictionary.FieldDesc(i), i + 1, def)) FieldDefs().Add(std::move(def));
    }
  }
  FieldDefs().Updated = true;
}

void TqdTable::BuildIndexDefs(hDBICur cursor) {
  TqdClientEngine& engine = *ClientEngine();
  // A table whose indexes cannot be read says why: an empty list would read
  // as a table without indexes. The definitions stay out of date, so that
  // the next listing asks again.
  IndexDefs().Clear();
  IndexDefs().Updated = false;
  std::array<uint8_t, kCursorPropsSize> props{};
  CheckResult(engine.GetCursorProps(cursor, props.data()));
  size_t count = GetUInt16LE(&props[kPropsIndexCountOffset]);
  std::vector<uint8_t> descriptors(count * kIndexDescSize);
  if (count > 0) CheckResult(engine.GetIndexDescs(cursor, descriptors.data()));
  for (size_t i = 0; i < count; ++i) {
    IndexDefs().Add(MakeIndexDef(&descriptors[i * kIndexDescSize], FieldDefs()));
  }
  IndexDefs().Updated = true;
}

void TqdTable::ListIndexes(std::vector<TqdIndexEntry>& list) {
  UpdateIndexDefs();
  list.clear();
  for (int i = 0; i < IndexDefs().Count(); ++i) {
    // The number is the index's place in the definitions, which follow the
    // dictionary's index numbers; it is kept because nameless indexes are
    // left out of the list.
    if (!IndexDefs()[i].Name.empty()) list.push_back({IndexDefs()[i].Name, i});
  }
}

void TqdTable::ListIndexNames(std::vector<std::string>& list) {
  std::vector<TqdIndexEntry> indexes;
  ListIndexes(indexes);
  list.clear();
  for (TqdIndexEntry& index : indexes) list.push_back(std::move(index.Name));
}

}  // namespace qd
