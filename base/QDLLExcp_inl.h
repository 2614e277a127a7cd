// Template bodies of the exception helpers.
#pragma once

#include "base/QDSRMgr.h"

namespace qd {

template <class E>
E CreateFromTable(const TqdStringResource& table, int32_t id) {
  return E(table.ReadText(id), id);
}

template <class E>
E CreateFromTableFmt(const TqdStringResource& table, int32_t id,
                     std::initializer_list<FormatArg> args) {
  return E(FormatEngineText(table.ReadText(id), args), id);
}

}  // namespace qd
