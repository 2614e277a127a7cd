// A value while a filter expression is evaluated: a field of the record
// (typed by its engine field kind) or a constant of the expression (typed
// by its BDE type), with its bytes in place. CompareFilterValues orders two
// values the way a cursor's CompareValues does.
// Thread rules: pure data and functions.
#pragma once

#include <cstdint>

namespace qd {

struct TqdFilterValue {
  uint16_t Type = 0;  // the engine field kind of a field, the BDE type of a constant
  uint16_t Size = 0;
  const uint8_t* Bytes = nullptr;
  bool Blank = false;
  bool Constant = false;
};

// -1, 0 or 1. The family (integer, floating, date and time, Boolean, text,
// raw bytes) is the left value's; the right value is converted into it.
// Integers and floating values compare by value across their two families;
// floating values (an extended field too) compare as doubles, so that a
// currency or extended field equals the double constant of the same
// decimal value;
// a right value that the left's family cannot read compares as raw bytes
// over the shorter size, so the answer never depends on chance. Texts
// compare byte by byte in UTF-8 (code-point order); a partial length n
// compares the first n characters; case-insensitive folds ASCII letters.
// REQUIRES: each value's Bytes hold Size bytes.
int32_t CompareFilterValues(const TqdFilterValue& left, const TqdFilterValue& right, int32_t partialLength,
                            bool caseInsensitive);

}  // namespace qd
