// Names a parameterised case after its Name field.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace qd::test {

struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.Name;
  }
};

}  // namespace qd::test
