// The registry on Windows, through the UTF-16 registry services of the system.
#include "platform/registry.h"

#include <windows.h>

#include <vector>

#include "platform/platform.h"

namespace kel::platform {
namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

HKEY Handle(RegistryKey key) {
  return reinterpret_cast<HKEY>(key);
}

RegistryKey Key(HKEY handle) {
  return reinterpret_cast<RegistryKey>(handle);
}

// The longest key or value name the enumerations take, with its terminator.
constexpr DWORD kNameUnits = 16384;

// The name at an index of a key's subkeys or values: both enumerations take the key, the index
// and the name's room, and four more answers that are not wanted here.
template <typename Enumerate>
RegistryStatus NameAt(Enumerate enumerate, RegistryKey key, std::uint32_t index,
                      std::u16string* name) {
  std::vector<wchar_t> buffer(kNameUnits);
  DWORD length = kNameUnits;
  LONG status =
      enumerate(Handle(key), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) name->assign(reinterpret_cast<char16_t*>(buffer.data()), length);
  return static_cast<RegistryStatus>(status);
}

}  // namespace

bool RegistryAvailable() {
  return true;
}

bool SixtyFourBitSystem() {
  if (sizeof(void*) == 8) return true;
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("KERNEL32.DLL"), "IsWow64Process")));
  BOOL wow = FALSE;
  return isWow64 != nullptr && isWow64(::GetCurrentProcess(), &wow) && wow != FALSE;
}

RegistryStatus OpenRegistryKey(RegistryKey parent, const std::u16string& subkey,
                               std::uint32_t access, RegistryKey* key) {
  HKEY opened = nullptr;
  LONG status = access == 0 ? ::RegOpenKeyW(Handle(parent), Wide(subkey), &opened)
                            : ::RegOpenKeyExW(Handle(parent), Wide(subkey), 0, access, &opened);
  if (status == ERROR_SUCCESS) *key = Key(opened);
  return static_cast<RegistryStatus>(status);
}

RegistryStatus CreateRegistryKey(RegistryKey parent, const std::u16string& subkey,
                                 std::uint32_t access, RegistryKey* key) {
  HKEY created = nullptr;
  LONG status =
      access == 0 ? ::RegCreateKeyW(Handle(parent), Wide(subkey), &created)
                  : ::RegCreateKeyExW(Handle(parent), Wide(subkey), 0, nullptr,
                                      REG_OPTION_NON_VOLATILE, access, nullptr, &created, nullptr);
  if (status == ERROR_SUCCESS) *key = Key(created);
  return static_cast<RegistryStatus>(status);
}

RegistryStatus CloseRegistryKey(RegistryKey key) {
  return static_cast<RegistryStatus>(::RegCloseKey(Handle(key)));
}

RegistryStatus ConnectRegistry(const std::u16string& computer, RegistryKey root, RegistryKey* key) {
  HKEY connected = nullptr;
  LONG status =
      ::RegConnectRegistryW(computer.empty() ? nullptr : Wide(computer), Handle(root), &connected);
  if (status == ERROR_SUCCESS) *key = Key(connected);
  return static_cast<RegistryStatus>(status);
}

RegistryStatus DeleteRegistryKey(RegistryKey parent, const std::u16string& subkey,
                                 std::uint32_t viewBits) {
  // The form that takes a view is not on every system: looked up when it is wanted.
  using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
  static const auto deleteKeyEx = reinterpret_cast<DeleteKeyExFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleA("ADVAPI32.DLL"), "RegDeleteKeyExW")));
  LONG status = viewBits != 0 && deleteKeyEx != nullptr
                    ? deleteKeyEx(Handle(parent), Wide(subkey), viewBits, 0)
                    : ::RegDeleteKeyW(Handle(parent), Wide(subkey));
  return static_cast<RegistryStatus>(status);
}

RegistryStatus DeleteRegistryValue(RegistryKey key, const std::u16string& name) {
  return static_cast<RegistryStatus>(::RegDeleteValueW(Handle(key), Wide(name)));
}

RegistryStatus RegistryValueFacts(RegistryKey key, const std::u16string& name, std::uint32_t* type,
                                  std::size_t* size) {
  DWORD valueType = 0, bytes = 0;
  LONG status = ::RegQueryValueExW(Handle(key), Wide(name), nullptr, &valueType, nullptr, &bytes);
  if (status == ERROR_SUCCESS) {
    *type = valueType;
    *size = bytes;
  }
  return static_cast<RegistryStatus>(status);
}

RegistryStatus ReadRegistryValue(RegistryKey key, const std::u16string& name, std::uint32_t* type,
                                 void* data, std::size_t* size) {
  DWORD valueType = 0, bytes = static_cast<DWORD>(*size);
  LONG status = ::RegQueryValueExW(Handle(key), Wide(name), nullptr, &valueType,
                                   static_cast<BYTE*>(data), &bytes);
  if (status == ERROR_SUCCESS) {
    *type = valueType;
    *size = bytes;
  }
  return static_cast<RegistryStatus>(status);
}

RegistryStatus WriteRegistryValue(RegistryKey key, const std::u16string& name, std::uint32_t type,
                                  const void* data, std::size_t size) {
  return static_cast<RegistryStatus>(::RegSetValueExW(
      Handle(key), Wide(name), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size)));
}

RegistryStatus RegistrySubkeyAt(RegistryKey key, std::uint32_t index, std::u16string* name) {
  return NameAt(::RegEnumKeyExW, key, index, name);
}

RegistryStatus RegistryValueNameAt(RegistryKey key, std::uint32_t index, std::u16string* name) {
  return NameAt(::RegEnumValueW, key, index, name);
}

RegistryStatus RegistryKeyLastWrite(RegistryKey key, std::uint64_t* fileTime) {
  FILETIME written{};
  LONG status = ::RegQueryInfoKeyW(Handle(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, &written);
  if (status == ERROR_SUCCESS)
    *fileTime = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  return static_cast<RegistryStatus>(status);
}

RegistryStatus EnableRestorePrivilege() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return ::GetLastError();
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  DWORD status = ERROR_SUCCESS;
  if (!::LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &privileges.Privileges[0].Luid) ||
      !::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
    status = ::GetLastError();
  ::CloseHandle(token);
  return status;
}

RegistryStatus LoadRegistryHive(RegistryKey key, const std::u16string& subkey,
                                const std::u16string& file) {
  return static_cast<RegistryStatus>(::RegLoadKeyW(Handle(key), Wide(subkey), Wide(file)));
}

RegistryStatus UnloadRegistryHive(RegistryKey key, const std::u16string& subkey) {
  return static_cast<RegistryStatus>(::RegUnLoadKeyW(Handle(key), Wide(subkey)));
}

std::u16string ExpandEnvironmentReferences(const std::u16string& text) {
  DWORD needed = ::ExpandEnvironmentStringsW(Wide(text), nullptr, 0);
  if (needed == 0) return text;
  std::vector<wchar_t> buffer(needed);
  DWORD length = ::ExpandEnvironmentStringsW(Wide(text), buffer.data(), needed);
  if (length == 0 || length > needed) return text;
  // The answer counts the terminator.
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length - 1);
}

bool FindProgramOnSearchPath(const std::u16string& name, std::u16string* fullPath) {
  std::vector<wchar_t> buffer(MAX_PATH * 4);
  DWORD length = ::SearchPathW(nullptr, Wide(name), L".EXE", static_cast<DWORD>(buffer.size()),
                               buffer.data(), nullptr);
  if (length == 0 || length >= buffer.size()) return false;
  fullPath->assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
  return true;
}

}  // namespace kel::platform
