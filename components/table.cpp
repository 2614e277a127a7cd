// The table's names and properties, and how it ends.
#include "components/table.h"

#include "base/names.h"
#include "base/shortstr.h"
#include "components/QDDB.h"
#include "framework/app_exceptions.h"

namespace qd {

TqdTable::TqdTable(TqdComponent* owner) : TqdDataSet(owner), proxy_(std::make_unique<TqdTableProxy>(this)) {}

TqdTable::~TqdTable() {
  try {
    if (Active()) CloseCursor();
  } catch (const std::exception& e) {
    HandleApplicationException(e);
  }
  proxy_.reset();
}

const std::string& TqdTable::TableName() const { return proxy_->OwnName(); }

void TqdTable::SetTableName(std::string_view name) {
  TqdShortString<255> cut(name);
  if (IsReading()) proxy_->SetDeferring(true);
  proxy_->SetTableName(ExtractBaseTableName(cut.View()));
  PropertyChanged();
}

std::string TqdTable::DatabaseName() { return proxy_->ParentName(); }

void TqdTable::SetDatabaseName(std::string_view name) {
  if (IsReading()) proxy_->SetDeferring(true);
  proxy_->SetDatabaseName(name);
  PropertyChanged();
}

const std::string& TqdTable::SessionName() const { return proxy_->SessionName(); }

void TqdTable::SetSessionName(std::string_view name) {
  if (IsReading()) proxy_->SetDeferring(true);
  proxy_->SetSessionName(name);
  PropertyChanged();
}

void TqdTable::SetExclusive(bool exclusive) {
  proxy_->CheckInactive(true);
  auto* database = static_cast<TqdDatabase*>(proxy_->AttachedParent());
  exclusive_ = exclusive || (database != nullptr && database->Exclusive());
}

void TqdTable::SetReadOnly(bool readOnly) {
  proxy_->CheckInactive(true);
  auto* database = static_cast<TqdDatabase*>(proxy_->AttachedParent());
  readOnly_ = readOnly || (database != nullptr && database->ReadOnly());
}

void TqdTable::SetIndexName(std::string_view name) {
  if (!byFieldNames_ && name == indexName_) return;
  indexName_ = name;
  byFieldNames_ = false;
  if (Active()) SwitchToChosenIndex();
}

void TqdTable::SetIndexFieldNames(std::string_view names) {
  if (byFieldNames_ && names == indexFieldNames_) return;
  indexFieldNames_ = names;
  byFieldNames_ = true;
  if (Active()) SwitchToChosenIndex();
}

std::string TqdTable::Version() const { return ComponentVersion(); }

TqdDatabase* TqdTable::Database() { return static_cast<TqdDatabase*>(proxy_->Parent()); }

void TqdTable::Loaded() {
  // The proxy was read with the table: its deferred work comes first.
  proxy_->Loaded();
  TqdDataSet::Loaded();
}

void TqdTable::PropertyChanged() {
  TqdDataSet::PropertyChanged();
  IndexDefs().Updated = false;
}

}  // namespace qd
