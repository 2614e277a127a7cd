// The engine's exception family and the way each builds its message from the
// string tables; CheckResult, which turns a non-zero result code into
// EqdDatabaseError for the components.
// Thread rules: exceptions are created on the thread that detects the error.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/format.h"

namespace qd {

class TqdStringResource;

// The framework's base exception: a message and a help context.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }
  int HelpContext = 0;

 private:
  std::string message_;
};

class EqdStringResourceError : public Exception {
 public:
  using Exception::Exception;
};

// ErrorCode is the number of the text that built the message.
class EqdException : public Exception {
 public:
  EqdException(std::string message, int32_t errorCode)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  static EqdException CreateFromTable(const TqdStringResource& table, int32_t id);
  static EqdException CreateFromTableFmt(const TqdStringResource& table, int32_t id,
                                         std::initializer_list<FormatArg> args);
  int32_t ErrorCode;
};

class EqdCommsException : public EqdException {
 public:
  using EqdException::EqdException;
};

class EqdNetBIOSException : public EqdCommsException {
 public:
  using EqdCommsException::EqdCommsException;
  static EqdNetBIOSException CreateForNetBIOSCode(int32_t code);
};

class EqdWinsockException : public EqdCommsException {
 public:
  using EqdCommsException::EqdCommsException;
  static EqdWinsockException CreateForWinsockCode(int32_t code);
};

class EqdClientException : public EqdException {
 public:
  using EqdException::EqdException;
};

// The message of a table text, as any class of the EqdException family.
template <class E>
E CreateFromTable(const TqdStringResource& table, int32_t id);
template <class E>
E CreateFromTableFmt(const TqdStringResource& table, int32_t id,
                     std::initializer_list<FormatArg> args);

template <class E>
[[noreturn]] void RaiseTableError(const TqdStringResource& table, int32_t id) {
  throw CreateFromTable<E>(table, id);
}
template <class E>
[[noreturn]] void RaiseTableErrorFmt(const TqdStringResource& table, int32_t id,
                                     std::initializer_list<FormatArg> args) {
  throw CreateFromTableFmt<E>(table, id, args);
}

// The framework's database exception.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// What an error message needs to know of a component.
struct ComponentIdentity {
  std::string Name;
  std::string ClassName;
};

class EqdDatabaseError : public EDatabaseError {
 public:
  EqdDatabaseError(std::string message, uint16_t errorCode)
      : EDatabaseError(std::move(message)), ErrorCode(errorCode) {}
  // "Quilldrive: <text of code> [$<hex>/<decimal>]"
  static EqdDatabaseError CreateForCode(uint16_t code);
  // "Quilldrive: <text> [no error code]"
  static EqdDatabaseError CreateWithMessage(std::string_view text);
  // "Quilldrive: <name>: <text> [no error code]"; nullptr is a nil component.
  static EqdDatabaseError CreateForComponent(const ComponentIdentity* component,
                                             std::string_view text);
  // "Quilldrive: <name>: <text>: <text of code> [$<hex>/<decimal>]": a
  // component's failure whose cause has a code, which the error carries.
  // A code without a text adds nothing after <text>.
  static EqdDatabaseError CreateForComponentCode(const ComponentIdentity* component,
                                                 std::string_view text, uint16_t code);
  uint16_t ErrorCode;  // 0 when the error has no code
};

// Raises EqdDatabaseError for a code whose low 16 bits are not 0.
void CheckResult(int32_t code);

// Raises CreateForComponent for any object with Name() and ClassName().
template <class Component>
[[noreturn]] void RaiseComponentError(const Component* component, std::string_view text) {
  if (component == nullptr) throw EqdDatabaseError::CreateForComponent(nullptr, text);
  ComponentIdentity identity{std::string(component->Name()), std::string(component->ClassName())};
  throw EqdDatabaseError::CreateForComponent(&identity, text);
}

// Raises CreateForComponentCode for any object with Name() and ClassName().
template <class Component>
[[noreturn]] void RaiseComponentErrorWithCode(const Component* component, std::string_view text,
                                              uint16_t code) {
  if (component == nullptr) throw EqdDatabaseError::CreateForComponentCode(nullptr, text, code);
  ComponentIdentity identity{std::string(component->Name()), std::string(component->ClassName())};
  throw EqdDatabaseError::CreateForComponentCode(&identity, text, code);
}

// The message of a result code, cut to fit 128 bytes with its terminator;
// `buffer` must hold 128 bytes. Returns result code 0.
inline constexpr size_t kResultCodeTextCapacity = 128;
uint16_t GetResultCodeText(int32_t code, char* buffer);
std::string ResultCodeText(int32_t code);

}  // namespace qd

#include "base/QDLLExcp_inl.h"
