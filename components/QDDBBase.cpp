#include "components/QDDBBase.h"

#include <cstdio>

#include "components/errors.h"
#include "components/flag_guard.h"
#include "framework/app_exceptions.h"
#include "framework/definitions.h"

namespace qd {

std::string ComponentVersion() {
  char text[32];
  std::snprintf(text, sizeof text, "%5.4f", kComponentEngineVersion / 10000.0);
  return text;
}

TqdDBListItem::TqdDBListItem(TqdComponent* owner, int32_t level, bool topLevel,
                             std::unique_ptr<TqdDBList> children)
    : TqdComponent(owner), children_(std::move(children)), level_(level), topLevel_(topLevel) {}

TqdDBListItem::~TqdDBListItem() { DestroyNode(); }

void TqdDBListItem::DestroyNode() {
  if (destroyed_) return;
  destroyed_ = true;
  RemovePendingOpen(this);
  try {
    ForceClose();
  } catch (const std::exception& e) {
    // Freeing goes on: a destructor cannot pass the failure on.
    HandleApplicationException(e);
  }
  Detach();
  children_->CloseAll();
  children_->ReleaseAll(this);
}

void TqdDBListItem::SetActive(bool active) {
  if (IsReading() || deferring_) {
    if (active) openPending_ = true;
    AddPendingOpen(this);
    return;
  }
  if (active)
    Open();
  else
    Close();
}

void TqdDBListItem::Open() {
  if (openCount_ == 0) {
    if (ownName_.empty()) RaiseNodeError(this, dsNoDBName);
    if (!topLevel_) {
      if (ParentName().empty()) RaiseNodeError(this, dsNoOwnerName);
      TqdDBListItem* parent = RequireParent();
      if (!parent->Active()) parent->SetActive(true);
    }
    DoOpen();
  }
  ++openCount_;
  active_ = openCount_ > 0;
}

void TqdDBListItem::Close() {
  if (--openCount_ >= 1) return;
  // The node counts as closed even when its closing steps raise: a count
  // left below zero would make the next open skip DoOpen.
  openCount_ = 0;
  active_ = false;
  DoClose();
}

void TqdDBListItem::ForceClose() {
  openCount_ = 1;
  Close();
}

void TqdDBListItem::CheckInactive(bool closeIfActive) {
  if (!active_) return;
  if (!closeIfActive) RaiseMustBeClosed();
  ForceClose();
}

void TqdDBListItem::DoClose() {
  for (TqdDBListItem* child : children_->Snapshot()) {
    if (children_->IndexOf(child) >= 0) child->ForceClose();
  }
}

TqdDBListItem* TqdDBListItem::Parent() {
  if (parent_ == nullptr && !topLevel_) {
    TqdDBListItem* found = FindParent(parentName_);
    if (found != nullptr) ChangeParent(found);
  }
  return parent_;
}

TqdDBListItem* TqdDBListItem::RequireParent() {
  TqdDBListItem* parent = Parent();
  if (parent == nullptr) RaiseNodeError(this, dsNoOwnerInHierarchy, {ClassName(), ownName_});
  return parent;
}

std::string TqdDBListItem::ParentName() {
  TqdDBListItem* parent = Parent();
  if (parent != nullptr) parentName_ = parent->ownName_;
  return parentName_;
}

void TqdDBListItem::SetParentName(std::string_view name) {
  if (IsReading() || deferring_) {
    parentName_ = name;
    AddPendingOpen(this);
    return;
  }
  if (SameNameNoCase(name, parentName_)) return;
  CheckInactive(true);
  Detach();
  parentName_ = name;
  ParentChanged();
}

void TqdDBListItem::SetOwnName(std::string_view name) {
  CheckInactive(true);
  ownName_ = name;
}

void TqdDBListItem::ChangeParent(TqdDBListItem* parent) {
  if (parent == parent_) return;
  CheckInactive(true);
  Detach();
  if (parent != nullptr)
    Attach(parent);
  else
    parentName_.clear();
  ParentChanged();
}

void TqdDBListItem::Attach(TqdDBListItem* parent) {
  parent->children_->Add(this);
  parent_ = parent;
  parentName_ = parent->ownName_;
  parent->ChildAdded(this);
}

void TqdDBListItem::Detach() {
  TqdDBListItem* old = parent_;
  if (old == nullptr) return;
  old->children_->Remove(this);
  parent_ = nullptr;
  old->ChildRemoved(this);
}

void TqdDBListItem::Loaded() {
  TqdComponent::Loaded();
  ProcessPendingOpens();
  deferring_ = false;
}

void TqdDBListItem::DeferredOpen() {
  if (!openPending_) return;
  if (!topLevel_) {
    TqdDBListItem* parent = RequireParent();
    if (parent->openingParent_) return;
  }
  TqdFlagGuard guard(openingParent_);
  SetActive(true);
  openPending_ = false;
}

void TqdDBListItem::RaiseMustBeClosed() { RaiseNodeError(this, dsMustBeClosed); }
void TqdDBListItem::RaiseMustBeOpen() { RaiseNodeError(this, dsMustBeOpen); }

}  // namespace qd
