#include "jobs/table_sizes.h"

#include <array>

#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "callif/QDClEng.h"
#include "callif/QDTTDbas.h"
#include "callif/catalogue.h"
#include "components/database.h"

namespace qd {
namespace {

constexpr size_t kTableNameCapacity = 260;  // and a zero

}  // namespace

std::map<std::string, int64_t> ListTableSizes(TqdDatabase& database) {
  TqdClientEngine& engine = *ClientEngine();
  hDBICur cursor = nullptr;
  CheckResult(engine.OpenTableList(database.ClientDatabase(), false, false, "", cursor));
  std::map<std::string, int64_t> sizes;
  std::array<uint8_t, kTableDescSize> row{};
  // The cursor is closed however the reading ends.
  try {
    while (engine.GetNextRecord(cursor, dbiNOLOCK, row.data(), nullptr) == qdOK) {
      sizes[GetZeroText(row.data() + kTblDescNameOffset, kTableNameCapacity)] = GetInt32LE(row.data() + kTblDescSizeOffset);
    }
  } catch (...) {
    engine.CloseCursor(cursor);
    throw;
  }
  engine.CloseCursor(cursor);
  return sizes;
}

}  // namespace qd
