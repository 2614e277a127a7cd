// TqdDataSet: the least dataset: Active (open and close through OpenCursor
// and CloseCursor, which a derived dataset supplies), the field and index
// definitions, and the notification that a property which decides what the
// dataset shows has changed. No records, fields or data links.
// Thread rules: the user-interface thread only.
#pragma once

#include "framework/component.h"
#include "framework/definitions.h"

namespace qd {

class TqdDataSet : public TqdComponent {
 public:
  explicit TqdDataSet(TqdComponent* owner) : TqdComponent(owner) {}
  // A derived dataset closes itself in its own destructor: its CloseCursor
  // cannot run from here.
  ~TqdDataSet() override = default;

  bool Active() const { return active_; }
  // Set while the form is read, Active only takes effect in Loaded.
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  TqdFieldDefs& FieldDefs() { return fieldDefs_; }
  TqdIndexDefs& IndexDefs() { return indexDefs_; }

  void Loaded() override;

 protected:
  // Opening runs OpenCursor, then InternalOpen; when either raises,
  // CloseCursor runs before the exception passes on, so that a failed open
  // leaves the dataset closed.
  virtual void OpenCursor() = 0;
  virtual void InternalOpen() {}
  // The framework's own closing; a derived dataset calls it first.
  virtual void CloseCursor() { active_ = false; }
  // A property that decides what the dataset shows has changed.
  virtual void PropertyChanged() { fieldDefs_.Updated = false; }

 private:
  TqdFieldDefs fieldDefs_;
  TqdIndexDefs indexDefs_;
  bool active_ = false;
  bool streamedActive_ = false;
};

}  // namespace qd
