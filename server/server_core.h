// TqdServerCore: everything the server does between receiving a complete
// request and sending its reply, without any transport: the clients'
// state (attach, login, sessions, databases, cursors), one handler per
// message number, the storage work handed to the request workers, the
// tasks, and the status answers that wait for progress.
//
// Every request gets exactly one reply with its message number. Before a
// client has logged in only attach (11), detach (2) and login (9) are
// served; other numbers answer 10036. Unknown numbers answer 12289.
//
// No client can take the server from the others: a failed login is
// answered and its connection hung up, and further logins of that user or
// from that address are answered ever later (TqdLoginThrottle); clients
// that have not logged in are capped per address and in all and must log
// in within kLoginDeadlineMs; a client with kMaxOutstandingRequests
// requests unanswered is not read until one is answered; tasks are capped
// per client and in all.
//
// A hang-up asked for while a message is being handled, and the removal of
// a connection that the transport lost meanwhile, wait until the handling
// has returned: a handler may use its client after replying.
//
// Thread rules: all calls on the serving thread. Storage work runs on the
// request workers and the task threads; their results come back through
// RunCompletions, which the glue calls when the wake function fires. The
// glue calls OnTimer every kCoreTimerMs.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "comms/msg_numbers.h"
#include "server/client_transaction.h"
#include "server/cursor_position.h"
#include "server/lock_table.h"
#include "server/login_throttle.h"
#include "server/request_pool.h"
#include "server/server_config.h"
#include "server/task_manager.h"

namespace qd {

using TqdCoreConnection = uint32_t;

inline constexpr int32_t kServerVersion = 15200;
inline constexpr uint32_t kCoreTimerMs = 10;
// A status poll whose answer would repeat the last one waits up to this
// long for the progress to move, so that a client polling back to back
// does not take the processor from the task it is waiting for.
inline constexpr uint32_t kStatusWaitMs = 100;
// The largest restructure request (header and dictionary) accepted.
inline constexpr size_t kMaxRestructureBytes = 4u << 20;

// Aliases added by clients live until the server stops; at most this many.
inline constexpr size_t kMaxAddedAliases = 1024;
// A client holds at most this many sessions, databases and cursors together.
inline constexpr size_t kMaxClientHandles = 4096;
// A client's requests not answered yet; at the cap it is not read.
inline constexpr int kMaxOutstandingRequests = 8;
// Connections that have not logged in: per address, and in all (beyond,
// the one that has waited longest goes), and how long they may take.
inline constexpr size_t kMaxUnauthenticatedPerAddress = 16;
inline constexpr size_t kMaxUnauthenticated = 256;
inline constexpr uint32_t kLoginDeadlineMs = 10000;
// The address of a client of the single-user transport.
inline constexpr const char* kLocalAddress = "local";

// What the core asks of the transports.
class TqdCoreOutput {
 public:
  virtual ~TqdCoreOutput() = default;
  virtual void Reply(TqdCoreConnection c, TqdMsgID msg, uint16_t result, uint8_t dataKind,
                     std::span<const uint8_t> data, uint32_t clientId) = 0;
  virtual void ReplyToUnreadableLogin(TqdCoreConnection c, std::span<const uint8_t> part,
                                      uint32_t clientId, uint16_t result) = 0;
  virtual void SetScramblingSeed(TqdCoreConnection c, int32_t seed) = 0;
  virtual void HangUp(TqdCoreConnection c) = 0;
  // Stops or resumes reading the connection's requests.
  virtual void PauseRequests(TqdCoreConnection, bool) {}
  // A logged-in client may send requests in parts; before, one part each.
  virtual void AllowRequestsInParts(TqdCoreConnection, bool) {}
};

struct TqdServerRequest {
  TqdMsgID MsgID = 0;
  uint32_t ClientID = 0;
  bool IsStream = false;
  std::vector<uint8_t> Data;
};

class TqdRecordNavigator;

// A cursor's state as a worker sees and changes it.
struct TqdServerCursorView {
  int32_t IndexId;
  TqdCursorPosition Position;
  TqdKeyRange Range;
  uint32_t Generation;  // the table's pack generation when the request came
};

class TqdServerCore {
 public:
  using LogFunction = std::function<void(const std::string& line)>;

