// Message box, beep and busy cursor: the graphical program installs
// functions for them; without a hook a message box writes its caption and
// text to standard error, and a beep or a busy cursor does nothing.
// Thread rules: install hooks at program start, before other threads run.
#pragma once

#include <functional>
#include <string_view>

namespace qd {

using TqdMessageBoxHook = std::function<void(std::string_view caption, std::string_view text)>;
using TqdBeepHook = std::function<void()>;
// Called with true when a wait begins and with false when it ends.
using TqdBusyCursorHook = std::function<void(bool busy)>;

// An empty function removes the hook.
void SetMessageBoxHook(TqdMessageBoxHook hook);
// A failure's box (an error icon); without its own hook it goes to the
// message box's.
void SetErrorBoxHook(TqdMessageBoxHook hook);
void SetBeepHook(TqdBeepHook hook);
void SetBusyCursorHook(TqdBusyCursorHook hook);

void ShowMessageBox(std::string_view caption, std::string_view text);
void ShowErrorBox(std::string_view caption, std::string_view text);
void Beep();
void ShowBusyCursor(bool busy);

// Shows the busy cursor for its lifetime.
class TqdBusyCursor {
 public:
  TqdBusyCursor() { ShowBusyCursor(true); }
  ~TqdBusyCursor() { ShowBusyCursor(false); }
  TqdBusyCursor(const TqdBusyCursor&) = delete;
  TqdBusyCursor& operator=(const TqdBusyCursor&) = delete;
};

}  // namespace qd
