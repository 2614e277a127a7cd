// The transaction handlers of the core: begin (1024) and end (1025), one
// transaction per client and database. A begin while one is open answers
// 10256; an end of an id the client has not open answers 10257.
#include "base/endian.h"
#include "server/server_core.h"
#include "server/server_results.h"
#include "server/wire_records.h"

namespace qd {

std::shared_ptr<TqdClientTransaction> TqdServerCore::TransactionOf(const Client& client, int32_t databaseId) {
  auto it = client.Transactions.find(databaseId);
  return it == client.Transactions.end() ? nullptr : it->second;
}

bool TqdServerCore::WrittenByOthers(TqdCoreConnection c, const std::string& directory) const {
  for (const auto& [connection, client] : clients_) {
    if (connection == c) continue;
    for (const auto& [db, txn] : client.Transactions)
      if (txn->Wrote && txn->Directory == directory) return true;
  }
  return false;
}

// Closed on a worker: a job of the transaction may still be running, and
// closing a connection is no work for the serving thread.
void TqdServerCore::CloseTransactionLater(std::shared_ptr<TqdClientTransaction> txn) {
  pool_.Submit(
      0,
      [txn](TqdStoreCache&) {
        std::lock_guard<std::mutex> inUse(txn->InUse);
        txn->Store.reset();
        return TqdJobResult{};
      },
      {});
}

void TqdServerCore::DropTransactions(Client& client, std::optional<int32_t> databaseId) {
  for (auto it = client.Transactions.begin(); it != client.Transactions.end();) {
    if (databaseId && it->first != *databaseId) {
      ++it;
      continue;
    }
    CloseTransactionLater(it->second);
    it = client.Transactions.erase(it);
  }
}

void TqdServerCore::OnBeginTran(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto begin = ReadTransactionRequest(request.Data);
  const std::string* dir = RequestDirectory(c, client, request, begin.has_value(), begin ? begin->first : 0);
  if (!dir) return;
  const int32_t databaseId = begin->first;
  if (client.Transactions.count(databaseId) != 0) {
    Reply(c, msgBeginTran, qdErrActiveTran);
    return;
  }
  auto txn = std::make_shared<TqdClientTransaction>();
  txn->Id = NextId();
  txn->Directory = *dir;
  Defer(
      c, msgBeginTran, 0,
      [txn, stop = &stop_](TqdStoreCache&) {
        std::lock_guard<std::mutex> inUse(txn->InUse);
        txn->Store = std::make_unique<TqdTableStore>(txn->Directory, TqdOpenOptions{.Stop = stop});
        txn->Store->Db().Exec("BEGIN");
        return TqdJobResult{qdOK, Int32Reply(txn->Id)};
      },
      [this, txn, databaseId](Client& owner, TqdJobResult& result) {
        // The database may have closed, or another begin won, meanwhile.
        if (result.Result == qdOK && owner.Databases.count(databaseId) != 0 &&
            owner.Transactions.emplace(databaseId, txn).second)
          return;
        if (result.Result == qdOK) result = {qdErrActiveTran, {}};
        CloseTransactionLater(txn);
      });
}

void TqdServerCore::OnEndTran(TqdCoreConnection c, Client& client, const TqdServerRequest& request) {
  auto end = ReadTransactionRequest(request.Data);
  if (!end) {
    Reply(c, msgEndTran, qdErrInvalidParam);
    return;
  }
  auto it = std::find_if(client.Transactions.begin(), client.Transactions.end(),
                         [&](const auto& entry) { return entry.second->Id == end->first; });
  if (it == client.Transactions.end()) {
    Reply(c, msgEndTran, qdErrNoActiveTran);
    return;
  }
  // Ended now: the client's next requests run outside it.
  auto txn = it->second;
  client.Transactions.erase(it);
  Defer(c, msgEndTran, 0, [txn, commit = end->second != 0](TqdStoreCache&) {
    std::lock_guard<std::mutex> inUse(txn->InUse);
    if (!txn->Store) return TqdJobResult{qdErrNoActiveTran, {}};
    // Whatever the end's outcome, closing the connection rolls back what
    // was not committed.
    std::unique_ptr<TqdTableStore> store = std::move(txn->Store);
    store->Db().Exec(commit ? "COMMIT" : "ROLLBACK");
    return TqdJobResult{};
  });
}

}  // namespace qd
