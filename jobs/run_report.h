// The JSON report of a run: its arguments, server, start and end, outcome
// and one entry per object (a pack or an index rebuild). Written whole to a
// temporary file beside the target, synced and renamed over it, so a reader
// (or a run cut short) sees the last complete report, never a torn one.
// Read back for --resume as untrusted input: size-capped and type-checked.
// Thread rules: none; plain values and files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qd {

inline constexpr const char* kEntryDone = "done";
inline constexpr const char* kEntryFailed = "failed";
// Polling stopped by Ctrl-C; the task goes on to its end on the server.
inline constexpr const char* kEntryInterrupted = "interrupted";
inline constexpr const char* kPackIndexName = "pack";
// The entry of a table whose index list could not be read.
inline constexpr const char* kIndexListName = "index list";
// A report file larger than this is not read.
inline constexpr uintmax_t kMaxReportBytes = 64u << 20;

struct TqdReportEntry {
  std::string Alias;
  std::string Table;
  std::optional<int32_t> IndexNumber;  // none for a pack
  std::string Index;                   // the index name, or "pack"
  int32_t Task = -1;
  std::string Start;
  std::string End;
  double Seconds = 0;
  int32_t Result = 0;  // the result code, 0 when done
  std::string Message;
  std::string State = kEntryDone;

  bool IsPack() const { return !IndexNumber.has_value() && Index == kPackIndexName; }
  bool IsIndexList() const { return !IndexNumber.has_value() && Index == kIndexListName; }
};

// What a resumed run must share with the report it resumes.
struct TqdReportScope {
  std::string Alias;
  std::string Table;
  std::string Index;
  bool Pack = false;
  friend bool operator==(const TqdReportScope&, const TqdReportScope&) = default;
};

struct TqdRunReport {
  TqdReportScope Scope;
  bool KeepGoing = false;
  std::optional<double> TimeLimitSeconds;
  std::vector<std::string> Arguments;
  std::string Server;
  std::string Start;
  std::string End;  // empty while the run goes on
  std::string Outcome;
  int ExitCode = 0;
  std::string Message;
  std::vector<TqdReportEntry> Entries;
};

std::string ReportToJson(const TqdRunReport& report);
// Nothing and a reason when the text is no report.
std::optional<TqdRunReport> ReportFromJson(const std::string& text, std::string& error);

// False with a reason when the file could not be written; the old file
// (if any) is then left as it was.
bool WriteReportFile(const std::string& path, const TqdRunReport& report, std::string& error);
std::optional<TqdRunReport> ReadReportFile(const std::string& path, std::string& error);

// Now, as "2026-12-10T07:35:01.250Z".
std::string UtcTimestamp();

}  // namespace qd
