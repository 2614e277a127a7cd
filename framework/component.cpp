#include "framework/component.h"

#include <algorithm>

namespace qd {

namespace {

// A component made by a component of the form is read with it.
void SetReadingTree(const std::vector<TqdComponent*>& components, bool reading,
                    void (*set)(TqdComponent&, bool)) {
  for (TqdComponent* c : components) {
    set(*c, reading);
    SetReadingTree(c->Components(), reading, set);
  }
}

}  // namespace

TqdComponent::TqdComponent(TqdComponent* owner) : owner_(owner) {
  if (owner_ == nullptr) return;
  owner_->components_.push_back(this);
  // Made while its form is read: it is read with the form.
  reading_ = owner_->reading_;
  loading_ = owner_->loading_;
  designing_ = owner_->designing_;
}

TqdComponent::~TqdComponent() {
  // Each owned component takes itself out as it is freed, and may free
  // others of this list meanwhile, so take the last anew each time.
  while (!components_.empty()) delete components_.back();
  if (owner_ != nullptr) std::erase(owner_->components_, this);
}

void BeginReadingForm(TqdComponent& form) {
  auto set = [](TqdComponent& c, bool reading) { c.reading_ = c.loading_ = reading; };
  set(form, true);
  SetReadingTree(form.components_, true, set);
}

void EndReadingForm(TqdComponent& form) {
  auto set = [](TqdComponent& c, bool reading) { c.reading_ = reading; };
  set(form, false);
  SetReadingTree(form.components_, false, set);
  // A Loaded may free or make components: each one still owned is told once.
  std::vector<TqdComponent*> loading = form.components_;
  for (TqdComponent* c : loading) {
    if (std::find(form.components_.begin(), form.components_.end(), c) != form.components_.end()) c->Loaded();
  }
  form.Loaded();
}

}  // namespace qd