  // `log` receives one line per event worth an operator's eye (failed
  // logins and what follows them, tasks that end); without it lines go to
  // standard error.
  TqdServerCore(const TqdServerConfig& config, TqdCoreOutput& output, std::function<void()> wake,
                LogFunction log = {});
  ~TqdServerCore();

  // A new connection from `address` (an IPv4 address, or kLocalAddress).
  TqdCoreConnection AddConnection(const std::string& address = kLocalAddress);
  void RemoveConnection(TqdCoreConnection c);
  void OnRequest(TqdCoreConnection c, const TqdServerRequest& request);
  // A part whose header is not sound under the client's key.
  void OnUnsound(TqdCoreConnection c, const uint8_t* part, size_t size);
  void OnTimer();
  // The workers' results, and news of the tasks (progress, ends).
  int RunCompletions();
  // Stops the workers and the tasks (their work is rolled back) before the
  // server exits; statements that run and locks waited for end at once.
  void Shutdown();

  TqdTaskManager& Tasks() { return tasks_; }
  int OutstandingJobs() const { return pool_.Outstanding(); }
  size_t WaitingStatusAnswers() const { return waitingStatus_.size(); }
  size_t HeldLogins() const { return heldLogins_.size(); }
  size_t Connections() const { return clients_.size(); }
  // The index a client's cursor reads by; nullopt for a cursor it lacks.
  std::optional<int32_t> CursorIndex(TqdCoreConnection c, int32_t cursor) const;

 private:
  struct Cursor {
    int32_t DatabaseId;
    std::string Table;
    int32_t IndexId = 0;  // the index the cursor reads by
    TqdCursorPosition Position;
    TqdKeyRange Range;
    bool Exclusive = false;  // opened with the table to itself
  };
  struct Client {
    std::string Address;
    uint64_t Sequence = 0;      // order of arrival
    uint32_t LoginClock = 0;    // tick of the connect or the last attach
    uint32_t ClientId = 0;
    bool Attached = false;
    bool LoggedIn = false;
    bool LoginHeld = false;     // its login waits for the throttle
    bool Gone = false;          // lost or being hung up: no more replies
    bool Paused = false;
    int Outstanding = 0;        // requests not answered yet
    std::string UserName;
    std::set<int32_t> Sessions;
    std::map<int32_t, std::string> Databases;  // id -> directory
    std::map<int32_t, Cursor> Cursors;
    std::map<int32_t, int32_t> LastPercent;  // task -> percent last answered
    std::map<int32_t, std::shared_ptr<TqdClientTransaction>> Transactions;  // by database id
    bool HasRoomForHandle() const { return Sessions.size() + Databases.size() + Cursors.size() < kMaxClientHandles; }
  };
  struct WaitingStatus {
    TqdCoreConnection Connection;
    int32_t Task;
    uint32_t Since;
  };
  struct HeldLogin {
    TqdCoreConnection Connection;
    bool Accepted;
    std::vector<uint8_t> UnreadablePart;  // empty for a readable login
  };
  using Handler = void (TqdServerCore::*)(TqdCoreConnection, Client&, const TqdServerRequest&);

  // Keeps hang-ups and removals for the end of the outermost handling.
  class Scope {
   public:
    explicit Scope(TqdServerCore& core) : core_(core) { ++core_.depth_; }
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    TqdServerCore& core_;
  };
  void FlushDeferred();
  void HangUpLater(TqdCoreConnection c);
  void Log(const std::string& line);
  std::string Who(const Client& client) const;

  // The one reply to a request; nothing for a client that is gone.
  void Reply(TqdCoreConnection c, TqdMsgID msg, uint16_t result, std::span<const uint8_t> data = {},
             uint8_t dataKind = 0);
  // Hands `job` to a worker; the reply (after `then`, if given, has had its
  // say on the serving thread) goes to `c` if it is still there.
  void Defer(TqdCoreConnection c, TqdMsgID msg, uint8_t dataKind, TqdRequestPool::Job job,
             std::function<void(Client&, TqdJobResult&)> then = {});
  Client* Find(TqdCoreConnection c);
  // The directory of an open database of the client, or nullptr.
  const std::string* DirectoryOf(Client& client, int32_t databaseId);
  // The directory of a request's database; nullptr once the request has
  // been answered: 9986 for an unreadable record (`readable` false), 10014
  // for an unknown database.
  const std::string* RequestDirectory(TqdCoreConnection c, Client& client, const TqdServerRequest& request,
                                      bool readable, int32_t databaseId, uint8_t dataKind = 0);
  // `table`, or when it is empty the table of the client's cursor; empty
  // once the request has been answered (unknown cursor, or a task still
  // working on the table).
  std::string IdleTableOf(TqdCoreConnection c, Client& client, const TqdServerRequest& request,
                          const std::string& directory, const std::string& table, int32_t cursorId);
  // The next session, database or cursor id: 1 and up, starting again at 1
  // after the largest (a long-running server must not overflow it).
  int32_t NextId() { return nextId_ == INT32_MAX ? std::exchange(nextId_, 1) : nextId_++; }
  // A client's table name reduced to a base name.
  static std::string TableNameOf(const std::string& text);

