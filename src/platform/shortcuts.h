// Shell shortcuts (".lnk" files, and folder shortcuts) through the Windows shell's link
// object, and the paths of the shell's special folders. Windows only: elsewhere every service
// answers "unavailable".
#ifndef KEL_PLATFORM_SHORTCUTS_H
#define KEL_PLATFORM_SHORTCUTS_H

#include <cstdint>
#include <optional>
#include <string>

namespace kel::platform {

// What a shortcut holds. The hot key is the system's word: the virtual key in the low byte,
// the modifiers (1 Shift, 2 Ctrl, 4 Alt) in the high byte.
struct ShortcutFields {
  std::u16string target, arguments, directory, description, iconFile;
  int showCommand = 0;
  int iconIndex = 0;
  std::uint16_t hotKey = 0;
};

// The fields to change; those without a value stay as they are.
struct ShortcutChanges {
  std::optional<std::u16string> target, arguments, directory, description, iconFile;
  std::optional<int> showCommand;
  std::optional<std::uint16_t> hotKey;
  int iconIndex = 0;
};

enum class ShortcutStatus {
  Done,
  Unavailable,      // no shell link object on this system
  ComFailed,        // the component services could not be started
  CreateFailed,     // the link object could not be created
  InterfaceFailed,  // it does not offer the file interface
  LoadFailed,       // the file could not be loaded
  ReadFailed,       // a field could not be read
  SaveFailed,       // the file could not be saved
};

// Whether the system has the shell's link object at all.
bool ShortcutsAvailable();
// Reads a shortcut file (`folder`: a folder shortcut).
ShortcutStatus ReadShortcut(const std::u16string& file, bool folder, ShortcutFields* fields);
// Applies `changes` to a new shortcut (`existing` false) or to the one in `file`, and saves it
// there.
ShortcutStatus WriteShortcut(const std::u16string& file, bool folder, bool existing,
                             const ShortcutChanges& changes);

// The path of a special folder by its shell name ("Desktop", "Programs", "Personal", ...),
// for the current user or (`allUsers`) the one shared by all users; "" when there is none.
std::u16string SpecialFolderPath(const std::u16string& name, bool allUsers);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_SHORTCUTS_H
