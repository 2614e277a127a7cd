// Finding what the command line names among what the server lists: an
// alias or table by its name (exactly, else ignoring ASCII case, as the
// server compares names), an index by its name or its number.
// Thread rules: none; plain functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "components/index_entry.h"

namespace qd {

std::optional<size_t> FindName(const std::vector<std::string>& names, const std::string& name);
// A name first: an index may well be named "2".
std::optional<size_t> FindIndex(const std::vector<TqdIndexEntry>& entries, const std::string& nameOrNumber);

}  // namespace qd
