#include "jobs/rebuild_view.h"

#include <array>

namespace qd {
namespace {

constexpr std::array<std::string_view, kRebuildControlCount> kControlNames = {
    "ComboBoxAlias",     "ComboBoxTable",      "ComboBoxIndex", "BitBtnReIndexIt",
    "BitBtnReIndexTable", "BitBtnReIndexAlias", "CheckBoxPack"};

constexpr std::array<std::string_view, kRebuildBarCount> kBarNames = {
    "ProgressGaugeIndex", "ProgressBarPacked", "ProgressGaugeTable", "ProgressGaugeAlias"};

}  // namespace

std::string_view ControlName(TqdRebuildControl control) {
  return kControlNames.at(static_cast<size_t>(control));
}

std::string_view ListName(TqdRebuildList list) { return ControlName(ListControl(list)); }

std::string_view BarName(TqdRebuildBar bar) { return kBarNames.at(static_cast<size_t>(bar)); }

}  // namespace qd
