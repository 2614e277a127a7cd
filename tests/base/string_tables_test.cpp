// The seven packed tables as the build writes them to <build>/strings.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "base/QDSRMgr.h"
#include "base/endian.h"

namespace qd {
namespace {

std::vector<uint8_t> ReadFile(const std::string& name) {
  std::ifstream in(std::string(QD_STRING_DIR) + "/" + name + ".str0", std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct TableCase {
  const char* name;
  uint32_t rows;
  int32_t firstId;
  int32_t lastId;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class PackedTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(PackedTable, IsAContiguousSortedStr0TableWithItsRowCount) {
  const TableCase& c = GetParam();
  std::vector<uint8_t> bytes = ReadFile(c.name);
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "STR0");
  uint32_t count = GetUInt32LE(bytes.data() + 4);
  ASSERT_EQ(count, c.rows);
  ASSERT_GE(bytes.size(), 8u + 12u * count);
  uint64_t expectedOffset = 8 + 12ull * count;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = bytes.data() + 8 + 12 * i;
    if (i > 0) {
      EXPECT_LT(GetInt32LE(e - 12), GetInt32LE(e));
    }
    EXPECT_EQ(GetUInt32LE(e + 4), expectedOffset) << "entry " << i;
    expectedOffset += 2ull * GetUInt32LE(e + 8);
  }
  EXPECT_EQ(bytes.size(), expectedOffset);  // ends exactly behind the last text
  EXPECT_EQ(GetInt32LE(bytes.data() + 8), c.firstId);
  EXPECT_EQ(GetInt32LE(bytes.data() + 8 + 12 * (count - 1)), c.lastId);

  // The program embeds the very same bytes.
  std::span<const uint8_t> embedded = FindEmbeddedStringTable(c.name);
  EXPECT_EQ(std::vector<uint8_t>(embedded.begin(), embedded.end()), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    AllTables, PackedTable,
    ::testing::Values(TableCase{"QDSRMGR_STRINGS", 5, 1, 5},
                      TableCase{"QD_GENERAL_STRINGS", 44, 32, 258},
                      TableCase{"QD_NETBIOS_ERROR_STRINGS", 29, 0, 255},
                      TableCase{"QD_WINSOCK_ERROR_STRINGS", 51, 10004, 11004},
                      TableCase{"QD_CLIENT_STRINGS", 41, 80, 1040},
                      TableCase{"QD_BDE_ERROR_STRINGS", 519, 8449, 15521},
                      TableCase{"QD_DATASET_ERROR_STRINGS", 52, 54528, 54579}),
    [](const auto& tableCase) { return std::string(tableCase.param.name); });

// Every result code of the category list, and no other.
TEST(ResultCodeTable, HoldsExactlyTheCodesOfEachCategory) {
  struct Range {
    int category, from, to;
  };
  const Range ranges[] = {
      {0x21, 0x01, 0x0B}, {0x22, 0x01, 0x0B}, {0x23, 0x01, 0x03}, {0x23, 0x05, 0x09},
      {0x24, 0x01, 0x06}, {0x25, 0x01, 0x18}, {0x25, 0x1A, 0x1D}, {0x26, 0x01, 0x17},
      {0x27, 0x01, 0x48}, {0x27, 0x4A, 0x52}, {0x28, 0x01, 0x14}, {0x29, 0x01, 0x08},
      {0x2A, 0x01, 0x14}, {0x2B, 0x01, 0x0D}, {0x2B, 0x0F, 0x16}, {0x2B, 0x21, 0x23},
      {0x2B, 0x27, 0x27}, {0x2B, 0x32, 0x35}, {0x2B, 0x64, 0x69}, {0x2C, 0x01, 0x0B},
      {0x2C, 0x0D, 0x0E}, {0x2D, 0x01, 0x02}, {0x2E, 0x01, 0x7A}, {0x2E, 0x96, 0xA1},
      {0x2E, 0xAA, 0xB9}, {0x2F, 0x01, 0x08}, {0x30, 0x01, 0x06}, {0x31, 0x01, 0x06},
      {0x32, 0x01, 0x07}, {0x32, 0x09, 0x0C}, {0x33, 0x01, 0x06}, {0x34, 0x01, 0x03},
      {0x35, 0x01, 0x0E}, {0x35, 0x10, 0x1A}, {0x3C, 0x00, 0x0C}, {0x3C, 0x20, 0x22},
      {0x3C, 0x31, 0x31}, {0x3C, 0x33, 0x35}, {0x3C, 0x3D, 0x49}, {0x3C, 0x50, 0x52},
      {0x3C, 0xA0, 0xA1},
  };
  std::set<int32_t> expected;
  for (const Range& r : ranges)
    for (int s = r.from; s <= r.to; ++s) expected.insert(r.category * 256 + s);
  ASSERT_EQ(expected.size(), 519u);

  std::vector<uint8_t> bytes = ReadFile("QD_BDE_ERROR_STRINGS");
  ASSERT_GE(bytes.size(), 8u + 12u * 519);
  std::set<int32_t> present;
  for (uint32_t i = 0; i < GetUInt32LE(bytes.data() + 4); ++i) {
    const uint8_t* e = bytes.data() + 8 + 12 * i;
    present.insert(GetInt32LE(e));
    EXPECT_GT(GetUInt32LE(e + 8), 0u) << "empty text for code " << GetInt32LE(e);
  }
  EXPECT_EQ(present, expected);
}

TEST(StringTables, TextsKeepTheirExactWording) {
  struct Case {
    const TqdStringResource& table;
    int32_t id;
    const char* text;
  };
  const Case cases[] = {
      {ReaderStrings(), 5, "Invalid BWString resource"},
      {GeneralStrings(), 96, "Field, index or file number does not exist in the dictionary [%s, item %d]"},
      {GeneralStrings(), 131, "NetBIOS communications: Unexpected error $%x [%s]"},
      {GeneralStrings(), 256, "Seq. Access Index"},
      {GeneralStrings(), 258, "\\Software\\Brackwater\\Quilldrive\\"},
      {NetBIOSStrings(), 20, "Cannot find name called / no answer"},
      {NetBIOSStrings(), 255, "Command pending"},
      {WinsockStrings(), 10037, "WSAEALREADY: watch out, Al is ready"},
      {WinsockStrings(), 11004, "Valid name, but no data record of requested type"},
      {ClientStrings(), 608, "\\Software\\Brackwater\\Quilldrive\\Configuration\\IDAPI\\"},
      {ClientStrings(), 774, " - Key = ["},
      {ClientStrings(), 1037, "Error in schema file: %s  has invalid field decimal places %s"},
      {ResultCodeStrings(), 8455, "System has been illegally re-entered."},
      {ResultCodeStrings(), 8456, "Cannot locate IDAPI32  .DLL."},
      {ResultCodeStrings(), 8457, "Cannot load IDAPI32  .DLL."},
      {ResultCodeStrings(), 9990, "Invalid handle to the function."},
      {ResultCodeStrings(), 10048, "Invalid index type"},
      {ResultCodeStrings(), 11276, ""},
      {ResultCodeStrings(), 11278, "Cannot locate or connect to network server."},
      {ResultCodeStrings(), 12289, "Capability not supported."},
      {ResultCodeStrings(), 15520, "QD SERVER ERROR: Unknown (server exception object has unknown error code)"},
      {DatasetErrorStrings(), 54529, "Quilldrive: %s [$%x/%d]"},
      {DatasetErrorStrings(), 54536,
       "The %s object [%s] has no owner in the database heirarchy or it cannot be found"},
      {DatasetErrorStrings(), 54579,
       "The BLOB stream is being opened for read/write access but the table is not being edited"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.table.ReadText(c.id), c.text) << c.id;
}

}  // namespace
}  // namespace qd
