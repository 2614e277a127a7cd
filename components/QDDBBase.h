// The component tree: comms engines (level 1) own sessions (2), sessions own
// databases (3), databases own table proxies (4). Every node is a
// TqdDBListItem that knows its parent by name, finds it on first need,
// opens it before opening itself and closes its children when it closes.
// Opening is counted: each open adds one, each close takes one away, and
// the node closes at 0. Opens asked for while a form is read are deferred
// to the pending-open list, which Loaded runs level by level.
//
// Freeing a node closes it, takes it out of its parent and frees its
// children list: each child is closed; a child that another component made
// is only taken out (its parent name cleared), any other is freed.
// Thread rules: the user-interface thread only; the list of comms engines
// is the one list made thread-safe, each single operation under its lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/padlock.h"
#include "framework/component.h"

namespace qd {

class TqdDBList;

inline constexpr int32_t kComponentEngineVersion = 15200;
// The engine version as the components publish it: "1.5200".
std::string ComponentVersion();

class TqdDBListItem : public TqdComponent {
 public:
  ~TqdDBListItem() override;
  std::string_view ClassName() const override { return "TqdDBListItem"; }

  bool Active() const { return active_; }
  // Open (true) or close (false) once; see the header comment.
  void SetActive(bool active);
  int32_t OpenCount() const { return openCount_; }
  int32_t Level() const { return level_; }
  bool TopLevel() const { return topLevel_; }

  const std::string& OwnName() const { return ownName_; }
  // The parent, looked up by the parent name and attached on first use.
  TqdDBListItem* Parent();
  // The parent attached now, without a lookup.
  TqdDBListItem* AttachedParent() const { return parent_; }
  // The attached parent's own name; without one, the name of the parent a
  // lookup finds; else the stored name.
  std::string ParentName();
  void SetParentName(std::string_view name);
  TqdDBList& Children() { return *children_; }

  // When open: closes the node (`closeIfActive`) or raises "must be closed".
  void CheckInactive(bool closeIfActive);
  // Closes the node whatever its open count.
  void ForceClose();

  void Loaded() override;
  bool Deferring() const { return deferring_; }
  void SetDeferring(bool deferring) { deferring_ = deferring; }
  bool OpenPending() const { return openPending_; }
  bool DeferredOpenRunning() const { return deferredOpenRunning_; }
  bool OpeningParent() const { return openingParent_; }

  std::string Version() const { return ComponentVersion(); }
  void SetVersion(std::string_view) {}

 protected:
  TqdDBListItem(TqdComponent* owner, int32_t level, bool topLevel, std::unique_ptr<TqdDBList> children);
  // The destructor of a class that overrides DoClose (or anything DoClose
  // reaches) calls this first, while its overrides still run; later calls
  // do nothing.
  void DestroyNode();

  // Closes the node if it is open, then stores the name.
  void SetOwnName(std::string_view name);
  // Detaches from the old parent and attaches to `parent`, closing the node
  // first; nothing happens when it is the parent already.
  void ChangeParent(TqdDBListItem* parent);
  // Takes the node out of its parent's children; the name stays.
  void Detach();
  void StoreParentName(std::string_view name) { parentName_ = name; }
  const std::string& StoredParentName() const { return parentName_; }

  // Closes every child; classes add their own closing.
  virtual void DoClose();
  virtual void ChildAdded(TqdDBListItem*) {}
  virtual void ChildRemoved(TqdDBListItem*) {}
  virtual void ParentChanged() {}
  virtual TqdDBListItem* FindParent(std::string_view) { return nullptr; }
  virtual void DeferredOpen();
  [[noreturn]] virtual void RaiseMustBeClosed();
  [[noreturn]] virtual void RaiseMustBeOpen();
  virtual void DoOpen() {}

 private:
  friend class TqdDBList;
  friend void RunDeferredOpen(TqdDBListItem* item);

  void Open();
  void Close();
  void Attach(TqdDBListItem* parent);
  // The parent by name, attached; raises 54536 when there is none.
  TqdDBListItem* RequireParent();

  bool active_ = false;
  std::string ownName_;
  TqdDBListItem* parent_ = nullptr;
  std::string parentName_;
  bool openingParent_ = false;
  bool deferredOpenRunning_ = false;
  bool deferring_ = false;
  int32_t openCount_ = 0;
  bool openPending_ = false;
  std::unique_ptr<TqdDBList> children_;
  int32_t level_;
  bool topLevel_;
  bool destroyed_ = false;
};

class TqdDBList {
 public:
  explicit TqdDBList(bool threadSafe = false);
  // Frees the lock only: the node that owns the list releases its items.
  virtual ~TqdDBList();
  TqdDBList(const TqdDBList&) = delete;
  TqdDBList& operator=(const TqdDBList&) = delete;

  void Add(TqdDBListItem* item);
  // Nothing happens for an item not in the list.
  void Remove(TqdDBListItem* item);
  int Count();
  // Raises 54533 for a position outside the list.
  TqdDBListItem* Items(int index);
  int IndexOf(const TqdDBListItem* item);
  // The last item added whose own name matches (case ignored), or nullptr.
  TqdDBListItem* FindByName(std::string_view name);
  bool ThreadSafe() const { return lock_ != nullptr; }
  void SetThreadSafe(bool threadSafe);
  // A copy of the items, for walking while the list may change.
  std::vector<TqdDBListItem*> Snapshot();

  // How a list ends: every item closed, then, from the last to the first,
  // an item that another component made is taken out (and detached from
  // `owner` when there is one), any other is given to FreeItem.
  void CloseAll();
  void ReleaseAll(TqdDBListItem* owner);

 protected:
  virtual void FreeItem(TqdDBListItem* item);

 private:
  std::vector<TqdDBListItem*> items_;
  std::unique_ptr<TqdPadLock> lock_;
};

// The process-wide list of nodes whose open or parent name was set while a
// form was read. Each node is on it once.
void AddPendingOpen(TqdDBListItem* item);
void RemovePendingOpen(TqdDBListItem* item);
bool IsPendingOpen(const TqdDBListItem* item);
size_t PendingOpenCount();
// Runs every pending node's deferred open: level 1 first, then 2, 3 and 4;
// within a level the last added first. Each node leaves the list as it is
// run, also when its open raises.
void ProcessPendingOpens();
// One node's deferred open, after which it leaves the list. An exception
// is shown for a node in design mode and passed on otherwise.
void RunDeferredOpen(TqdDBListItem* item);

}  // namespace qd
