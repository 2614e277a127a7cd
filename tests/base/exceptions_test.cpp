#include <gtest/gtest.h>

#include <string>

#include "base/QDLLExcp.h"
#include "base/QDSRMgr.h"
#include "base/string_ids.h"

namespace qd {
namespace {

TEST(EqdDatabaseError, MessagesForCodes) {
  struct Case {
    uint16_t code;
    const char* message;
  };
  const Case cases[] = {
      {9990, "Quilldrive: Invalid handle to the function. [$2706/9990]"},
      {11276, "Quilldrive:  [$2C0C/11276]"},  // no row: the prefix and the code only
      {8712, "Quilldrive: Could not find object. [$2208/8712]"},
      {15361, "Quilldrive: QD SERVER ERROR: File could not be opened [$3C01/15361]"},
  };
  for (const auto& c : cases) {
    EqdDatabaseError e = EqdDatabaseError::CreateForCode(c.code);
    EXPECT_STREQ(e.what(), c.message);
    EXPECT_EQ(e.ErrorCode, c.code);
  }
}

TEST(EqdDatabaseError, MessagesWithoutCode) {
  EqdDatabaseError plain = EqdDatabaseError::CreateWithMessage("X");
  EXPECT_STREQ(plain.what(), "Quilldrive: X [no error code]");
  EXPECT_EQ(plain.ErrorCode, 0);

  ComponentIdentity named{"Table1", "TqdTable"};
  EXPECT_STREQ(EqdDatabaseError::CreateForComponent(&named, "X").what(),
               "Quilldrive: Table1: X [no error code]");
  ComponentIdentity unnamed{"", "TqdTable"};
  EXPECT_STREQ(EqdDatabaseError::CreateForComponent(&unnamed, "X").what(),
               "Quilldrive: <unnamed TqdTable instance>: X [no error code]");
  EXPECT_STREQ(EqdDatabaseError::CreateForComponent(nullptr, "X").what(),
               "Quilldrive: <nil pointer>: X [no error code]");
}

struct FakeComponent {
  std::string Name() const { return "Database1"; }
  std::string ClassName() const { return "TqdDatabase"; }
};

TEST(EqdDatabaseError, RaiseComponentErrorAndCheckResult) {
  FakeComponent component;
  try {
    RaiseComponentError(&component, "broken");
    FAIL();
  } catch (const EqdDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Quilldrive: Database1: broken [no error code]");
  }
  EXPECT_NO_THROW(CheckResult(0));
  EXPECT_NO_THROW(CheckResult(0x10000));  // low 16 bits are 0
  try {
    CheckResult(0x12706);
    FAIL();
  } catch (const EqdDatabaseError& e) {
    EXPECT_EQ(e.ErrorCode, 9990);
  }
}

TEST(EqdException, TransportExceptions) {
  EqdNetBIOSException nb = EqdNetBIOSException::CreateForNetBIOSCode(0x14);
  EXPECT_STREQ(nb.what(), "NetBIOS communications: Unexpected error $14 [Cannot find name called / no answer]");
  EXPECT_EQ(nb.ErrorCode, 131);
  EqdNetBIOSException unknown = EqdNetBIOSException::CreateForNetBIOSCode(0x99);
  EXPECT_STREQ(unknown.what(), "NetBIOS communications: Unexpected error $99 []");

  EqdWinsockException ws = EqdWinsockException::CreateForWinsockCode(10061);
  EXPECT_STREQ(ws.what(),
               "Winsock communications: Unexpected Winsock error 10061/$274D [The attempt to connect was forcibly refused]");
  EXPECT_EQ(ws.ErrorCode, 135);
  const EqdCommsException& asComms = ws;  // both are communication exceptions
  EXPECT_EQ(asComms.ErrorCode, 135);
}

TEST(EqdException, FromTables) {
  EqdException e = EqdException::CreateFromTableFmt(GeneralStrings(), gsDictItemMissing, {"ORDERS", 7});
  EXPECT_STREQ(e.what(), "Field, index or file number does not exist in the dictionary [ORDERS, item 7]");
  EXPECT_EQ(e.ErrorCode, 96);
  try {
    RaiseTableError<EqdClientException>(ClientStrings(), csOnlyQuilldriveComponents);
    FAIL();
  } catch (const EqdClientException& c) {
    EXPECT_STREQ(c.what(), "Function only applicable to Quilldrive data components");
    EXPECT_EQ(c.ErrorCode, 776);
  }
}

TEST(GetResultCodeText, CutsToTheBuffer) {
  char buffer[kResultCodeTextCapacity];
  EXPECT_EQ(GetResultCodeText(0x10000 + 9990, buffer), 0);  // taken as 16 bits
  EXPECT_STREQ(buffer, "Invalid handle to the function.");
  // The longest result-code texts still fit 127 bytes plus the terminator.
  for (int code = 0x2100; code < 0x3D00; ++code) {
    GetResultCodeText(code, buffer);
    EXPECT_LT(std::string(buffer).size(), kResultCodeTextCapacity);
  }
}

}  // namespace
}  // namespace qd
