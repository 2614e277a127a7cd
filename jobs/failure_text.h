// The words a front end shows for a failure: the exception's message, with
// words of our own where the message table has no text for the code (the
// server's 11276 reads "Quilldrive:  [$2C0C/11276]" otherwise). The message
// tables themselves stay as they are.
// Thread rules: none; plain functions.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace qd {

// Words for a code whose message table text is empty; empty for the others.
std::string WordsForSilentCode(uint16_t code);

// e.what(), or for an EqdDatabaseError made from a silent code the same
// message with our words where the table's text would stand.
std::string FailureText(const std::exception& e);

}  // namespace qd
