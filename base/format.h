// The engine's message formatter: %s, %d and %x (capital hexadecimal digits,
// no leading zeros; a negative 32-bit number prints as its unsigned form),
// and %% for a percent sign.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace qd {

class FormatArg {
 public:
  FormatArg(int v) : isText_(false), number_(v) {}  // NOLINT: implicit by design
  FormatArg(long v) : isText_(false), number_(v) {}  // NOLINT
  FormatArg(long long v) : isText_(false), number_(v) {}  // NOLINT
  FormatArg(unsigned v) : isText_(false), number_(v) {}  // NOLINT
  FormatArg(unsigned long v) : isText_(false), number_(static_cast<int64_t>(v)) {}  // NOLINT
  FormatArg(unsigned short v) : isText_(false), number_(v) {}  // NOLINT
  FormatArg(short v) : isText_(false), number_(v) {}  // NOLINT
  FormatArg(std::string_view v) : isText_(true), text_(v) {}  // NOLINT
  FormatArg(const char* v) : isText_(true), text_(v ? v : "") {}  // NOLINT
  FormatArg(const std::string& v) : isText_(true), text_(v) {}  // NOLINT

  bool IsText() const { return isText_; }
  int64_t Number() const { return number_; }
  std::string_view Text() const { return text_; }

 private:
  bool isText_;
  int64_t number_ = 0;
  std::string_view text_;
};

// A placeholder without an argument is left in the text as it stands.
std::string FormatEngineText(std::string_view format, std::initializer_list<FormatArg> args);

}  // namespace qd
