#include "base/str0.h"

#include <charconv>
#include <limits>

#include "base/endian.h"
#include "base/utf16.h"

namespace qd {

std::vector<uint8_t> PackStr0(const std::vector<Str0Row>& rows) {
  std::vector<std::vector<uint16_t>> texts;
  texts.reserve(rows.size());
  size_t textBytes = 0;
  for (const Str0Row& row : rows) {
    texts.push_back(Utf8ToUtf16(row.Text));
    textBytes += texts.back().size() * 2;
  }
  std::vector<uint8_t> out(kStr0HeaderSize + kStr0EntrySize * rows.size() + textBytes);
  std::copy(std::begin(kStr0Magic), std::end(kStr0Magic), out.begin());
  PutUInt32LE(out.data() + 4, static_cast<uint32_t>(rows.size()));
  size_t offset = kStr0HeaderSize + kStr0EntrySize * rows.size();
  for (size_t i = 0; i < rows.size(); ++i) {
    uint8_t* entry = out.data() + kStr0HeaderSize + kStr0EntrySize * i;
    PutInt32LE(entry, rows[i].Id);
    PutUInt32LE(entry + 4, static_cast<uint32_t>(offset));
    PutUInt32LE(entry + 8, static_cast<uint32_t>(texts[i].size()));
    for (uint16_t unit : texts[i]) {
      PutUInt16LE(out.data() + offset, unit);
      offset += 2;
    }
  }
  return out;
}

bool ParseStringSource(std::string_view source, std::vector<Str0Row>& rows, std::string& error) {
  rows.clear();
  size_t lineNo = 0;
  while (!source.empty()) {
    size_t eol = source.find('\n');
    std::string_view line = source.substr(0, eol);
    source = eol == std::string_view::npos ? std::string_view{} : source.substr(eol + 1);
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    size_t tab = line.find('\t');
    int64_t id = 0;
    std::string_view idText = line.substr(0, tab);
    auto [end, ec] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
    if (tab == std::string_view::npos || ec != std::errc() || end != idText.data() + idText.size() ||
        id < std::numeric_limits<int32_t>::min() || id > std::numeric_limits<int32_t>::max()) {
      error = "line " + std::to_string(lineNo) + ": expected <id><TAB><text>";
      return false;
    }
    if (!rows.empty() && id <= rows.back().Id) {
      error = "line " + std::to_string(lineNo) + ": id " + std::to_string(id) +
              " is not above the previous id";
      return false;
    }
    rows.push_back({static_cast<int32_t>(id), std::string(line.substr(tab + 1))});
  }
  return true;
}

}  // namespace qd
