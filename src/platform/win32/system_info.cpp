// Environment variables and system facts on Windows, through the kernel, the window manager
// and the registry.
#include "platform/system_info.h"

#include <windows.h>
// After windows.h, which they build on.
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace kel::platform {

bool EnvironmentValue(const char* name, std::string& value) {
  // A variable with an empty value also answers 0: only "not found" tells them apart.
  std::string buffer(256, '\0');
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    DWORD length =
        ::GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (length < buffer.size()) {
      buffer.resize(length);
      value = buffer;
      return true;
    }
    buffer.resize(length);  // the size it needs, terminator included
  }
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  char* block = ::GetEnvironmentStringsA();
  if (block == nullptr) return entries;
  for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1)
    if (entry[0] != '=') entries.emplace_back(entry);
  ::FreeEnvironmentStringsA(block);
  return entries;
}

SystemFact ComputerName(int request, std::string& name) {
  if (request < 0 || request > 7) return SystemFact::BadRequest;
  auto format = static_cast<COMPUTER_NAME_FORMAT>(request);
  DWORD size = 0;
  ::GetComputerNameExA(format, nullptr, &size);
  std::string buffer(size + 1, '\0');
  size = static_cast<DWORD>(buffer.size());
  if (::GetComputerNameExA(format, buffer.data(), &size) == FALSE) size = 0;
  buffer.resize(size);
  name = buffer;
  return SystemFact::Answered;
}

SystemFact DosVersionPart(int request, std::int32_t& number) {
  // The NT family gives the programs of MS-DOS the version 5.0.
  if (request < 0 || request > 1) return SystemFact::BadRequest;
  number = request == 0 ? 5 : 0;
  return SystemFact::Answered;
}

SystemFact SystemMetric(int request, std::int32_t& number) {
  number = ::GetSystemMetrics(request);
  return SystemFact::Answered;
}

SystemFact ProcessorFacts(std::vector<std::uint64_t>& numbers) {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  numbers = {info.dwPageSize,
             reinterpret_cast<std::uintptr_t>(info.lpMinimumApplicationAddress),
             reinterpret_cast<std::uintptr_t>(info.lpMaximumApplicationAddress),
             info.dwActiveProcessorMask,
             info.dwNumberOfProcessors,
             info.dwProcessorType,
             info.dwAllocationGranularity,
             info.wProcessorLevel,
             info.wProcessorRevision};
  return SystemFact::Answered;
}

namespace {

// The true version: GetVersionEx answers an older one to programs whose manifest does not name
// the newer systems, the kernel's own query does not.
OSVERSIONINFOEXW SystemVersion() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  auto query = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("NTDLL.DLL"), "RtlGetVersion")));
  if (query != nullptr && query(&version) == 0) return version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
#pragma GCC diagnostic pop
  return version;
}

}  // namespace

SystemFact WindowsVersionPart(int request, std::int32_t& number, std::string& text) {
  OSVERSIONINFOEXW version = SystemVersion();
  switch (request) {
    case 0:
      number = static_cast<std::int32_t>(version.dwMinorVersion);
      return SystemFact::Answered;
    case 1:
      number = static_cast<std::int32_t>(version.dwMajorVersion);
      return SystemFact::Answered;
    case 2:
      number = static_cast<std::int32_t>(version.dwBuildNumber & 0xFFFF);
      return SystemFact::Answered;
    case 3: {
      char name[256] = {};
      ::WideCharToMultiByte(CP_ACP, 0, version.szCSDVersion, -1, name, sizeof name, nullptr,
                            nullptr);
      text = name;
      return SystemFact::Answered;
    }
    case 4:
      number = static_cast<std::int32_t>(version.dwPlatformId);
      return SystemFact::Answered;
    case 5: {
      char dotted[64];
      std::snprintf(dotted, sizeof dotted, "%lu.%lu.%lu",
                    static_cast<unsigned long>(version.dwMajorVersion),
                    static_cast<unsigned long>(version.dwMinorVersion),
                    static_cast<unsigned long>(version.dwBuildNumber & 0xFFFF));
      text = dotted;
      return SystemFact::Answered;
    }
    default:
      return SystemFact::BadRequest;
  }
}

SystemFact NetworkFacts(int request, std::vector<std::string>& items) {
  if (request == 0) {
    items = {"WINNT"};
    return SystemFact::Answered;
  }
  if (request != 1) return SystemFact::BadRequest;
  // The providers are named, comma-separated, in the order the system asks them.
  items.clear();
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Control\\NetworkProvider\\Order", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return SystemFact::Answered;
  char order[2048] = {};
  DWORD size = sizeof order - 1, type = 0;
  LONG status = ::RegQueryValueExA(key, "ProviderOrder", nullptr, &type,
                                   reinterpret_cast<BYTE*>(order), &size);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
    return SystemFact::Answered;
  std::string list(order);
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    if (comma > start) items.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  return SystemFact::Answered;
}

SystemFact ProgramSignatureValid(bool& valid) {
  wchar_t path[MAX_PATH + 1] = {};
  if (::GetModuleFileNameW(nullptr, path, MAX_PATH) == 0) return SystemFact::Unavailable;
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof file;
  file.pcwszFilePath = path;
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  valid = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data) == 0;
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return SystemFact::Answered;
}

SystemFact ProgramExecutionLevel(std::string& attributes) {
  attributes.clear();
  // A program's own manifest is its resource 1 of the manifest type.
  HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  HGLOBAL loaded = found != nullptr ? ::LoadResource(nullptr, found) : nullptr;
  const char* bytes =
      loaded != nullptr ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
  if (bytes == nullptr) return SystemFact::Answered;
  const std::string manifest(bytes, ::SizeofResource(nullptr, found));
  const std::string tag = "requestedExecutionLevel";
  std::size_t start = manifest.find(tag);
  if (start == std::string::npos) return SystemFact::Answered;
  start += tag.size();
  std::size_t end = manifest.find('>', start);
  if (end == std::string::npos) return SystemFact::Answered;
  if (end > start && manifest[end - 1] == '/') --end;
  attributes = manifest.substr(start, end - start);
  // The attributes as one line, without the blanks around them.
  for (char& c : attributes)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  const std::size_t first = attributes.find_first_not_of(' ');
  const std::size_t last = attributes.find_last_not_of(' ');
  attributes = first == std::string::npos ? "" : attributes.substr(first, last - first + 1);
  return SystemFact::Answered;
}

SystemFact ProcessElevation(Elevation& level) {
  level = Elevation::Unknown;
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return SystemFact::Answered;
  TOKEN_ELEVATION_TYPE type{};
  DWORD size = 0;
  if (::GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size)) {
    if (type == TokenElevationTypeDefault) level = Elevation::StandardOrDisabled;
    if (type == TokenElevationTypeFull) level = Elevation::Elevated;
    if (type == TokenElevationTypeLimited) level = Elevation::AdminNotElevated;
  }
  ::CloseHandle(token);
  return SystemFact::Answered;
}

SystemFact PerformanceCountersDisabled(bool& disabled) {
  disabled = false;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Services\\PerfProc\\Performance", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return SystemFact::Answered;
  DWORD value = 0, size = sizeof value, type = 0;
  if (::RegQueryValueExA(key, "Disable Performance Counters", nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
      type == REG_DWORD)
    disabled = value != 0;
  ::RegCloseKey(key);
  return SystemFact::Answered;
}

}  // namespace kel::platform
