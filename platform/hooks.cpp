#include "platform/hooks.h"

#include <cstdio>
#include <string>

namespace qd {
namespace {

TqdMessageBoxHook& MessageBoxHook() {
  static TqdMessageBoxHook hook;
  return hook;
}
TqdMessageBoxHook& ErrorBoxHook() {
  static TqdMessageBoxHook hook;
  return hook;
}
TqdBeepHook& BeepHook() {
  static TqdBeepHook hook;
  return hook;
}

TqdBusyCursorHook& BusyCursorHook() {
  static TqdBusyCursorHook hook;
  return hook;
}

}  // namespace

void SetMessageBoxHook(TqdMessageBoxHook hook) { MessageBoxHook() = std::move(hook); }
void SetErrorBoxHook(TqdMessageBoxHook hook) { ErrorBoxHook() = std::move(hook); }
void SetBeepHook(TqdBeepHook hook) { BeepHook() = std::move(hook); }
void SetBusyCursorHook(TqdBusyCursorHook hook) { BusyCursorHook() = std::move(hook); }

void ShowMessageBox(std::string_view caption, std::string_view text) {
  if (MessageBoxHook()) {
    MessageBoxHook()(caption, text);
    return;
  }
  std::string line = std::string(caption) + ": " + std::string(text) + "\n";
  std::fputs(line.c_str(), stderr);
}

void ShowErrorBox(std::string_view caption, std::string_view text) {
  if (ErrorBoxHook()) {
    ErrorBoxHook()(caption, text);
    return;
  }
  ShowMessageBox(caption, text);
}

void Beep() {
  if (BeepHook()) BeepHook()();
}

void ShowBusyCursor(bool busy) {
  if (BusyCursorHook()) BusyCursorHook()(busy);
}

}  // namespace qd
