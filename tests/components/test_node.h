// A node of the component tree for tests without a server: it logs its
// opens and closes, finds its parent among the live test nodes one level
// up, and can be told to fail its open.
#pragma once

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "components/QDDBBase.h"
#include "framework/definitions.h"

namespace qd::test {

class TestNode : public TqdDBListItem {
 public:
  TestNode(TqdComponent* owner, int32_t level, std::string_view name, std::string_view parentName,
           std::vector<std::string>* log = nullptr)
      : TqdDBListItem(owner, level, level == 1, std::make_unique<TqdDBList>()), log_(log) {
    SetOwnName(name);
    StoreParentName(parentName);
    Live().push_back(this);
  }
  ~TestNode() override {
    DestroyNode();
    std::erase(Live(), this);
    if (freed_ != nullptr) *freed_ = true;
  }
  std::string_view ClassName() const override { return "TestNode"; }

  using TqdDBListItem::SetOwnName;
  void FailOpen(bool fail) { failOpen_ = fail; }
  void NoteFreeIn(bool* freed) { freed_ = freed; }
  int Opens() const { return opens_; }
  int Closes() const { return closes_; }

 protected:
  void DoOpen() override {
    if (failOpen_) throw std::runtime_error("open of " + OwnName() + " failed");
    ++opens_;
    Log("open " + OwnName());
  }
  void DoClose() override {
    TqdDBListItem::DoClose();
    ++closes_;
    Log("close " + OwnName());
  }
  TqdDBListItem* FindParent(std::string_view name) override {
    for (TestNode* node : Live()) {
      if (node->Level() == Level() - 1 && SameNameNoCase(node->OwnName(), name)) return node;
    }
    return nullptr;
  }

 private:
  static std::vector<TestNode*>& Live() {
    static std::vector<TestNode*> live;
    return live;
  }
  void Log(std::string line) {
    if (log_ != nullptr) log_->push_back(std::move(line));
  }

  std::vector<std::string>* log_;
  bool* freed_ = nullptr;
  bool failOpen_ = false;
  int opens_ = 0;
  int closes_ = 0;
};

}  // namespace qd::test
