#include "base/format.h"

#include <cstdio>
#include <vector>

namespace qd {
namespace {

std::string Hex(int64_t v) {
  uint64_t u = (v < 0 && v >= INT32_MIN) ? static_cast<uint32_t>(v) : static_cast<uint64_t>(v);
  char buf[24];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(u));
  return buf;
}

}  // namespace

std::string FormatEngineText(std::string_view format, std::initializer_list<FormatArg> args) {
  std::vector<const FormatArg*> list;
  for (const FormatArg& a : args) list.push_back(&a);
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%' || i + 1 >= format.size()) {
      out += c;
      continue;
    }
    char spec = format[i + 1];
    if (spec == '%') {
      out += '%';
      ++i;
      continue;
    }
    bool known = spec == 's' || spec == 'd' || spec == 'x' || spec == 'X';
    if (!known || next >= list.size()) {
      out += c;
      continue;
    }
    const FormatArg& arg = *list[next++];
    ++i;
    if (arg.IsText())
      out += arg.Text();
    else if (spec == 'd' || spec == 's')
      out += std::to_string(arg.Number());
    else
      out += Hex(arg.Number());
  }
  return out;
}

}  // namespace qd
