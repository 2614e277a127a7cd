// Components: who frees whom, and the reading of a form with its Loaded
// notifications.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/component.h"

namespace qd {
namespace {

// Logs its Loaded and its end.
class Logged : public TqdComponent {
 public:
  Logged(TqdComponent* owner, std::string name, std::vector<std::string>& log) : TqdComponent(owner), log_(log) {
    SetName(name);
  }
  ~Logged() override { log_.push_back("free " + Name()); }
  void Loaded() override {
    log_.push_back("loaded " + Name() + (IsReading() ? " reading" : "") + (IsLoading() ? " loading" : ""));
    TqdComponent::Loaded();
  }

 private:
  std::vector<std::string>& log_;
};

TEST(ComponentTest, AnOwnerFreesWhatItOwnsTheLastFirstAndAFreedOneLeavesItsOwner) {
  std::vector<std::string> log;
  {
    Logged form(nullptr, "form", log);
    auto& a = CreateComponent<Logged>(form, "a", log);
    CreateComponent<Logged>(a, "a1", log);
    auto& b = CreateComponent<Logged>(form, "b", log);
    CreateComponent<Logged>(form, "c", log);
    EXPECT_EQ(a.Owner(), &form);
    ASSERT_EQ(form.Components().size(), 3u);
    delete &b;
    EXPECT_EQ(form.Components().size(), 2u);
  }
  // The owner's own part ends first; what it owns goes as its base part ends.
  EXPECT_EQ(log, (std::vector<std::string>{"free b", "free form", "free c", "free a", "free a1"}));
}

TEST(ComponentTest, AFormIsReadWholeBeforeEachComponentIsToldItLoaded) {
  std::vector<std::string> log;
  Logged form(nullptr, "form", log);
  auto& table = CreateComponent<Logged>(form, "table", log);
  auto& proxy = CreateComponent<Logged>(table, "proxy", log);
  BeginReadingForm(form);
  auto& late = CreateComponent<Logged>(form, "late", log);
  EXPECT_TRUE(table.IsReading() && proxy.IsReading() && late.IsReading() && late.IsLoading());
  EndReadingForm(form);
  // Nobody reads any more when the first is told; what a component owns
  // is told by that component, not by the form.
  EXPECT_EQ(log, (std::vector<std::string>{"loaded table loading", "loaded late loading", "loaded form loading"}));
  EXPECT_FALSE(proxy.IsReading());
  EXPECT_TRUE(proxy.IsLoading());
  EXPECT_FALSE(late.IsLoading());
}

TEST(ComponentTest, TheDesignStateIsTakenFromTheOwner) {
  TqdComponent form(nullptr);
  form.SetDesigning(true);
  EXPECT_TRUE(CreateComponent<TqdComponent>(form).IsDesigning());
  EXPECT_EQ(form.ClassName(), "TqdComponent");
}

}  // namespace
}  // namespace qd
