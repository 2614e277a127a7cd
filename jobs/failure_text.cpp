#include "jobs/failure_text.h"

#include "base/QDLLExcp.h"
#include "base/QDSRMgr.h"
#include "base/format.h"
#include "base/result_codes.h"
#include "base/string_ids.h"

namespace qd {

std::string WordsForSilentCode(uint16_t code) {
  if (code == 0 || !ResultCodeText(code).empty()) return {};
  if (code == qdErrNetTimeout) return "no reply from the server, or the connection was lost";
  return "the message table has no text for this code";
}

std::string FailureText(const std::exception& e) {
  const auto* failure = dynamic_cast<const EqdDatabaseError*>(&e);
  if (failure == nullptr) return e.what();
  std::string words = WordsForSilentCode(failure->ErrorCode);
  // Only the plain message of the code; a message with more in it (a
  // component's name, a session's) is kept whole.
  if (words.empty() || EqdDatabaseError::CreateForCode(failure->ErrorCode).Message() != e.what()) return e.what();
  return FormatEngineText(DatasetErrorStrings().ReadText(dsErrorWithCode),
                          {words, failure->ErrorCode, failure->ErrorCode});
}

}  // namespace qd
