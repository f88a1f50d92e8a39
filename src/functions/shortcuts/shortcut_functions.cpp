// The shortcut functions: making, changing and reading the shell's shortcut files (".lnk",
// and folder shortcuts), and the paths of the shell's special folders. A field argument that
// is empty leaves the field as it is; "-1" empties it.
#include <optional>
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/files/file_lists.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "platform/platform.h"
#include "platform/shortcuts.h"

namespace kel {
namespace {

constexpr char16_t kClearField[] = u"-1";
// The modifier bits of a hot key's high byte, and their signs in the keystroke notation.
constexpr std::uint16_t kHotKeyShift = 0x100;
constexpr std::uint16_t kHotKeyControl = 0x200;
constexpr std::uint16_t kHotKeyAlt = 0x400;

struct NamedKey {
  const char16_t* name;
  std::uint8_t virtualKey;
};

// The keys written in braces; F1 .. F24 are worked out.
constexpr NamedKey kNamedKeys[] = {
    {u"BACKSPACE", 0x08}, {u"BS", 0x08},    {u"TAB", 0x09},    {u"ENTER", 0x0D}, {u"ESCAPE", 0x1B},
    {u"ESC", 0x1B},       {u"SPACE", 0x20}, {u"PGUP", 0x21},   {u"PGDN", 0x22},  {u"END", 0x23},
    {u"HOME", 0x24},      {u"LEFT", 0x25},  {u"UP", 0x26},     {u"RIGHT", 0x27}, {u"DOWN", 0x28},
    {u"INSERT", 0x2D},    {u"INS", 0x2D},   {u"DELETE", 0x2E}, {u"DEL", 0x2E},
};
constexpr std::uint8_t kFirstFunctionKey = 0x70;

std::u16string Upper(std::u16string text) {
  platform::UpperWideText(text.data(), text.size());
  return text;
}

// A hot key in the keystroke notation: "^" Ctrl, "+" Shift and "!" Alt before one letter or
// digit, or a key name in braces ("^!{F5}").
bool ParseHotKey(const std::u16string& text, std::uint16_t* hotKey) {
  std::uint16_t modifiers = 0;
  std::size_t at = 0;
  for (; at < text.size(); ++at) {
    if (text[at] == u'^')
      modifiers |= kHotKeyControl;
    else if (text[at] == u'+')
      modifiers |= kHotKeyShift;
    else if (text[at] == u'!')
      modifiers |= kHotKeyAlt;
    else
      break;
  }
  std::u16string key = Upper(text.substr(at));
  std::uint8_t virtualKey = 0;
  if (key.size() == 1 &&
      ((key[0] >= u'A' && key[0] <= u'Z') || (key[0] >= u'0' && key[0] <= u'9'))) {
    virtualKey = static_cast<std::uint8_t>(key[0]);
  } else if (key.size() > 2 && key.front() == u'{' && key.back() == u'}') {
    std::u16string name = key.substr(1, key.size() - 2);
    for (const NamedKey& named : kNamedKeys)
      if (name == named.name) virtualKey = named.virtualKey;
    if (name.size() >= 2 && name.size() <= 3 && name[0] == u'F') {
      int number = ParseInteger(name.c_str() + 1);
      if (number >= 1 && number <= 24 && name[1] != u'0')
        virtualKey = static_cast<std::uint8_t>(kFirstFunctionKey + number - 1);
    }
  }
  if (virtualKey == 0) return false;
  *hotKey = static_cast<std::uint16_t>(modifiers | virtualKey);
  return true;
}

std::u16string Digits(int value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

std::u16string HotKeyText(std::uint16_t hotKey) {
  std::uint8_t virtualKey = static_cast<std::uint8_t>(hotKey & 0xFF);
  if (virtualKey == 0) return std::u16string();
  std::u16string text;
  if ((hotKey & kHotKeyControl) != 0) text += u'^';
  if ((hotKey & kHotKeyShift) != 0) text += u'+';
  if ((hotKey & kHotKeyAlt) != 0) text += u'!';
  if ((virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9'))
    return text + static_cast<char16_t>(virtualKey);
  if (virtualKey >= kFirstFunctionKey && virtualKey < kFirstFunctionKey + 24)
    return text + u"{F" + Digits(virtualKey - kFirstFunctionKey + 1) + u"}";
  for (const NamedKey& named : kNamedKeys)
    if (named.virtualKey == virtualKey) return text + u"{" + named.name + u"}";
  // A key the notation has no name for: its virtual key number.
  return text + u"{" + Digits(virtualKey) + u"}";
}

bool Fail(BatchContext& context, std::uint32_t number) {
  SetError(context, number);
  return false;
}

bool Succeeded(BatchContext& context, platform::ShortcutStatus status) {
  switch (status) {
    case platform::ShortcutStatus::Done:
      return true;
    case platform::ShortcutStatus::Unavailable:
      return Fail(context, kErrNotAvailable);
    case platform::ShortcutStatus::ComFailed:
      return Fail(context, kErrShortcutComInit);
    case platform::ShortcutStatus::CreateFailed:
      return Fail(context, kErrShortcutCreate);
    case platform::ShortcutStatus::InterfaceFailed:
      return Fail(context, kErrShortcutInterface);
    case platform::ShortcutStatus::LoadFailed:
      return Fail(context, kErrShortcutLoad);
    case platform::ShortcutStatus::ReadFailed:
      return Fail(context, kErrShortcutRead);
    default:
      return Fail(context, kErrShortcutSave);
  }
}

bool FolderFlag(int count, int index, const EvalValue* arguments) {
  return count > index && arguments[index].value.intValue == 1;
}

enum class LinkMustBe { New, Existing };

// The shortcut file a name means: found on the search path (".lnk" added to a name without
// extension), else the name itself, which must then end in ".lnk" or get it; a folder shortcut's
// name is taken as it is.
bool LinkFile(BatchContext& context, EvalValue& argument, bool folder, LinkMustBe mustBe,
              std::u16string* file) {
  if (!platform::ShortcutsAvailable()) return Fail(context, kErrNotAvailable);
  std::u16string name;
  if (!NameArgument(context, argument, &name)) return false;
  std::u16string found = platform::SearchPathFor(name, folder ? nullptr : u".lnk");
  if (found.empty()) {
    found = name;
    std::size_t start = LastComponentStart(name);
    std::size_t dot = name.rfind(u'.');
    if (folder) {
      // used as it is
    } else if (dot == std::u16string::npos || dot < start) {
      found += u".lnk";
    } else if (Upper(name.substr(dot)) != u".LNK") {
      return Fail(context, kErrShortcutExtension);
    }
  }
  if (!platform::FullPathName(found, file)) *file = found;
  platform::FileFacts facts{};
  bool exists = platform::QueryFile(*file, &facts);
  if (mustBe == LinkMustBe::Existing && !exists) return Fail(context, kErrShortcutNotFound);
  if (mustBe == LinkMustBe::New && exists) return Fail(context, kErrShortcutExists);
  return true;
}

// A field argument: nothing for an empty text, an empty field for "-1".
bool FieldArgument(BatchContext& context, EvalValue& argument,
                   std::optional<std::u16string>* field) {
  std::u16string text;
  if (!NameArgument(context, argument, &text)) return false;
  if (text == kClearField)
    *field = std::u16string();
  else if (!text.empty())
    *field = text;
  return true;
}

// Show mode 0 keeps the show command; 1 .. 3 are minimized without activation, normal and
// maximized.
bool ShowCommandOf(BatchContext& context, std::int32_t showMode, std::optional<int>* command) {
  constexpr int kCommands[] = {0, 7, 1, 3};
  if (showMode < 0 || showMode > 3) return Fail(context, kErrShortcutShowMode);
  if (showMode != 0) *command = kCommands[showMode];
  return true;
}

// ShortcutMake and ShortcutEdit: target, parameters, working directory and show mode.
void MakeOrEdit(BatchContext& context, int count, EvalValue* arguments, LinkMustBe mustBe,
                EvalValue& result) {
  bool folder = FolderFlag(count, 5, arguments);
  std::u16string file;
  platform::ShortcutChanges changes;
  if (!LinkFile(context, arguments[0], folder, mustBe, &file) ||
      !FieldArgument(context, arguments[1], &changes.target) ||
      !FieldArgument(context, arguments[2], &changes.arguments) ||
      !FieldArgument(context, arguments[3], &changes.directory) ||
      !ShowCommandOf(context, arguments[4].value.intValue, &changes.showCommand))
    return;
  if (Succeeded(context,
                platform::WriteShortcut(file, folder, mustBe == LinkMustBe::Existing, changes)))
    SetEvalInteger(context, result, 1);
}

// ShortcutExtra: description, hot key and icon.
void Extra(BatchContext& context, int count, EvalValue* arguments, EvalValue& result) {
  bool folder = FolderFlag(count, 5, arguments);
  std::u16string file, hotKey;
  platform::ShortcutChanges changes;
  if (!LinkFile(context, arguments[0], folder, LinkMustBe::Existing, &file) ||
      !FieldArgument(context, arguments[1], &changes.description) ||
      !NameArgument(context, arguments[2], &hotKey) ||
      !FieldArgument(context, arguments[3], &changes.iconFile))
    return;
  if (hotKey == kClearField) {
    changes.hotKey = 0;
  } else if (!hotKey.empty()) {
    std::uint16_t parsed = 0;
    if (!ParseHotKey(hotKey, &parsed)) return SetError(context, kErrShortcutHotkey);
    changes.hotKey = parsed;
  }
  changes.iconIndex = arguments[4].value.intValue;
  if (Succeeded(context, platform::WriteShortcut(file, folder, true, changes)))
    SetEvalInteger(context, result, 1);
}

// Eight tab-separated items: target, parameters, working directory, show command, description,
// hot key, icon file, icon index.
void Info(BatchContext& context, int count, EvalValue* arguments, EvalValue& result) {
  bool folder = FolderFlag(count, 1, arguments);
  std::u16string file;
  platform::ShortcutFields fields;
  if (!LinkFile(context, arguments[0], folder, LinkMustBe::Existing, &file) ||
      !Succeeded(context, platform::ReadShortcut(file, folder, &fields)))
    return;
  std::u16string line = fields.target + u"\t" + fields.arguments + u"\t" + fields.directory +
                        u"\t" + Digits(fields.showCommand) + u"\t" + fields.description + u"\t" +
                        HotKeyText(fields.hotKey) + u"\t" + fields.iconFile + u"\t" +
                        Digits(fields.iconIndex);
  SetNameResult(context, result, line);
}

// ShortcutDir(name [, which, reserved]): the special folder for the current user (which 0) or
// shared by all users (1), ending in a separator.
void Dir(BatchContext& context, int count, EvalValue* arguments, EvalValue& result) {
  if (!platform::ShortcutsAvailable()) return SetError(context, kErrNotAvailable);
  std::u16string name;
  if (!NameArgument(context, arguments[0], &name)) return;
  bool allUsers = count > 1 && arguments[1].value.intValue == 1;
  std::u16string path = platform::SpecialFolderPath(name, allUsers);
  if (path.empty()) return SetError(context, kErrFunctionFailed);
  if (path.back() != u'\\') path += u'\\';
  SetNameResult(context, result, path);
}

}  // namespace

KEL_FAMILY_ROUTINE(ShortcutFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordShortcutMake:
      return MakeOrEdit(context, count, arguments, LinkMustBe::New, result);
    case kKeywordShortcutEdit:
      return MakeOrEdit(context, count, arguments, LinkMustBe::Existing, result);
    case kKeywordShortcutExtra:
      return Extra(context, count, arguments, result);
    case kKeywordShortcutInfo:
      return Info(context, count, arguments, result);
    case kKeywordShortcutDir:
      return Dir(context, count, arguments, result);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
