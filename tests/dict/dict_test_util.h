// Helpers shared by the dictionary tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/QDLLExcp.h"

namespace qd::test {

struct RaisedError {
  bool Raised = false;
  int32_t Code = 0;
  std::string Message;
};

// Runs `action` and reports the EqdException it raised, if any.
inline RaisedError CatchEqd(const std::function<void()>& action) {
  try {
    action();
  } catch (const EqdException& e) {
    return {true, e.ErrorCode, e.Message()};
  }
  return {};
}

}  // namespace qd::test
