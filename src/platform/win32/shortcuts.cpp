// Shell shortcuts through the shell's link object and its file interface, and the special
// folders by the names the shell gives them.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cwctype>
#include <string>

#include "platform/shortcuts.h"

namespace kel::platform {
namespace {

// The shell's folder shortcut class.
const CLSID kFolderShortcut = {
    0x0AFACED1, 0xE828, 0x11D1, {0x91, 0x87, 0xB5, 0x32, 0xF1, 0xE9, 0x57, 0x5D}};

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string FromWide(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// The link object and its file interface for one call; both are released and the component
// services let go of on every path.
class Link {
 public:
  ShortcutStatus Open(bool folder) {
    HRESULT started = ::CoInitialize(nullptr);
    if (FAILED(started)) return ShortcutStatus::ComFailed;
    initialised_ = true;
    if (FAILED(::CoCreateInstance(folder ? kFolderShortcut : CLSID_ShellLink, nullptr,
                                  CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&link_))))
      return ShortcutStatus::CreateFailed;
    if (FAILED(link_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file_))))
      return ShortcutStatus::InterfaceFailed;
    return ShortcutStatus::Done;
  }
  ~Link() {
    if (file_ != nullptr) file_->Release();
    if (link_ != nullptr) link_->Release();
    if (initialised_) ::CoUninitialize();
  }
  IShellLinkW* link() { return link_; }
  IPersistFile* file() { return file_; }

 private:
  bool initialised_ = false;
  IShellLinkW* link_ = nullptr;
  IPersistFile* file_ = nullptr;
};

struct SpecialFolder {
  const wchar_t* name;
  int user;
  int allUsers;  // -1: the folder has no shared form
};

constexpr SpecialFolder kSpecialFolders[] = {
    {L"AppData", CSIDL_APPDATA, CSIDL_COMMON_APPDATA},
    {L"Cache", CSIDL_INTERNET_CACHE, -1},
    {L"Cookies", CSIDL_COOKIES, -1},
    {L"Desktop", CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY},
    {L"Favorites", CSIDL_FAVORITES, CSIDL_COMMON_FAVORITES},
    {L"Fonts", CSIDL_FONTS, CSIDL_FONTS},
    {L"History", CSIDL_HISTORY, -1},
    {L"Local AppData", CSIDL_LOCAL_APPDATA, -1},
    {L"My Music", CSIDL_MYMUSIC, CSIDL_COMMON_MUSIC},
    {L"My Pictures", CSIDL_MYPICTURES, CSIDL_COMMON_PICTURES},
    {L"My Video", CSIDL_MYVIDEO, CSIDL_COMMON_VIDEO},
    {L"NetHood", CSIDL_NETHOOD, -1},
    {L"Personal", CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS},
    {L"PrintHood", CSIDL_PRINTHOOD, -1},
    {L"Programs", CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS},
    {L"Recent", CSIDL_RECENT, -1},
    {L"SendTo", CSIDL_SENDTO, -1},
    {L"Start Menu", CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU},
    {L"Startup", CSIDL_STARTUP, CSIDL_COMMON_STARTUP},
    {L"Templates", CSIDL_TEMPLATES, CSIDL_COMMON_TEMPLATES},
};

}  // namespace

bool ShortcutsAvailable() {
  return true;
}

ShortcutStatus ReadShortcut(const std::u16string& file, bool folder, ShortcutFields* fields) {
  Link link;
  ShortcutStatus status = link.Open(folder);
  if (status != ShortcutStatus::Done) return status;
  if (FAILED(link.file()->Load(Wide(file), STGM_READ))) return ShortcutStatus::LoadFailed;
  IShellLinkW* shell = link.link();
  wchar_t text[INFOTIPSIZE + 1] = {};
  WORD hotKey = 0;
  int showCommand = 0, iconIndex = 0;
  if (FAILED(shell->GetPath(text, MAX_PATH, nullptr, 0))) return ShortcutStatus::ReadFailed;
  fields->target = FromWide(text);
  text[0] = L'\0';
  if (FAILED(shell->GetArguments(text, INFOTIPSIZE))) return ShortcutStatus::ReadFailed;
  fields->arguments = FromWide(text);
  text[0] = L'\0';
  if (FAILED(shell->GetWorkingDirectory(text, MAX_PATH))) return ShortcutStatus::ReadFailed;
  fields->directory = FromWide(text);
  text[0] = L'\0';
  if (FAILED(shell->GetDescription(text, INFOTIPSIZE))) return ShortcutStatus::ReadFailed;
  fields->description = FromWide(text);
  text[0] = L'\0';
  if (FAILED(shell->GetShowCmd(&showCommand)) || FAILED(shell->GetHotkey(&hotKey)) ||
      FAILED(shell->GetIconLocation(text, MAX_PATH, &iconIndex)))
    return ShortcutStatus::ReadFailed;
  fields->iconFile = FromWide(text);
  fields->showCommand = showCommand;
  fields->hotKey = hotKey;
  fields->iconIndex = iconIndex;
  return ShortcutStatus::Done;
}

ShortcutStatus WriteShortcut(const std::u16string& file, bool folder, bool existing,
                             const ShortcutChanges& changes) {
  Link link;
  ShortcutStatus status = link.Open(folder);
  if (status != ShortcutStatus::Done) return status;
  if (existing && FAILED(link.file()->Load(Wide(file), STGM_READWRITE)))
    return ShortcutStatus::LoadFailed;
  IShellLinkW* shell = link.link();
  if (changes.target) shell->SetPath(Wide(*changes.target));
  if (changes.arguments) shell->SetArguments(Wide(*changes.arguments));
  if (changes.directory) shell->SetWorkingDirectory(Wide(*changes.directory));
  if (changes.showCommand) shell->SetShowCmd(*changes.showCommand);
  if (changes.description) shell->SetDescription(Wide(*changes.description));
  if (changes.hotKey) shell->SetHotkey(*changes.hotKey);
  if (changes.iconFile) shell->SetIconLocation(Wide(*changes.iconFile), changes.iconIndex);
  if (FAILED(link.file()->Save(Wide(file), TRUE))) return ShortcutStatus::SaveFailed;
  return ShortcutStatus::Done;
}

std::u16string SpecialFolderPath(const std::u16string& name, bool allUsers) {
  for (const SpecialFolder& folder : kSpecialFolders) {
    if (::lstrcmpiW(folder.name, Wide(name)) != 0) continue;
    int which = allUsers ? folder.allUsers : folder.user;
    wchar_t path[MAX_PATH + 1] = {};
    if (which < 0 || FAILED(::SHGetFolderPathW(nullptr, which, nullptr, 0, path)))
      return std::u16string();
    return FromWide(path);
  }
  return std::u16string();
}

}  // namespace kel::platform
