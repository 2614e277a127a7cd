// TttFilterListItem: one record filter of a cursor, owned by the cursor's
// filters collection. A filter is a caller's callback, an expression tree
// (kept as the filter's own validated copy, see filter_expression.h), or
// both; it tests every record the cursor reads while it is active.
// Thread rules: one thread at a time (the user-interface thread).
#pragma once

#include <cstdint>
#include <vector>

#include "callif/QDTTColl.h"
#include "callif/QDTTTabl.h"
#include "callif/filter_value.h"

namespace qd {

class TttFilterListItem : public TttCollectionItem {
 public:
  // Joins the end of `cursor`'s filters, inactive. `expression` is a block
  // that ValidFilterExpression accepted, or empty for none.
  TttFilterListItem(TttBaseTable* cursor, uint32_t clientData, uint16_t priority, bool canAbort,
                    std::vector<uint8_t> expression, TqdFilterCallback callback);

  // An inactive filter accepts; the callback answers first (-2 rejects at
  // once when the filter can abort, otherwise non-zero accepts); a record
  // accepted so far must then satisfy the expression.
  bool Accepts(const uint8_t* record);

  hDBIFilter Handle() { return static_cast<TttFilterListItem*>(this); }

  bool Active = false;
  bool CanAbort;
  std::vector<uint8_t> Expression;
  uint16_t ExpressionSize;
  TqdFilterCallback Callback;
  uint32_t ClientData;
  TttBaseTable* Cursor;
  uint16_t Priority;

 private:
  // A node that yields a value fills `value` and yields true.
  bool Evaluate(uint16_t node, const uint8_t* record, TqdFilterValue& value);
  bool Compare(uint16_t left, uint16_t right, uint32_t op, int32_t partialLength, bool caseInsensitive,
               const uint8_t* record);
  bool FieldValue(uint16_t node, const uint8_t* record, TqdFilterValue& value);
  // The 1-based number of the field the node names, its number corrected
  // once when the name no longer matches it; 0 when there is no such field.
  int32_t FieldOf(uint16_t node);

  // Per node offset: its field number is known to match its name.
  std::vector<bool> fieldChecked_;
};

}  // namespace qd
