// The filter expression block a caller hands to AddFilter (the BDE
// expression-tree layout, little-endian): a 10-byte header (version, total
// size, node count, node area start, literal area start), then nodes and
// literals. A node is a 32-bit class and a 32-bit operator followed by
// 16-bit operands; node references are offsets from the node area start,
// literal references offsets from the literal area start; the root is the
// node at offset 0.
//
// The block is read once, when it is added: ValidFilterExpression walks the
// tree from the root and accepts it only when every node and literal the
// evaluation can reach lies inside its area, no node refers back to a node
// on its own path, no two nodes it reaches overlap (the evaluation corrects
// a field node's number in place), the tree is at most kMaxFilterDepth deep
// and its walk takes at most kMaxFilterVisits node visits (shared sub-trees
// count each time, as the evaluation visits them). Evaluation can then read without
// checking again. Nodes of an unknown class are leaves that do not evaluate.
// Thread rules: pure functions over bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/endian.h"

namespace qd {

inline constexpr size_t kFilterHeaderSize = 10;
inline constexpr size_t kFilterTotalSizeOffset = 2;
inline constexpr size_t kFilterNodeStartOffset = 6;
inline constexpr size_t kFilterLiteralStartOffset = 8;
inline constexpr size_t kFilterNodeHeadSize = 8;
inline constexpr int kMaxFilterDepth = 64;
inline constexpr int kMaxFilterVisits = 4096;

enum TqdFilterNodeClass : uint32_t {
  nodeUnary = 1,
  nodeBinary = 2,
  nodeCompare = 3,
  nodeField = 4,
  nodeConstant = 5,
  nodeContinue = 7,
};

enum TqdFilterOperator : uint32_t {
  opIsBlank = 1,
  opNotBlank = 2,
  opEqual = 3,
  opNotEqual = 4,
  opGreater = 5,
  opLess = 6,
  opGreaterOrEqual = 7,
  opLessOrEqual = 8,
  opNot = 9,
  opAnd = 10,
  opOr = 11,
};

// Operand positions of the node classes.
inline constexpr int kCompareCaseInsensitive = 0, kComparePartialLength = 1, kCompareLeft = 2, kCompareRight = 3;
inline constexpr int kFieldNumber = 0, kFieldName = 1;
inline constexpr int kConstantType = 0, kConstantSize = 1, kConstantValue = 2;

// The total size the block's own header gives.
// REQUIRES: `block` holds at least kFilterHeaderSize bytes.
inline uint16_t FilterExpressionSize(const uint8_t* block) {
  return GetUInt16LE(block + kFilterTotalSizeOffset);
}

bool ValidFilterExpression(std::span<const uint8_t> block);

// Reads a validated block. Node offsets are relative to the node area.
class TqdFilterNodes {
 public:
  // REQUIRES: ValidFilterExpression(block); `block` outlives the reader.
  explicit TqdFilterNodes(std::span<uint8_t> block)
      : nodes_(block.data() + GetUInt16LE(block.data() + kFilterNodeStartOffset)),
        literals_(block.data() + GetUInt16LE(block.data() + kFilterLiteralStartOffset)) {}

  uint32_t Class(uint16_t node) const { return GetUInt32LE(nodes_ + node); }
  uint32_t Operator(uint16_t node) const { return GetUInt32LE(nodes_ + node + 4); }
  uint16_t Operand(uint16_t node, int i) const { return GetUInt16LE(Place(node, i)); }
  void SetOperand(uint16_t node, int i, uint16_t value) { PutUInt16LE(Place(node, i), value); }
  const uint8_t* Literal(uint16_t offset) const { return literals_ + offset; }
  // The zero-terminated name of a field node.
  std::string_view FieldName(uint16_t node) const {
    return reinterpret_cast<const char*>(Literal(Operand(node, kFieldName)));
  }

 private:
  uint8_t* Place(uint16_t node, int i) const { return nodes_ + node + kFilterNodeHeadSize + 2 * i; }
  uint8_t* nodes_;
  const uint8_t* literals_;
};

}  // namespace qd
