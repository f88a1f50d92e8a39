// Shell shortcuts and special folders exist only on Windows.
#include "platform/shortcuts.h"

namespace kel::platform {

bool ShortcutsAvailable() {
  return false;
}

ShortcutStatus ReadShortcut(const std::u16string&, bool, ShortcutFields*) {
  return ShortcutStatus::Unavailable;
}

ShortcutStatus WriteShortcut(const std::u16string&, bool, bool, const ShortcutChanges&) {
  return ShortcutStatus::Unavailable;
}

std::u16string SpecialFolderPath(const std::u16string&, bool) {
  return std::u16string();
}

}  // namespace kel::platform
