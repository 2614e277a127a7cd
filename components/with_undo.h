// Running a step with its undoing: the undo runs after the work, also when
// the work raises; then the work's failure is the one passed on (a failure
// of the undo would only hide it).
// Thread rules: none of its own.
#pragma once

namespace qd {

template <class Work, class Undo>
void WithUndo(Work work, Undo undo) {
  try {
    work();
  } catch (...) {
    try {
      undo();
    } catch (...) {
    }
    throw;
  }
  undo();
}

}  // namespace qd
