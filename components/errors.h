// How the components word their failures: texts of the dataset string table,
// raised as EqdDatabaseError with the component (its Name, or "<unnamed
// ... instance>") or as a bare message.
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "base/QDLLExcp.h"
#include "base/format.h"
#include "base/string_ids.h"
#include "framework/component.h"

namespace qd {

std::string DatasetText(int32_t id, std::initializer_list<FormatArg> args = {});
// "Quilldrive: <component>: <text> [no error code]"
[[noreturn]] void RaiseNodeError(const TqdComponent* component, int32_t id,
                                 std::initializer_list<FormatArg> args = {});
// "Quilldrive: <text> [no error code]"
[[noreturn]] void RaiseDatasetMessage(int32_t id, std::initializer_list<FormatArg> args = {});

}  // namespace qd
