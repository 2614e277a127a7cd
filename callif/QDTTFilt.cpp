#include "callif/QDTTFilt.h"

#include <strings.h>

#include <cstring>
#include <string_view>

#include "callif/filter_expression.h"
#include "dict/bde_desc.h"

namespace qd {
namespace {

const TttFieldDescItem* FieldDescAt(TttBaseTable& cursor, int32_t number) {
  TttCollection& descs = cursor.FieldDescs();
  if (number < 1 || number > descs.Count()) return nullptr;
  return static_cast<const TttFieldDescItem*>(descs.Item(number - 1));
}

std::string_view NameOf(const TttFieldDescItem& desc) {
  const char* name = reinterpret_cast<const char*>(&desc.Physical[kFldNameOffset]);
  return {name, strnlen(name, kFldNameSize)};
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

TttFilterListItem::TttFilterListItem(TttBaseTable* cursor, uint32_t clientData, uint16_t priority, bool canAbort,
                                     std::vector<uint8_t> expression, TqdFilterCallback callback)
    : TttCollectionItem(cursor, &cursor->Filters()),
      CanAbort(canAbort),
      Expression(std::move(expression)),
      ExpressionSize(static_cast<uint16_t>(Expression.size())),
      Callback(callback),
      ClientData(clientData),
      Cursor(cursor),
      Priority(priority),
      fieldChecked_(Expression.size(), false) {}

bool TttFilterListItem::Accepts(const uint8_t* record) {
  if (!Active) return true;
  bool accepted = true;
  if (Callback != nullptr) {
    const uint16_t answer = Callback(ClientData, record, 0);
    if (CanAbort && answer == static_cast<uint16_t>(-2)) return false;
    accepted = answer != 0;
  }
  if (!accepted || Expression.empty()) return accepted;
  TqdFilterValue root;
  return Evaluate(0, record, root);
}

bool TttFilterListItem::Evaluate(uint16_t node, const uint8_t* record, TqdFilterValue& value) {
  TqdFilterNodes nodes(Expression);
  const uint32_t op = nodes.Operator(node);
  switch (nodes.Class(node)) {
    case nodeUnary: {
      TqdFilterValue operand;
      if (!Evaluate(nodes.Operand(node, 0), record, operand)) return op == opNot;
      if (op == opIsBlank) return operand.Blank;
      return op == opNotBlank && !operand.Blank;
    }
    case nodeBinary: {
      TqdFilterValue left, right;
      if (op == opAnd)
        return Evaluate(nodes.Operand(node, 0), record, left) && Evaluate(nodes.Operand(node, 1), record, right);
      if (op == opOr)
        return Evaluate(nodes.Operand(node, 0), record, left) || Evaluate(nodes.Operand(node, 1), record, right);
      return Compare(nodes.Operand(node, 0), nodes.Operand(node, 1), op, 0, false, record);
    }
    case nodeCompare:
      return Compare(nodes.Operand(node, kCompareLeft), nodes.Operand(node, kCompareRight), op,
                     nodes.Operand(node, kComparePartialLength), nodes.Operand(node, kCompareCaseInsensitive) != 0,
                     record);
    case nodeField: return FieldValue(node, record, value);
    case nodeConstant:
      value = {.Type = nodes.Operand(node, kConstantType),
               .Size = nodes.Operand(node, kConstantSize),
               .Bytes = nodes.Literal(nodes.Operand(node, kConstantValue)),
               .Blank = false,
               .Constant = true};
      return true;
    case nodeContinue: return nodes.Operand(node, 0) != 0;
    default: return false;
  }
}

// Blank sorts before any value.
bool TttFilterListItem::Compare(uint16_t left, uint16_t right, uint32_t op, int32_t partialLength,
                                bool caseInsensitive, const uint8_t* record) {
  TqdFilterValue a, b;
  if (!Evaluate(left, record, a) || !Evaluate(right, record, b)) return false;
  int32_t d;
  if (a.Blank || b.Blank) {
    d = a.Blank == b.Blank ? 0 : (a.Blank ? -1 : 1);
  } else {
    d = Cursor->CompareValues(&a, &b, partialLength, caseInsensitive);
  }
  switch (op) {
    case opEqual: return d == 0;
    case opNotEqual: return d != 0;
    case opGreater: return d > 0;
    case opLess: return d < 0;
    case opGreaterOrEqual: return d >= 0;
    case opLessOrEqual: return d <= 0;
    default: return false;
  }
}

bool TttFilterListItem::FieldValue(uint16_t node, const uint8_t* record, TqdFilterValue& value) {
  const int32_t number = FieldOf(node);
  if (number == 0 || record == nullptr) return false;
  const TqdFieldDescBytes& physical = FieldDescAt(*Cursor, number)->Physical;
  bool blank = false;
  Cursor->TranslateGet(number, record, blank, nullptr);
  value = {.Type = GetUInt16LE(&physical[kFldTypeOffset]),
           .Size = GetUInt16LE(&physical[kFldLengthOffset]),
           .Bytes = record + GetUInt16LE(&physical[kFldOffsetOffset]),
           .Blank = blank,
           .Constant = false};
  return true;
}

int32_t TttFilterListItem::FieldOf(uint16_t node) {
  TqdFilterNodes nodes(Expression);
  const int32_t number = nodes.Operand(node, kFieldNumber);
  if (fieldChecked_[node]) return number;
  const std::string_view name = nodes.FieldName(node);
  // The number is checked against the cursor's fields before it is used.
  const TttFieldDescItem* desc = FieldDescAt(*Cursor, number);
  if (desc == nullptr || !SameName(NameOf(*desc), name)) {
    const int count = Cursor->FieldDescs().Count();
    int32_t found = 0;
    for (int32_t n = 1; n <= count && found == 0; ++n)
      if (SameName(NameOf(*FieldDescAt(*Cursor, n)), name)) found = n;
    if (found == 0) return 0;
    nodes.SetOperand(node, kFieldNumber, static_cast<uint16_t>(found));
  }
  fieldChecked_[node] = true;
  return nodes.Operand(node, kFieldNumber);
}

}  // namespace qd
