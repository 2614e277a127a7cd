// The open-table reply a server would send for the table Orders, shared by
// the record tests and the bad-reply tests.
// Thread rules: none.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/stream.h"
#include "dict/QDLLDict.h"
#include "tests/support/orders_dictionary.h"

namespace qd::test {

inline std::vector<uint8_t> DictionaryBytes(TqdDataDictionary& dict) {
  TqdMemoryStream stream;
  dict.SaveToStream(stream);
  return {stream.Bytes().begin(), stream.Bytes().end()};
}

inline void AppendWord(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Cursor id, the Orders dictionary's stream, the index id.
inline std::vector<uint8_t> OpenTableReply(int32_t cursorId, int32_t indexId) {
  std::vector<uint8_t> reply;
  AppendWord(reply, static_cast<uint32_t>(cursorId));
  std::vector<uint8_t> dict = DictionaryBytes(*OrdersDictionary());
  reply.insert(reply.end(), dict.begin(), dict.end());
  AppendWord(reply, static_cast<uint32_t>(indexId));
  return reply;
}

}  // namespace qd::test
