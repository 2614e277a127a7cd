#include "callif/filter_expression.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace qd {
namespace {

int OperandCount(uint32_t nodeClass) {
  switch (nodeClass) {
    case nodeUnary:
    case nodeContinue: return 1;
    case nodeBinary:
    case nodeField: return 2;
    case nodeConstant: return 3;
    case nodeCompare: return 4;
    default: return 0;  // a leaf that does not evaluate
  }
}

// An area ends where the other one begins, when that comes after it, and
// otherwise at the end of the block.
size_t AreaEnd(size_t start, size_t other, size_t total) { return other > start ? other : total; }

class TreeCheck {
 public:
  explicit TreeCheck(std::span<const uint8_t> block) : block_(block) {
    const size_t total = block.size();
    nodeStart_ = GetUInt16LE(block.data() + kFilterNodeStartOffset);
    literalStart_ = GetUInt16LE(block.data() + kFilterLiteralStartOffset);
    nodeEnd_ = AreaEnd(nodeStart_, literalStart_, total);
    literalEnd_ = AreaEnd(literalStart_, nodeStart_, total);
  }

  bool HeaderFits() const {
    const size_t total = block_.size();
    return nodeStart_ >= kFilterHeaderSize && literalStart_ >= kFilterHeaderSize && nodeStart_ <= total &&
           literalStart_ <= total;
  }

  bool Node(uint16_t node, int depth) {
    if (depth > kMaxFilterDepth || ++visits_ > kMaxFilterVisits) return false;
    if (std::find(path_.begin(), path_.end(), node) != path_.end()) return false;  // a loop
    const size_t at = nodeStart_ + node;
    if (at + kFilterNodeHeadSize > nodeEnd_) return false;
    const uint32_t nodeClass = GetUInt32LE(block_.data() + at);
    const int operands = OperandCount(nodeClass);
    if (at + kFilterNodeHeadSize + 2u * operands > nodeEnd_) return false;
    spans_.emplace_back(at, at + kFilterNodeHeadSize + 2u * operands);
    auto operand = [&](int i) { return GetUInt16LE(block_.data() + at + kFilterNodeHeadSize + 2 * i); };
    path_.push_back(node);
    bool ok = true;
    switch (nodeClass) {
      case nodeUnary: ok = Node(operand(0), depth + 1); break;
      case nodeBinary: ok = Node(operand(0), depth + 1) && Node(operand(1), depth + 1); break;
      case nodeCompare:
        ok = Node(operand(kCompareLeft), depth + 1) && Node(operand(kCompareRight), depth + 1);
        break;
      case nodeField: ok = LiteralText(operand(kFieldName)); break;
      case nodeConstant: ok = LiteralBytes(operand(kConstantValue), operand(kConstantSize)); break;
      default: break;
    }
    path_.pop_back();
    return ok;
  }

  // The evaluation corrects a field node's number in place: were the nodes
  // it reaches to overlap, that write could turn a node checked here into
  // another one whose references were never checked.
  bool NodesApart() {
    std::sort(spans_.begin(), spans_.end());
    spans_.erase(std::unique(spans_.begin(), spans_.end()), spans_.end());
    for (size_t i = 1; i < spans_.size(); ++i)
      if (spans_[i].first < spans_[i - 1].second) return false;
    return true;
  }

 private:
  bool LiteralBytes(uint16_t offset, uint16_t size) const {
    return literalStart_ + offset + size <= literalEnd_;
  }
  bool LiteralText(uint16_t offset) const {
    const size_t at = literalStart_ + offset;
    return at < literalEnd_ && std::memchr(block_.data() + at, 0, literalEnd_ - at) != nullptr;
  }

  std::span<const uint8_t> block_;
  size_t nodeStart_, nodeEnd_, literalStart_, literalEnd_;
  int visits_ = 0;
  std::vector<uint16_t> path_;
  std::vector<std::pair<size_t, size_t>> spans_;  // [start, end) of each node reached
};

}  // namespace

bool ValidFilterExpression(std::span<const uint8_t> block) {
  if (block.size() < kFilterHeaderSize || FilterExpressionSize(block.data()) != block.size()) return false;
  TreeCheck check(block);
  return check.HeaderFits() && check.Node(0, 1) && check.NodesApart();
}

}  // namespace qd
