// The least dataset: a failed open leaves it closed, an Active read with the
// form takes effect at Loaded, and a changed property puts the field
// definitions out of date.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/dataset.h"

namespace qd {
namespace {

class Recording : public TqdDataSet {
 public:
  explicit Recording(TqdComponent* owner) : TqdDataSet(owner) {}
  ~Recording() override {
    if (Active()) CloseCursor();
  }
  const char* failIn = nullptr;
  std::vector<std::string> log;
  using TqdDataSet::PropertyChanged;

 protected:
  void OpenCursor() override { Step("open cursor"); }
  void InternalOpen() override { Step("internal open"); }
  void CloseCursor() override {
    TqdDataSet::CloseCursor();
    log.push_back("close cursor");
  }

 private:
  void Step(const char* what) {
    log.push_back(what);
    if (failIn != nullptr && std::string(failIn) == what) throw std::runtime_error(what);
  }
};

TEST(DataSetTest, AFailedOpenClosesWhatItOpenedAndPassesTheFailureOn) {
  struct Case {
    const char* failIn;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {nullptr, {"open cursor", "internal open"}},
      {"open cursor", {"open cursor", "close cursor"}},
      {"internal open", {"open cursor", "internal open", "close cursor"}},
  };
  for (const Case& c : cases) {
    Recording set(nullptr);
    set.failIn = c.failIn;
    if (c.failIn == nullptr) {
      set.Open();
      EXPECT_TRUE(set.Active());
    } else {
      EXPECT_THROW(set.Open(), std::runtime_error) << c.failIn;
      EXPECT_FALSE(set.Active()) << c.failIn;
    }
    EXPECT_EQ(set.log, c.log) << (c.failIn ? c.failIn : "none");
  }
}

TEST(DataSetTest, OpeningAnOpenOneOrClosingAClosedOneDoesNothing) {
  Recording set(nullptr);
  set.Close();
  set.Open();
  set.Open();
  set.Close();
  EXPECT_EQ(set.log, (std::vector<std::string>{"open cursor", "internal open", "close cursor"}));
}

TEST(DataSetTest, ActiveSetWhileTheFormIsReadOpensAtLoaded) {
  TqdComponent form(nullptr);
  auto& set = CreateComponent<Recording>(form);
  BeginReadingForm(form);
  set.Open();
  EXPECT_TRUE(set.log.empty());
  EndReadingForm(form);
  EXPECT_TRUE(set.Active());
}

TEST(DataSetTest, APropertyChangePutsTheFieldDefinitionsOutOfDate) {
  Recording set(nullptr);
  set.FieldDefs().Updated = true;
  set.IndexDefs().Updated = true;
  set.PropertyChanged();
  EXPECT_FALSE(set.FieldDefs().Updated);
  EXPECT_TRUE(set.IndexDefs().Updated);  // a table adds its own
}

}  // namespace
}  // namespace qd
