#include "jobs/run_report.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <climits>

namespace qd {
namespace {

using Json = nlohmann::ordered_json;

// A field the report cannot hold; nlohmann would cast a too large or
// fractional number silently.
struct TqdBadField : std::runtime_error {
  using std::runtime_error::runtime_error;
};

int32_t Int32(const Json& j, const char* key) {
  const Json& value = j.at(key);
  if (!value.is_number_integer()) throw TqdBadField(std::string(key) + " is not an integer");
  if (value.is_number_unsigned() ? value.get<uint64_t>() > static_cast<uint64_t>(INT32_MAX)
                                 : value.get<int64_t>() < INT32_MIN || value.get<int64_t>() > INT32_MAX)
    throw TqdBadField(std::string(key) + " is out of range");
  return static_cast<int32_t>(value.get<int64_t>());
}

Json EntryToJson(const TqdReportEntry& e) {
  return Json{{"alias", e.Alias},     {"table", e.Table},
              {"index_number", e.IndexNumber ? Json(*e.IndexNumber) : Json(nullptr)},
              {"index", e.Index},     {"task", e.Task},
              {"start", e.Start},     {"end", e.End},
              {"seconds", e.Seconds}, {"result", e.Result},
              {"message", e.Message}, {"state", e.State}};
}

// Throws nlohmann::json::exception on a missing field or a wrong type.
TqdReportEntry EntryFromJson(const Json& j) {
  TqdReportEntry e;
  e.Alias = j.at("alias").get<std::string>();
  e.Table = j.at("table").get<std::string>();
  if (!j.at("index_number").is_null()) e.IndexNumber = Int32(j, "index_number");
  e.Index = j.at("index").get<std::string>();
  e.Task = Int32(j, "task");
  e.Start = j.at("start").get<std::string>();
  e.End = j.at("end").get<std::string>();
  e.Seconds = j.at("seconds").get<double>();
  e.Result = Int32(j, "result");
  e.Message = j.at("message").get<std::string>();
  e.State = j.at("state").get<std::string>();
  return e;
}

bool Fail(std::string& error, const std::string& what, const std::string& path) {
  error = what + " " + path + ": " + std::strerror(errno);
  return false;
}

}  // namespace

std::string ReportToJson(const TqdRunReport& r) {
  Json entries = Json::array();
  for (const TqdReportEntry& e : r.Entries) entries.push_back(EntryToJson(e));
  Json j{{"program", "qd-reindex"},
         {"arguments",
          {{"alias", r.Scope.Alias},
           {"table", r.Scope.Table},
           {"index", r.Scope.Index},
           {"pack", r.Scope.Pack},
           {"keep_going", r.KeepGoing},
           {"time_limit", r.TimeLimitSeconds ? Json(*r.TimeLimitSeconds) : Json(nullptr)},
           {"command_line", r.Arguments}}},
         {"server", r.Server},
         {"start", r.Start},
         {"end", r.End},
         {"outcome", r.Outcome},
         {"exit_code", r.ExitCode},
         {"message", r.Message},
         {"entries", std::move(entries)}};
  return j.dump(2) + "\n";
}

std::optional<TqdRunReport> ReportFromJson(const std::string& text, std::string& error) {
  try {
    Json j = Json::parse(text);
    const Json& a = j.at("arguments");
    TqdRunReport r;
    r.Scope = {a.at("alias").get<std::string>(), a.at("table").get<std::string>(), a.at("index").get<std::string>(),
               a.at("pack").get<bool>()};
    r.KeepGoing = a.at("keep_going").get<bool>();
    if (!a.at("time_limit").is_null()) r.TimeLimitSeconds = a.at("time_limit").get<double>();
    r.Arguments = a.at("command_line").get<std::vector<std::string>>();
    r.Server = j.at("server").get<std::string>();
    r.Start = j.at("start").get<std::string>();
    r.End = j.at("end").get<std::string>();
    r.Outcome = j.at("outcome").get<std::string>();
    r.ExitCode = Int32(j, "exit_code");
    r.Message = j.at("message").get<std::string>();
    for (const Json& e : j.at("entries")) r.Entries.push_back(EntryFromJson(e));
    return r;
  } catch (const std::exception& e) {  // Json::exception or TqdBadField
    error = std::string("not a qd-reindex report: ") + e.what();
    return std::nullopt;
  }
}

bool WriteReportFile(const std::string& path, const TqdRunReport& report, std::string& error) {
  std::string text = ReportToJson(report);
  std::filesystem::path target(path);
  std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  if (target.parent_path().empty()) pattern = "." + target.filename().string() + ".XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) return Fail(error, "cannot write the report beside", path);
  size_t written = 0;
  while (written < text.size()) {
    ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  // The data must be on disk before the rename makes it the report.
  bool ok = written == text.size() && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok) ok = rename(pattern.c_str(), path.c_str()) == 0;
  if (!ok) {
    Fail(error, "cannot write the report", path);
    unlink(pattern.c_str());
  }
  return ok;
}

std::optional<TqdRunReport> ReadReportFile(const std::string& path, std::string& error) {
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    error = "cannot read the report " + path + ": " + ec.message();
    return std::nullopt;
  }
  if (size > kMaxReportBytes) {
    error = "the report " + path + " is too large to be one";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) {
    error = "cannot read the report " + path;
    return std::nullopt;
  }
  std::optional<TqdRunReport> report = ReportFromJson(text.str(), error);
  if (!report) error = path + ": " + error;
  return report;
}

std::string UtcTimestamp() {
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms));
  return text;
}

}  // namespace qd
