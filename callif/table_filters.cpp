// TttBaseTable: the cursor's record filters (slots 11, 22, 23, 34, 37, 55).
// A filter handle is checked by looking for it among this cursor's filters
// before anything of it is read, so a stale or foreign handle is only
// compared, never followed.
// Thread rules: one thread at a time (the user-interface thread).
#include <cstring>

#include "base/endian.h"
#include "callif/QDTTFilt.h"
#include "callif/QDTTTabl.h"
#include "callif/filter_expression.h"

namespace qd {
namespace {

// The BDE filter-information record.
constexpr size_t kFilterInfoSize = 24;

TttFilterListItem* FilterAt(TttCollection& filters, int i) {
  return static_cast<TttFilterListItem*>(filters.Item(i));
}

// Pointers go into the record's 32-bit places cut to their low half: the
// layout has no room for more. The filter's id is what stays exact.
uint32_t Low32(const void* pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }

void FillFilterInfo(uint8_t* record, TttFilterListItem& filter) {
  PutUInt16LE(record + 0, static_cast<uint16_t>(filter.Index()));
  PutUInt32LE(record + 2, Low32(filter.Handle()));
  PutUInt32LE(record + 6, filter.ClientData);
  PutUInt16LE(record + 10, filter.Priority);
  PutInt16LE(record + 12, filter.CanAbort ? -1 : 0);
  PutUInt32LE(record + 14, Low32(reinterpret_cast<const void*>(filter.Callback)));
  PutUInt32LE(record + 18, Low32(filter.Expression.empty() ? nullptr : filter.Expression.data()));
  PutInt16LE(record + 22, filter.Active ? -1 : 0);
}

}  // namespace

TttFilterListItem* TttBaseTable::FilterOf(hDBIFilter filter) {
  for (int i = 0; i < filters_.Count(); ++i) {
    TttFilterListItem* item = FilterAt(filters_, i);
    if (item->Handle() == filter) return item;
  }
  return nullptr;
}

void TttBaseTable::RecomputeFiltersActive() {
  filtersActive_ = false;
  for (int i = 0; i < filters_.Count() && !filtersActive_; ++i) filtersActive_ = FilterAt(filters_, i)->Active;
}

// Slot 11.
bool TttBaseTable::PassesFilters(const uint8_t* record) {
  if (record == nullptr) return false;
  if (!filtersActive_) return true;
  for (int i = 0; i < filters_.Count(); ++i)
    if (!FilterAt(filters_, i)->Accepts(record)) return false;
  return true;
}

// Slot 22.
TqdResult TttBaseTable::ActivateFilter(hDBIFilter filter) {
  if (filter == nullptr) {
    for (int i = 0; i < filters_.Count(); ++i) FilterAt(filters_, i)->Active = true;
    filtersActive_ = filters_.Count() > 0;
    return SetResult(qdOK);
  }
  TttFilterListItem* item = FilterOf(filter);
  if (item == nullptr) return SetResult(qdErrInvalidFilter);
  item->Active = true;
  filtersActive_ = true;
  return SetResult(qdOK);
}

// Slot 23. The expression is copied, by the size its own header gives, and
// refused (9986) unless every part of it that can be evaluated is inside it.
TqdResult TttBaseTable::AddFilter(uint32_t clientData, uint16_t priority, bool canAbort, const uint8_t* expression,
                                  TqdFilterCallback callback, hDBIFilter& filter) {
  filter = nullptr;
  std::vector<uint8_t> copy;
  if (expression != nullptr) {
    copy.assign(expression, expression + FilterExpressionSize(expression));
    if (!ValidFilterExpression(copy)) return SetResult(qdErrInvalidParam);
  }
  auto* item = new TttFilterListItem(this, clientData, priority, canAbort, std::move(copy), callback);
  RecomputeFiltersActive();
  filter = item->Handle();
  return SetResult(qdOK);
}

// Slot 34.
TqdResult TttBaseTable::DeactivateFilter(hDBIFilter filter) {
  if (filter == nullptr) {
    for (int i = 0; i < filters_.Count(); ++i) FilterAt(filters_, i)->Active = false;
    filtersActive_ = false;
    return SetResult(qdOK);
  }
  TttFilterListItem* item = FilterOf(filter);
  if (item == nullptr) return SetResult(qdErrInvalidFilter);
  if (!item->Active) return SetResult(qdErrNotApplicable);
  item->Active = false;
  RecomputeFiltersActive();
  return SetResult(qdOK);
}

// Slot 37.
TqdResult TttBaseTable::DropFilter(hDBIFilter filter) {
  if (filter == nullptr) {
    filters_.Clear();
    filtersActive_ = false;
    return SetResult(qdOK);
  }
  TttFilterListItem* item = FilterOf(filter);
  if (item == nullptr) return SetResult(qdErrInvalidFilter);
  delete item;
  RecomputeFiltersActive();
  return SetResult(qdOK);
}

// Slot 55. A position that names no filter answers 10050 with the record
// zero-filled, as a foreign filter answers 9990: nothing past the list is
// read.
TqdResult TttBaseTable::GetFilterInfo(hDBIFilter filter, uint8_t* record, int32_t position) {
  if (record == nullptr) return SetResult(qdErrInvalidParam);
  std::memset(record, 0, kFilterInfoSize);
  TttFilterListItem* item = nullptr;
  if (filter != nullptr) {
    item = FilterOf(filter);
    if (item == nullptr) return SetResult(qdErrInvalidHandle);
  } else {
    if (position < 0 || position >= filters_.Count()) return SetResult(qdErrInvalidFilter);
    item = FilterAt(filters_, position);
  }
  FillFilterInfo(record, *item);
  return SetResult(qdOK);
}

}  // namespace qd
