// Builds filter expression blocks for tests and benchmarks: the first node
// made is the root (node offset 0); literals go to their own area after
// the nodes.
// Thread rules: none.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/endian.h"
#include "callif/filter_expression.h"

namespace qd::test {

class FilterBuilder {
 public:
  uint16_t Node(uint32_t nodeClass, uint32_t op, std::initializer_list<uint16_t> operands) {
    auto at = static_cast<uint16_t>(nodes_.size());
    nodes_.resize(nodes_.size() + kFilterNodeHeadSize + 2 * operands.size());
    PutUInt32LE(&nodes_[at], nodeClass);
    PutUInt32LE(&nodes_[at + 4], op);
    int i = 0;
    for (uint16_t v : operands) Set(at, i++, v);
    return at;
  }
  void Set(uint16_t node, int i, uint16_t value) { PutUInt16LE(&nodes_[node + kFilterNodeHeadSize + 2 * i], value); }
  uint16_t Literal(const std::vector<uint8_t>& bytes) {
    auto at = static_cast<uint16_t>(literals_.size());
    literals_.insert(literals_.end(), bytes.begin(), bytes.end());
    return at;
  }
  uint16_t Field(uint16_t number, const std::string& name) {
    std::vector<uint8_t> text(name.begin(), name.end());
    text.push_back(0);
    return Node(nodeField, 0, {number, Literal(text)});
  }
  uint16_t Constant(uint16_t type, const std::vector<uint8_t>& bytes) {
    return Node(nodeConstant, 0, {type, static_cast<uint16_t>(bytes.size()), Literal(bytes)});
  }
  // A compare node whose operands are set later (so it can be the root).
  uint16_t Compare(uint32_t op, uint16_t partialLength = 0, bool caseInsensitive = false) {
    return Node(nodeCompare, op, {static_cast<uint16_t>(caseInsensitive ? 1 : 0), partialLength, 0, 0});
  }
  void Operands(uint16_t compare, uint16_t left, uint16_t right) {
    Set(compare, kCompareLeft, left);
    Set(compare, kCompareRight, right);
  }

  std::vector<uint8_t> Block() const {
    std::vector<uint8_t> block(kFilterHeaderSize);
    const size_t total = kFilterHeaderSize + nodes_.size() + literals_.size();
    PutUInt16LE(&block[0], 1);
    PutUInt16LE(&block[kFilterTotalSizeOffset], static_cast<uint16_t>(total));
    PutUInt16LE(&block[4], 1);
    PutUInt16LE(&block[kFilterNodeStartOffset], static_cast<uint16_t>(kFilterHeaderSize));
    PutUInt16LE(&block[kFilterLiteralStartOffset], static_cast<uint16_t>(kFilterHeaderSize + nodes_.size()));
    block.insert(block.end(), nodes_.begin(), nodes_.end());
    block.insert(block.end(), literals_.begin(), literals_.end());
    return block;
  }

 private:
  std::vector<uint8_t> nodes_;
  std::vector<uint8_t> literals_;
};

inline std::vector<uint8_t> Int16Bytes(int16_t v) {
  std::vector<uint8_t> b(2);
  PutInt16LE(b.data(), v);
  return b;
}
inline std::vector<uint8_t> Int32Bytes(int32_t v) {
  std::vector<uint8_t> b(4);
  PutInt32LE(b.data(), v);
  return b;
}
inline std::vector<uint8_t> DoubleBytes(double v) {
  std::vector<uint8_t> b(8);
  PutDoubleLE(b.data(), v);
  return b;
}
inline std::vector<uint8_t> TextBytes(const std::string& text) {
  std::vector<uint8_t> b(text.begin(), text.end());
  b.push_back(0);
  return b;
}

}  // namespace qd::test
