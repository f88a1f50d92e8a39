// What the registry functions share: reading key handles and texts from the arguments, the
// subkey[value] path, the choice of registry view, opening a subkey for one call, and the text
// results.
#ifndef KEL_FUNCTIONS_REGISTRY_REGISTRY_SUPPORT_H
#define KEL_FUNCTIONS_REGISTRY_REGISTRY_SUPPORT_H

#include <cstdint>
#include <string>

#include "lang/value.h"
#include "platform/registry.h"

namespace kel {

struct BatchContext;

// The key a script's handle names (the predefined roots are negative 32-bit numbers, widened
// with their sign as the system's handles are).
inline platform::RegistryKey KeyOf(const EvalValue& argument) {
  return static_cast<platform::RegistryKey>(argument.value.intValue);
}
// The script's number for a key the system gave out.
inline std::int32_t HandleOf(platform::RegistryKey key) {
  return static_cast<std::int32_t>(key);
}

// A text argument as UTF-16; false with the conversion's error.
bool KeyText(BatchContext& context, EvalValue& argument, std::u16string* text);
// A text result: UTF-16 where the system prefers it, else ANSI in the script's code page.
void SetKeyTextResult(BatchContext& context, EvalValue& result, const std::u16string& text);

// A subkey[value] argument taken apart: "Software\Test[Name]", "Software\Test\[Name]",
// "[Name]" (the handle's own key) or "Software\Test" (its default value).
struct KeyPath {
  std::u16string subkey;
  std::u16string value;
};
// False with 1402 for a value name without its closing bracket at the end, 1460 for a subkey
// that is too long.
bool SplitKeyPath(BatchContext& context, const std::u16string& text, KeyPath* path);

// The view bits of the access mask for a key opened beneath `parent`, from a call's view
// argument (0 the default setting, 32 or 64). False with 1822 for another argument, and with
// 1458 when a view asked for explicitly meets a subkey that names the 32-bit view's own
// branch.
bool ViewBits(BatchContext& context, std::int32_t viewArgument, platform::RegistryKey parent,
              const std::u16string& subkey, std::uint32_t* bits);

// A key opened for the length of one call: the subkey when there is one (closed again when the
// object goes), else the handle itself.
class TemporaryKey {
 public:
  TemporaryKey() = default;
  TemporaryKey(const TemporaryKey&) = delete;
  TemporaryKey& operator=(const TemporaryKey&) = delete;
  ~TemporaryKey();
  // Opens `subkey` with `access`, creating it when `create`; an empty subkey uses `parent`.
  // False with `failure` set when the key cannot be had (0: no error, the caller answers).
  bool Open(BatchContext& context, platform::RegistryKey parent, const std::u16string& subkey,
            std::uint32_t access, bool create, std::uint32_t failure);
  platform::RegistryKey key() const { return key_; }

 private:
  platform::RegistryKey key_ = 0;
  bool owned_ = false;
};

// The view a key was opened in (a key opened beneath it inherits it).
std::int32_t ViewOf(const BatchContext& context, platform::RegistryKey key);
// Remembers a key the script opened, with its view; false with 1588 (and the key closed again)
// when the table cannot grow.
bool RememberKey(BatchContext& context, platform::RegistryKey key, std::int32_t view);

}  // namespace kel

#endif  // KEL_FUNCTIONS_REGISTRY_REGISTRY_SUPPORT_H
