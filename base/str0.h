// The STR0 string-table format: "STR0", a count, entries of (id, byte offset
// from the table start, length in UTF-16 units) sorted by signed id, then the
// UTF-16LE texts without terminators.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qd {

inline constexpr size_t kStr0HeaderSize = 4 + 4;  // magic, count
inline constexpr size_t kStr0EntrySize = 4 + 4 + 4;  // id, offset, length
inline constexpr char kStr0Magic[4] = {'S', 'T', 'R', '0'};

struct Str0Row {
  int32_t Id;
  std::string Text;  // UTF-8
};

// Packs rows that the caller has sorted by id without duplicates.
std::vector<uint8_t> PackStr0(const std::vector<Str0Row>& rows);

// Parses a text source: '#' comments, blank lines, and "<id>\t<text>" rows.
// On a malformed line, unsorted or duplicate ids, returns false with a
// message naming the line.
bool ParseStringSource(std::string_view source, std::vector<Str0Row>& rows, std::string& error);

}  // namespace qd
