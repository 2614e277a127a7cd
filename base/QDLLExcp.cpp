#include "base/QDLLExcp.h"

#include "base/QDSRMgr.h"
#include "base/string_ids.h"

namespace qd {
namespace {

// Looked-up texts that go inside another message are cut to 255 characters.
std::string Cut255(std::string text) {
  if (text.size() > 255) text.resize(255);
  return text;
}

}  // namespace

EqdException EqdException::CreateFromTable(const TqdStringResource& table, int32_t id) {
  return qd::CreateFromTable<EqdException>(table, id);
}

EqdException EqdException::CreateFromTableFmt(const TqdStringResource& table, int32_t id,
                                              std::initializer_list<FormatArg> args) {
  return qd::CreateFromTableFmt<EqdException>(table, id, args);
}

EqdNetBIOSException EqdNetBIOSException::CreateForNetBIOSCode(int32_t code) {
  std::string text = Cut255(NetBIOSStrings().ReadText(code));
  return qd::CreateFromTableFmt<EqdNetBIOSException>(GeneralStrings(), gsNetBIOSUnexpectedError,
                                                 {code, text});
}

EqdWinsockException EqdWinsockException::CreateForWinsockCode(int32_t code) {
  std::string text = Cut255(WinsockStrings().ReadText(code));
  return qd::CreateFromTableFmt<EqdWinsockException>(GeneralStrings(), gsWinsockUnexpectedError,
                                                 {code, code, text});
}

EqdDatabaseError EqdDatabaseError::CreateForCode(uint16_t code) {
  std::string text = ResultCodeText(code);
  return EqdDatabaseError(
      FormatEngineText(DatasetErrorStrings().ReadText(dsErrorWithCode), {text, code, code}), code);
}

EqdDatabaseError EqdDatabaseError::CreateWithMessage(std::string_view text) {
  return EqdDatabaseError(
      FormatEngineText(DatasetErrorStrings().ReadText(dsErrorNoCode), {text}), 0);
}

namespace {

// How a component is named in a message.
std::string ComponentLabel(const ComponentIdentity* component) {
  if (component == nullptr) return DatasetErrorStrings().ReadText(dsNilPointer);
  if (component->Name.empty())
    return FormatEngineText(DatasetErrorStrings().ReadText(dsUnnamedInstance), {component->ClassName});
  return component->Name;
}

}  // namespace

EqdDatabaseError EqdDatabaseError::CreateForComponent(const ComponentIdentity* component,
                                                      std::string_view text) {
  return EqdDatabaseError(
      FormatEngineText(DatasetErrorStrings().ReadText(dsComponentErrorNoCode), {ComponentLabel(component), text}), 0);
}

EqdDatabaseError EqdDatabaseError::CreateForComponentCode(const ComponentIdentity* component,
                                                          std::string_view text, uint16_t code) {
  std::string cause = ResultCodeText(code);
  std::string full = ComponentLabel(component) + ": " + std::string(text) + (cause.empty() ? "" : ": " + cause);
  return EqdDatabaseError(FormatEngineText(DatasetErrorStrings().ReadText(dsErrorWithCode), {full, code, code}),
                          code);
}

void CheckResult(int32_t code) {
  uint16_t low = static_cast<uint16_t>(code & 0xFFFF);
  if (low != 0) throw EqdDatabaseError::CreateForCode(low);
}

uint16_t GetResultCodeText(int32_t code, char* buffer) {
  ResultCodeStrings().ReadTextInto(static_cast<uint16_t>(code & 0xFFFF), buffer,
                                   kResultCodeTextCapacity);
  return 0;
}

std::string ResultCodeText(int32_t code) {
  char buffer[kResultCodeTextCapacity];
  GetResultCodeText(code, buffer);
  return buffer;
}

}  // namespace qd
