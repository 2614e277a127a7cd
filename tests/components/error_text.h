// The message of the component error an action raises, for comparing the
// exact texts.
#pragma once

#include <string>

#include "base/QDLLExcp.h"

namespace qd::test {

// "" when the action raises nothing.
template <class Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const EqdDatabaseError& e) {
    return e.what();
  }
  return "";
}

}  // namespace qd::test