  // core_connections.cpp
  void CapUnauthenticated(TqdCoreConnection newcomer);
  void CheckLoginDeadlines(uint32_t now);
  void CountRequest(TqdCoreConnection c, Client& client);
  void CountReply(TqdCoreConnection c, Client& client);
  // core_session.cpp
  void OnAttach(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnLogin(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnDetach(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnOpenSession(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnCloseSession(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnAliasList(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnAddAlias(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnOpenDatabase(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnCloseDatabase(TqdCoreConnection, Client&, const TqdServerRequest&);
  std::string ResolveDatabase(const std::string& path) const;
  // True for the directory of a configured or added alias, where a table
  // may be created even before the directory has a store.
  bool IsAliasDirectory(const std::string& directory) const;
  std::optional<TqdResult> KnownAliasAnswer(const std::string& name, const std::string& dir) const;
  // core_login.cpp
  // Answers a login now, or holds it while the throttle says wait.
  void ConcludeLogin(TqdCoreConnection c, Client& client, bool accepted, std::vector<uint8_t> unreadablePart);
  void AnswerLogin(TqdCoreConnection c, Client& client, bool accepted, const std::vector<uint8_t>& unreadablePart);
  void ReleaseHeldLogins(uint32_t now);
  // Forgets what a login opened, before a new attach or at a detach; false
  // (and the connection is hung up) while its login waits for an answer:
  // the client did not wait for it.
  bool StartAfresh(TqdCoreConnection c, Client& client);
  // core_tables.cpp
  void OnTableList(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnOpenTable(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnCloseCursor(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnSwitchToIndex(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnGetDictionary(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnRestructure(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnDeleteTable(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnRenameTable(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnEmptyTable(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnDeleteIndex(TqdCoreConnection, Client&, const TqdServerRequest&);
  // core_cursors.cpp
  using CursorWork = std::function<TqdJobResult(TqdRecordNavigator&, TqdServerCursorView&)>;
  // The client's open cursor; nullptr once the request has been answered
  // (9986 for an unreadable record, 9990 for an unknown cursor).
  Cursor* CursorOf(TqdCoreConnection c, Client& client, TqdMsgID msg, std::optional<int32_t> cursorId);
  // Runs `work` on a worker over the cursor's table and index; the state it
  // leaves becomes the cursor's.
  // `after`, when given, runs last on the serving thread while the cursor
  // is still open.
  using CursorAfter = std::function<void(Client&, Cursor&, TqdJobResult&)>;
  void WorkOnCursor(TqdCoreConnection c, Client& client, TqdMsgID msg, std::optional<int32_t> cursorId,
                    CursorWork work, CursorAfter after = {});
  uint32_t PackGeneration(const std::string& directory, const std::string& table) const;
  static std::string PackKey(const std::string& directory, const std::string& table);
  void AfterPack(const std::string& directory, const std::string& table);
  void OnSetToBegin(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnSetToEnd(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnResetRange(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnReadRecord(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnGetRecordCount(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnSetToKey(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnGetRecordForKey(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnSetRange(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnGetBookmark(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnSetToBookmark(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnCompareBookmarks(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnExtractKey(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnCloneCursor(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnSetToCursor(TqdCoreConnection, Client&, const TqdServerRequest&);
  // core_records.cpp
  // WorkOnCursor for a change of the table: refused (10243) while a task
  // works on it.
  // A change of `rid` (none: an insert) is refused as well while a cursor
  // of another connection holds a lock that keeps it out.
  void ChangeThroughCursor(TqdCoreConnection c, Client& client, TqdMsgID msg, std::optional<int32_t> cursorId,
                           bool ofCurrentRecord, CursorWork work, CursorAfter after = {});
  CursorAfter RecordLockAfterChange(TqdCoreConnection c, int32_t cursorId, bool take);
  void OnInsertRecord(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnModifyRecord(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnDeleteRecord(TqdCoreConnection, Client&, const TqdServerRequest&);
  // core_blobs.cpp
  void OnCreateBlob(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnGetBlob(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnGetBlobSize(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnTruncateBlob(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnPutBlob(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnFreeBlob(TqdCoreConnection, Client&, const TqdServerRequest&);
  // core_transactions.cpp
  void OnBeginTran(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnEndTran(TqdCoreConnection, Client&, const TqdServerRequest&);
  // The client's open transaction on the database, or nullptr.
  static std::shared_ptr<TqdClientTransaction> TransactionOf(const Client& client, int32_t databaseId);
  // Rolls back and ends the transactions (of one database, or all); their
  // connections are closed on a worker, after the work under way.
  void DropTransactions(Client& client, std::optional<int32_t> databaseId = std::nullopt);
  void CloseTransactionLater(std::shared_ptr<TqdClientTransaction> txn);
  // A transaction of another connection has changed something in the
  // directory: its write lock keeps every other change out until it ends.
  bool WrittenByOthers(TqdCoreConnection c, const std::string& directory) const;
  // core_locks.cpp
  // A task works on the table, or a cursor of another connection holds a
  // lock on it.
  bool TableInUse(TqdCoreConnection c, const std::string& directory, const std::string& table);
  // Another connection holds a lock on the table, has it opened to itself,
  // or has written in the directory inside its transaction.
  bool HeldByOthers(TqdCoreConnection c, const std::string& directory, const std::string& table);
  std::string LockKeyOf(Client& client, const Cursor& cursor);
  // Whether a cursor other than `self` has the table open (only one opened
  // to itself, with `exclusiveOnly`).
  bool OpenElsewhere(const std::string& lockKey, TqdLockOwner self, bool exclusiveOnly);
  void OnAcqTableLock(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnRelTableLock(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnIsTableLocked(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnRelRecordLock(TqdCoreConnection, Client&, const TqdServerRequest&);
  // core_tasks.cpp
  void OnReindex(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnPack(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnAddIndex(TqdCoreConnection, Client&, const TqdServerRequest&);
  void OnTaskStatus(TqdCoreConnection, Client&, const TqdServerRequest&);
  // Starts a checked task for `owner`; the reply is its number, or 10244
  // beyond the caps. Called on a request worker.
  TqdJobResult StartTask(TqdCoreConnection owner, const std::string& directory, const std::string& table,
                         TqdTaskKind kind, TqdTaskClock::time_point asked, TqdTaskManager::Work work);
  void AnswerStatus(TqdCoreConnection c, Client& client, int32_t task, const TqdTaskStatusRecord& status);
  static bool HasNews(const Client& client, int32_t task, const TqdTaskStatusRecord& status);
  // Answers the parked polls that have news, or that waited kStatusWaitMs.
  void AnswerWaitingStatus(uint32_t now);
  void LogEndedTasks();

  const TqdServerConfig& config_;
  TqdCoreOutput& output_;
  LogFunction log_;
  std::vector<TqdAliasEntry> aliases_;  // the configured ones, then those added
  std::vector<std::string> roots_;      // where client paths may lead
  std::map<TqdMsgID, Handler> handlers_;
  std::map<TqdCoreConnection, Client> clients_;
  std::vector<WaitingStatus> waitingStatus_;
  std::deque<HeldLogin> heldLogins_;
  TqdLoginThrottle throttle_;
  int depth_ = 0;
  std::vector<TqdCoreConnection> pendingHangUps_;
  std::vector<TqdCoreConnection> pendingRemovals_;
  TqdCoreConnection nextConnection_ = 1;
  uint64_t nextSequence_ = 1;
  uint32_t nextClientId_ = 1;
  int32_t nextId_ = 1;  // sessions, databases and cursors
  uint32_t lastPurge_ = 0;
  uint32_t lastDeadlineCheck_ = 0;
  std::map<std::string, uint32_t> packGenerations_;  // PackKey -> packs ended
  TqdLockTable locks_;                              // by PackKey
  TqdStopSignal stop_;  // before the stores of the tasks and the workers
  TqdTaskManager tasks_;
  TqdRequestPool pool_;
};

}  // namespace qd
