// The 62-, 893- and 1219-byte BDE descriptions, byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/endian.h"
#include "dict/QDCLConv.h"
#include "dict/QDLLDict.h"

namespace qd {
namespace {

template <size_t N>
std::vector<uint8_t> Expected(std::initializer_list<std::pair<size_t, std::vector<uint8_t>>> parts) {
  std::vector<uint8_t> bytes(N, 0);
  for (const auto& [at, value] : parts) std::copy(value.begin(), value.end(), bytes.begin() + static_cast<long>(at));
  return bytes;
}
std::vector<uint8_t> U16(uint16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
std::vector<uint8_t> U32(uint32_t v) { std::vector<uint8_t> b(4); PutUInt32LE(b.data(), v); return b; }
std::vector<uint8_t> Str(std::string_view s) { return {s.begin(), s.end()}; }
template <size_t N>
std::vector<uint8_t> Vec(const std::array<uint8_t, N>& a) { return {a.begin(), a.end()}; }

TEST(BDEDesc, SizesAndOffsets) {
  static_assert(kFieldDescSize == 62 && kIndexDescSize == 893 && kValidityDescSize == 1219);
  static_assert(kFldValCheckOffset == 48 && kFldRightsOffset == 52);
  static_assert(kIdxCaseInsensitiveOffset == 823 && kVchkPictureOffset == 778);
}

TEST(BDEDesc, PhysicalAndLogicalFieldDescriptors) {
  TqdDataDictionary d;
  d.AddField("ID", "", fkInt32, 10, 0, false);
  d.AddField("Name", "", fkShortString, 20, 0, true);
  d.AddField("Price", "", fkCurrency, 12, 2, false);
  TqdDictValidity v;
  d.SetFieldValidity(2, v);

  auto name = MakePhysicalFieldDesc(d.FieldDesc(1));
  EXPECT_EQ(Vec(name), (Expected<62>({{0, U16(2)}, {2, Str("Name")}, {34, U16(fkShortString)}, {38, U16(20)},
                                      {42, U16(4)}, {44, U16(21)}, {48, U32(1)}})));
  auto price = MakePhysicalFieldDesc(d.FieldDesc(2));
  EXPECT_EQ(Vec(price), (Expected<62>({{0, U16(3)}, {2, Str("Price")}, {34, U16(fkCurrency)}, {38, U16(12)},
                                       {40, U16(2)}, {42, U16(25)}, {44, U16(8)}, {48, U32(1)}})));
  auto id = MakePhysicalFieldDesc(d.FieldDesc(0));
  EXPECT_EQ(GetUInt32LE(&id[kFldValCheckOffset]), 0u);

  EXPECT_EQ(Vec(MakeLogicalFieldDesc(name)),
            (Expected<62>({{0, U16(2)}, {2, Str("Name")}, {34, U16(1)}, {38, U16(20)}, {44, U16(20)}})));
  EXPECT_EQ(Vec(MakeLogicalFieldDesc(price)),
            (Expected<62>({{0, U16(3)}, {2, Str("Price")}, {34, U16(7)}, {36, U16(21)}, {44, U16(8)}})));
}

TEST(BDEDesc, LongestFieldNameKeepsItsTerminator) {
  TqdDataDictionary d;
  d.AddField(std::string(31, 'N'), "", fkInt32, 0, 0, false);
  auto desc = MakePhysicalFieldDesc(d.FieldDesc(0));
  EXPECT_EQ(desc[2 + 30], 'N');
  EXPECT_EQ(desc[2 + 31], 0);
}

TEST(BDEDesc, IndexZeroOfANewDictionary) {
  TqdDataDictionary d;
  auto desc = MakeIndexDesc(d.IndexDesc(0));
  EXPECT_EQ(Vec(desc), (Expected<893>({{0, Str("Seq. Access Index")}, {295, Str("BTREE")}, {329, U16(0xFFFF)},
                                      {333, U16(0xFFFF)}, {337, U16(0xFFFF)}, {343, U16(4)},
                                      {823, U16(0xFFFF)}})));
}

TEST(BDEDesc, CompositeIndex) {
  TqdDataDictionary d;
  d.AddField("ID", "", fkInt32, 10, 0, false);
  d.AddField("Name", "", fkShortString, 10, 0, false);
  const int32_t keys[] = {1, 0};
  d.AddCompositeIndex("ByName", "", 0, keys, true, false, false);
  auto desc = MakeIndexDesc(d.IndexDesc(1));
  EXPECT_EQ(Vec(desc), (Expected<893>({{0, Str("ByName")}, {261, U16(1)}, {295, Str("BTREE")}, {331, U16(0xFFFF)},
                                      {333, U16(0xFFFF)}, {341, U16(2)}, {343, U16(16)}, {349, U16(2)},
                                      {351, U16(1)}})));
}

TEST(BDEDesc, ValidityCheck) {
  TqdDictValidity v;
  v.HasMinimum = true;
  v.HasDefault = true;
  for (size_t k = 0; k < kValidityValueSize; ++k) {
    v.MinimumValue[k] = static_cast<uint8_t>(k + 1);
    v.MaximumValue[k] = 0x99;  // not copied: no maximum
    v.DefaultValue[k] = 0x44;
  }
  v.Picture.Assign("###-##");
  auto desc = MakeValidityDesc(v, 3, true);
  std::vector<uint8_t> minimum(v.MinimumValue.begin(), v.MinimumValue.end());
  EXPECT_EQ(Vec(desc), (Expected<1219>({{0, U16(3)}, {2, U16(0xFFFF)}, {4, U16(0xFFFF)}, {8, U16(0xFFFF)},
                                       {10, minimum}, {522, std::vector<uint8_t>(256, 0x44)},
                                       {778, Str("###-##")}})));
  // The last bytes of a full 256-byte value are kept.
  EXPECT_EQ(desc[10 + 255], 0);  // (k + 1) wraps to 0 at k = 255
  EXPECT_EQ(desc[10 + 254], 255);
  EXPECT_EQ(desc[522 + 255], 0x44);

  TqdDictValidity picture;
  picture.Picture.Assign(std::string(175, 'p'));
  auto longest = MakeValidityDesc(picture, 1, false);
  EXPECT_EQ(longest[778 + 174], 'p');
  EXPECT_EQ(longest[778 + 175], 0);
  EXPECT_EQ(GetUInt16LE(&longest[2]), 0);
}

}  // namespace
}  // namespace qd
