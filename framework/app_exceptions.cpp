#include "framework/app_exceptions.h"

#include <cstdio>

namespace qd {

namespace {
TqdExceptionHandler& Handler() {
  static TqdExceptionHandler handler;
  return handler;
}
}  // namespace

void SetApplicationExceptionHandler(TqdExceptionHandler handler) { Handler() = std::move(handler); }

void HandleApplicationException(const std::exception& error) {
  if (Handler()) {
    Handler()(error);
    return;
  }
  std::fprintf(stderr, "%s\n", error.what());
}

}  // namespace qd
