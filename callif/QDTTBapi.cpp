#include "callif/QDTTBapi.h"

#include <mutex>
#include <string>
#include <unordered_set>

#include "base/QDSRMgr.h"
#include "base/format.h"
#include "base/string_ids.h"
#include "platform/hooks.h"

namespace qd {

namespace {

thread_local TqdResult threadLastError = qdOK;

// The addresses of the live objects, as their TttBapiListItem base.
struct LiveRegistry {
  std::mutex mutex;
  std::unordered_set<const void*> objects;
};
LiveRegistry& Registry() {
  static LiveRegistry* registry = new LiveRegistry;  // outlives every static object
  return *registry;
}

constexpr size_t kCaptionCapacity = 255;

}  // namespace

TttBapiListItem::TttBapiListItem(TttCollectionItem* parent, TttCollection* collection)
    : TttCollectionItem(parent, collection) {
  std::lock_guard lock(Registry().mutex);
  Registry().objects.insert(static_cast<const void*>(this));
}

TttBapiListItem::~TttBapiListItem() {
  std::lock_guard lock(Registry().mutex);
  Registry().objects.erase(static_cast<const void*>(this));
}

TqdResult TttBapiListItem::GetProp(uint32_t, void*, uint16_t&, uint16_t) { return NotSupportedQuietly(); }
TqdResult TttBapiListItem::SetProp(uint32_t, uint32_t) { return SetResult(qdOK); }
TqdResult TttBapiListItem::ValidateProp(uint32_t, bool) { return SetResult(qdOK); }

TqdResult TttBapiListItem::SetResult(TqdResult code) {
  result_ = code;
  if (code != qdOK) threadLastError = code;
  return code;
}

TqdResult TttBapiListItem::NotSupported(std::string_view operation) {
  if (!operation.empty()) {
    std::string caption = ClientStrings().ReadText(csSystemMessageCaption);
    if (caption.size() > kCaptionCapacity) caption.resize(kCaptionCapacity);
    std::string text = FormatEngineText(ClientStrings().ReadText(csBDERoutineNotSupported), {operation});
    ShowMessageBox(caption, text);
  }
  return SetResult(qdErrNotSupported);
}

TqdResult TttBapiListItem::NotSupportedQuietly() { return SetResult(qdErrNotSupported); }

TqdResult ThreadLastError() { return threadLastError; }

bool IsLiveObject(hDBIObj handle) { return LiveItem(handle) != nullptr; }

TttBapiListItem* LiveItem(hDBIObj handle) {
  if (handle == nullptr) return nullptr;
  std::lock_guard lock(Registry().mutex);
  if (Registry().objects.count(handle) == 0) return nullptr;
  return static_cast<TttBapiListItem*>(handle);
}

}  // namespace qd
