// TttBapiListItem: the base of every object the call interface hands out
// under a handle (client engine, sessions, databases, cursors). It keeps the
// result code of the object's last operation, records each non-zero result
// as the calling thread's last error, and gives the not-supported answer.
//
// Every live object of this kind is registered, so that a handle can be
// checked before it is used: a handle that names no live object, or an
// object of the wrong kind, is refused (9990) instead of being used after
// it was freed.
// Thread rules: an object is used by one thread at a time; the registry
// and the last error are safe from any thread.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/result_codes.h"
#include "callif/QDTTColl.h"

namespace qd {

// The handles of the call interface: the objects themselves, opaque to
// callers. Resolve them with LiveObject<T>().
using hDBIObj = void*;
using hDBISes = void*;
using hDBIDb = void*;
using hDBICur = void*;

class TttBapiListItem : public TttCollectionItem {
 public:
  TttBapiListItem(TttCollectionItem* parent, TttCollection* collection);
  ~TttBapiListItem() override;

  virtual TqdResult GetProp(uint32_t property, void* buffer, uint16_t& length, uint16_t bufferSize);
  virtual TqdResult SetProp(uint32_t property, uint32_t value);
  virtual TqdResult ValidateProp(uint32_t property, bool forWriting);

  TqdResult Result() const { return result_; }
  bool ResultOK() const { return result_ == qdOK; }
  // Stores the code; a non-zero one is also the thread's last error.
  TqdResult SetResult(TqdResult code);
  // Shows "A BDE routine is not supported [Class.Method]." and answers 12289.
  TqdResult NotSupported(std::string_view operation);
  TqdResult NotSupportedQuietly();

  // The handle of this object, as callers hold it.
  hDBIObj Handle() { return static_cast<TttBapiListItem*>(this); }

 private:
  TqdResult result_ = qdOK;
};

// The calling thread's last non-zero result (0 until one was set).
TqdResult ThreadLastError();

// True while `handle` names a live object.
bool IsLiveObject(hDBIObj handle);
// The live object of kind T that `handle` names, or nullptr.
TttBapiListItem* LiveItem(hDBIObj handle);
template <class T>
T* LiveObject(hDBIObj handle) {
  return dynamic_cast<T*>(LiveItem(handle));
}

}  // namespace qd
