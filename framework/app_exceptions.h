// The application's handling of an exception that no caller takes: the
// graphical program shows the message in a box; without a handler the
// message goes to standard error. Components use it where an error must be
// shown but not passed on (design mode).
// Thread rules: install the handler at program start, before other threads run.
#pragma once

#include <exception>
#include <functional>

namespace qd {

using TqdExceptionHandler = std::function<void(const std::exception&)>;

// An empty function removes the handler.
void SetApplicationExceptionHandler(TqdExceptionHandler handler);
void HandleApplicationException(const std::exception& error);

}  // namespace qd
