#include "server/demo_data.h"

#include <filesystem>
#include <fstream>
#include <memory>

#include "server/maintenance.h"
#include "server/path_guard.h"
#include "server/record_writer.h"

namespace qd {
namespace {

// Customers-like tables: integers, texts, currency, date, boolean; unique,
// case-insensitive, composite and descending indexes.
std::unique_ptr<TqdDataDictionary> PartyDictionary() {
  auto d = std::make_unique<TqdDataDictionary>();
  d->AddField("Id", "Number", fkInt32, 10, 0, true);
  d->AddField("Name", "Name", fkShortString, 30, 0, true);
  d->AddField("City", "City", fkNullString, 20, 0, false);
  d->AddField("Balance", "Balance", fkCurrency, 12, 2, false);
  d->AddField("Joined", "Joined on", fkDate, 0, 0, false);
  d->AddField("Active", "Active", fkBoolean, 0, 0, false);
  d->AddField("Rating", "Rating", fkInt16, 3, 0, false);
  const int32_t id[] = {0}, name[] = {1}, cityName[] = {2, 1}, balance[] = {3};
  d->AddCompositeIndex("ById", "Unique number", 0, id, false, true, false);
  d->AddCompositeIndex("ByName", "Name, any case", 0, name, true, true, true);
  d->AddCompositeIndex("ByCityName", "City then name", 0, cityName, true, true, true);
  d->AddCompositeIndex("ByBalanceDesc", "Largest balance first", 0, balance, true, false, false);
  return d;
}

// Orders-like tables: date-times, doubles, a composite unique key.
std::unique_ptr<TqdDataDictionary> DealDictionary() {
  auto d = std::make_unique<TqdDataDictionary>();
  d->AddField("OrderNo", "Order number", fkInt32, 10, 0, true);
  d->AddField("Customer", "Customer number", fkInt32, 10, 0, true);
  d->AddField("Placed", "Placed at", fkDateTime, 0, 0, false);
  d->AddField("Amount", "Amount", fkDouble, 12, 2, false);
  d->AddField("Note", "Note", fkShortString, 40, 0, false);
  d->AddField("Paid", "Paid", fkBoolean, 0, 0, false);
  const int32_t no[] = {0}, customerPlaced[] = {1, 2}, amount[] = {3}, note[] = {4};
  d->AddCompositeIndex("ByOrderNo", "Unique order number", 0, no, false, true, false);
  d->AddCompositeIndex("ByCustomerPlaced", "Customer then time", 0, customerPlaced, false, true, false);
  d->AddCompositeIndex("ByAmountDesc", "Largest amount first", 0, amount, true, false, false);
  d->AddCompositeIndex("ByNote", "Note, any case", 0, note, true, true, true);
  return d;
}

const char* const kCities[] = {"Aberdeen", "bristol", "Cardiff", "dover", "Exeter", "Fife", "Glasgow"};
const char* const kNames[] = {"Smith", "jones", "Taylor", "brown", "Wilson", "Evans", "thomas", "Roberts"};

void FillParty(TqdRecordWriter& w, int i) {
  w.SetInteger(0, i);
  w.SetText(1, std::string(kNames[i % 8]) + " " + std::to_string(i));
  if (i % 13 != 0) w.SetText(2, kCities[i % 7]);  // some cities left null
  w.SetInteger(3, (static_cast<int64_t>(i) * 7919 % 200000 - 50000) * 100);  // currency, 4 decimals
  w.SetInteger(4, 146000 + i % 30000);  // a day number in the 2000s
  w.SetInteger(5, i % 3 != 0);
  w.SetInteger(6, i % 11 - 5);
}

void FillDeal(TqdRecordWriter& w, int i) {
  w.SetInteger(0, i);
  w.SetInteger(1, i % 97 + 1);
  w.SetFloat(2, 730000.0 + i / 24.0);  // date-time: days from 0001-01-01
  w.SetFloat(3, (i * 37 % 10000) / 4.0);
  w.SetText(4, std::string(i % 2 ? "Urgent " : "regular ") + std::to_string(i % 50));
  w.SetInteger(5, i % 4 == 0);
}

const char* const kTableNames[] = {"Customers", "Orders", "Suppliers", "Invoices", "Agents", "Shipments"};

void MakeTable(const std::string& dir, const std::string& name, bool party, int records) {
  TqdTableStore store(dir, {.Mode = TqdOpenMode::CreateIfMissing});
  auto dict = party ? PartyDictionary() : DealDictionary();
  int64_t id = store.CreateTable(name, *dict, true);
  TqdRecordWriter writer(*dict);
  {
    TqdTransaction txn(store.Db());
    for (int i = 1; i <= records; ++i) {
      writer.Clear();
      party ? FillParty(writer, i) : FillDeal(writer, i);
      store.AppendRecord(id, writer.Bytes(), i % 10 == 0);
    }
    txn.Commit();
  }
  for (int32_t n = 1; n < dict->IndexCount(); ++n) {
    TqdTaskProgress progress;
    RunRebuildIndex(store, name, n, progress);
  }
}

}  // namespace

bool MakeDemoData(const std::string& dir, int tables, int records, std::string& error) {
  try {
    std::string aliasDirs[] = {dir + "/sales", dir + "/stock"};
    for (auto& d : aliasDirs) {
      std::filesystem::create_directories(d);
      // Stores are opened by their canonical directory only.
      auto canonical = CanonicalDirectory(d);
      if (!canonical) {
        error = "cannot resolve " + d;
        return false;
      }
      d = *canonical;
    }
    for (int t = 0; t < tables; ++t) {
      std::string name = kTableNames[t % 6];
      if (t >= 6) name += std::to_string(t / 6 + 1);
      MakeTable(aliasDirs[t % 2], name, t % 2 == 0, records);
    }
    std::ofstream conf(dir + "/server.conf", std::ios::trunc);
    conf << "; qd-server demo configuration (written by qd-server --make-demo)\n"
            "[Server]\nName = QDSERVER\nTransports = TCP/IP, Single User\nPort = 24677\n"
            "ClientDiscoveryPort = 24933\nSecure = 1\nDataDir = .\n\n"
            "[Users]\n" << kDemoUser << " = " << kDemoPassword << "\n\n"
            "[Aliases]\nSales = sales\nStock = stock\n";
    if (!conf) {
      error = "cannot write " + dir + "/server.conf";
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

}  // namespace qd
