// The engine's forwarding of a call to the object a handle names, shared by
// the files that hold the engine's operations.
#pragma once

#include "callif/QDClEng.h"

namespace qd {

// A close after the server went away counts as done.
inline TqdResult ClosedAnyway(TqdResult result) {
  return result == qdErrNetTimeout || result == qdErrNetServerNotFound ? qdOK : result;
}

template <class T, class Call>
TqdResult TqdClientEngine::Forward(hDBIObj handle, Call call) {
  T* object = LiveObject<T>(handle);
  if (object == nullptr) return SetResult(qdErrInvalidHandle);
  SetResult(qdOK);
  return SetResult(call(*object));
}

}  // namespace qd
