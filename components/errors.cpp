#include "components/errors.h"

#include "base/QDSRMgr.h"

namespace qd {

std::string DatasetText(int32_t id, std::initializer_list<FormatArg> args) {
  return FormatEngineText(DatasetErrorStrings().ReadText(id), args);
}

void RaiseNodeError(const TqdComponent* component, int32_t id, std::initializer_list<FormatArg> args) {
  RaiseComponentError(component, DatasetText(id, args));
}

void RaiseDatasetMessage(int32_t id, std::initializer_list<FormatArg> args) {
  throw EqdDatabaseError::CreateWithMessage(DatasetText(id, args));
}

}  // namespace qd
