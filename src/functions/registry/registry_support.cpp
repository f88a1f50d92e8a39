// The helpers of the registry functions: arguments, paths, views and keys held for one call.
#include "functions/registry/registry_support.h"

#include <vector>

#include "core/batch_context.h"
#include "core/process_state.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/files/file_lists.h"
#include "functions/strings/text_units.h"

namespace kel {
namespace {

// The longest subkey the path parser takes: a line's work buffer less its terminator.
constexpr std::size_t kLongestSubkey = kLineBufferBytes - 1;

// Whether `text` holds `upperWord` (upper case ASCII), compared without regard to case.
bool ContainsWord(const std::u16string& text, const char* upperWord) {
  std::u16string upper = text;
  platform::UpperWideText(upper.data(), upper.size());
  return upper.find(std::u16string(upperWord, upperWord + std::char_traits<char>::length(
                                                              upperWord))) != std::u16string::npos;
}

}  // namespace

bool KeyText(BatchContext& context, EvalValue& argument, std::u16string* text) {
  return NameArgument(context, argument, text);
}

void SetKeyTextResult(BatchContext& context, EvalValue& result, const std::u16string& text) {
  if (Process().system.unicodePlatform) {
    SetTextResult<char16_t>(context, result, text.data(), text.size());
    return;
  }
  // A double-byte code page takes at most two bytes a unit.
  std::vector<char> ansi(text.size() * 2 + 1);
  int length = text.empty() ? 0
                            : platform::WideToAnsi(context.codePage, text.data(), text.size(),
                                                   ansi.data(), ansi.size());
  SetTextResult<char>(context, result, ansi.data(),
                      length < 0 ? 0 : static_cast<std::size_t>(length));
}

bool SplitKeyPath(BatchContext& context, const std::u16string& text, KeyPath* path) {
  std::size_t open = text.find(u'[');
  if (open == std::u16string::npos) {
    path->subkey = text;
    path->value.clear();
  } else {
    if (text.back() != u']' || text.size() - 1 <= open) {
      SetError(context, kErrRegBadDataItem);
      return false;
    }
    path->subkey = text.substr(0, open);
    if (!path->subkey.empty() && path->subkey.back() == u'\\') path->subkey.pop_back();
    path->value = text.substr(open + 1, text.size() - open - 2);
  }
  if (path->subkey.size() > kLongestSubkey) {
    SetError(context, kErrRegSubkeyTooLong);
    return false;
  }
  return true;
}

bool ViewBits(BatchContext& context, std::int32_t viewArgument, platform::RegistryKey parent,
              const std::u16string& subkey, std::uint32_t* bits) {
  *bits = 0;
  if (viewArgument != 0 && viewArgument != 32 && viewArgument != 64) {
    SetError(context, kErrInvalidFlags);
    return false;
  }
  const std::int32_t parentView = ViewOf(context, parent);
  // A system with one view has nothing to choose, unless the key is a 64-bit remote one; a key
  // of a remote 32-bit system has one view too.
  if (!platform::SixtyFourBitSystem() && parentView != kViewRemote64) return true;
  if (parentView == kViewRemote32) return true;
  bool explicitView = false;
  switch (viewArgument != 0 ? viewArgument : context.registry.defaultView) {
    case 1:
      *bits = platform::kKeyView32;
      break;
    case 32:
      *bits = platform::kKeyView32;
      explicitView = true;
      break;
    case 64:
      *bits = platform::kKeyView64;
      explicitView = true;
      break;
    default:
      *bits = platform::kKeyView64;
      break;
  }
  // With a view asked for, naming the 32-bit view's branch by hand would mix the two.
  if (explicitView && ContainsWord(subkey, "WOW6432NODE")) {
    SetError(context, kErrRegWow6432Node);
    return false;
  }
  return true;
}

TemporaryKey::~TemporaryKey() {
  if (owned_) platform::CloseRegistryKey(key_);
}

bool TemporaryKey::Open(BatchContext& context, platform::RegistryKey parent,
                        const std::u16string& subkey, std::uint32_t access, bool create,
                        std::uint32_t failure) {
  if (subkey.empty()) {
    key_ = parent;
    return true;
  }
  platform::RegistryStatus status = create
                                        ? platform::CreateRegistryKey(parent, subkey, access, &key_)
                                        : platform::OpenRegistryKey(parent, subkey, access, &key_);
  if (status != platform::kRegistryOk) {
    if (failure != 0) SetError(context, failure);
    return false;
  }
  owned_ = true;
  return true;
}

std::int32_t ViewOf(const BatchContext& context, platform::RegistryKey key) {
  return RegistryViewOf(context.registry, HandleOf(key));
}

bool RememberKey(BatchContext& context, platform::RegistryKey key, std::int32_t view) {
  if (RememberRegistryKey(context.registry, HandleOf(key), view)) return true;
  platform::CloseRegistryKey(key);
  SetError(context, kErrUnableToAllocate);
  return false;
}

}  // namespace kel
