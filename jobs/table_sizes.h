// The records of each table of an open database, from the server's table
// list (the size its rows carry): the weights of the run's estimate and
// the sizes --plan shows.
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qd {

class TqdDatabase;

// By table name. Raises EqdDatabaseError when the list cannot be read.
std::map<std::string, int64_t> ListTableSizes(TqdDatabase& database);

}  // namespace qd
