// Message box and beep: the graphical program installs functions for them;
// without a hook a message box writes its caption and text to standard
// error and a beep does nothing.
// Thread rules: install hooks at program start, before other threads run.
#pragma once

#include <functional>
#include <string_view>

namespace qd {

using TqdMessageBoxHook = std::function<void(std::string_view caption, std::string_view text)>;
using TqdBeepHook = std::function<void()>;

// An empty function removes the hook.
void SetMessageBoxHook(TqdMessageBoxHook hook);
void SetBeepHook(TqdBeepHook hook);

void ShowMessageBox(std::string_view caption, std::string_view text);
void Beep();

}  // namespace qd
