// Waiting for a task of the server to finish, for the integration tests.
// Thread rules: the test's thread.
#pragma once

#include <gtest/gtest.h>

#include "callif/maintenance.h"

namespace qd::test {

// Polls a task back to back until it finishes; the last percentage.
inline int32_t PollToFinished(hDBISes session, int32_t task) {
  bool finished = false;
  TaskStatus status;
  for (int i = 0; i < 10000000 && !finished; ++i) {
    TqdResult result = GetTaskStatus(session, task, finished, status);
    EXPECT_EQ(result, qdOK);
    if (result != qdOK) break;
  }
  return status.PercentDone();
}

}  // namespace qd::test
