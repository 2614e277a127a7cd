#include "framework/definitions.h"

#include <cctype>

namespace qd {

namespace {

std::vector<std::string_view> SplitFields(std::string_view fields) {
  std::vector<std::string_view> names;
  while (!fields.empty()) {
    size_t end = fields.find(';');
    names.push_back(fields.substr(0, end));
    if (end == std::string_view::npos) break;
    fields.remove_prefix(end + 1);
  }
  return names;
}

}  // namespace

bool SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

const TqdFieldDef* FindFieldByNumber(const TqdFieldDefs& defs, int32_t fieldNo) {
  for (const TqdFieldDef& def : defs) {
    if (def.FieldNo == fieldNo) return &def;
  }
  return nullptr;
}

int FindIndexForFields(const TqdIndexDefs& defs, std::string_view fields) {
  std::vector<std::string_view> wanted = SplitFields(fields);
  for (int i = 0; i < defs.Count(); ++i) {
    std::vector<std::string_view> keys = SplitFields(defs[i].Fields);
    if (keys.size() != wanted.size() || keys.empty()) continue;
    bool same = true;
    for (size_t k = 0; k < keys.size() && same; ++k) same = SameNameNoCase(keys[k], wanted[k]);
    if (same) return i;
  }
  return -1;
}

}  // namespace qd
