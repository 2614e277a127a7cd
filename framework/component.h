// TqdComponent: the least component model the data-access components need:
// a Name, the component that created it (its owner, which frees it), the
// reading and design states, and the Loaded notification that follows the
// reading of a form. A form is any component that owns others.
//
// Ownership: a component made with an owner is freed by that owner (the
// last made first) unless it was freed before; freeing a component takes it
// out of its owner. A component without an owner belongs to whoever made
// it (or to the structure that the component's own class names).
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qd {

class TqdComponent {
 public:
  explicit TqdComponent(TqdComponent* owner);
  virtual ~TqdComponent();
  TqdComponent(const TqdComponent&) = delete;
  TqdComponent& operator=(const TqdComponent&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string_view name) { name_ = name; }
  virtual std::string_view ClassName() const { return "TqdComponent"; }

  TqdComponent* Owner() const { return owner_; }
  // The components this one owns, in the order they were made.
  const std::vector<TqdComponent*>& Components() const { return components_; }

  // While its form is read, a component only records what it is told.
  bool IsReading() const { return reading_; }
  // From the start of the reading until Loaded.
  bool IsLoading() const { return loading_; }
  bool IsDesigning() const { return designing_; }
  void SetDesigning(bool designing) { designing_ = designing; }

  // Called once the whole form has been read; ends the loading state.
  virtual void Loaded() { loading_ = false; }

 private:
  friend void BeginReadingForm(TqdComponent& form);
  friend void EndReadingForm(TqdComponent& form);

  TqdComponent* owner_;
  std::vector<TqdComponent*> components_;
  std::string name_;
  bool reading_ = false;
  bool loading_ = false;
  bool designing_ = false;
};

// Makes a component that `owner` frees; the reference stays valid until then.
template <class T, class... Args>
T& CreateComponent(TqdComponent& owner, Args&&... args) {
  return *new T(&owner, std::forward<Args>(args)...);
}

// Reading a form: BeginReadingForm puts the form and every component below
// it (and those made meanwhile) into the reading and loading states; the
// caller then sets their properties; EndReadingForm ends the reading of
// all of them first, then calls Loaded on each component the form owns in
// the order they were made, and on the form last. A component that owns
// others passes Loaded on to them as it needs.
void BeginReadingForm(TqdComponent& form);
void EndReadingForm(TqdComponent& form);

}  // namespace qd
