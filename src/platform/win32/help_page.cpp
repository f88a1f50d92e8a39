// Opening the help web page of the error box on Windows: the registered browser, the shell, and
// an internet-shortcut file as the last resort.
#include "platform/platform.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

namespace kel::platform {
namespace {

// The default value of a key under HKEY_CLASSES_ROOT; false when it is missing or shorter than
// two characters, which names no program.
bool ClassesRootDefault(const char* key, char* out, std::size_t size) {
  HKEY handle = nullptr;
  if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD bytes = static_cast<DWORD>(size - 1);
  LONG status =
      ::RegQueryValueExA(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes);
  ::RegCloseKey(handle);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  out[bytes < size ? bytes : size - 1] = '\0';
  return std::strlen(out) >= 2;
}

}  // namespace

std::size_t BrowserCommand(char* out, std::size_t size) {
  if (out == nullptr || size < 2) return 0;
  out[0] = '\0';
  char command[1024] = "";
  char htmlClass[256];
  bool found =
      ClassesRootDefault("InternetShortcut\\shell\\open\\command", command, sizeof command) ||
      ClassesRootDefault("http\\shell\\open\\command", command, sizeof command);
  if (!found && ClassesRootDefault(".htm", htmlClass, sizeof htmlClass)) {
    char key[300];
    std::snprintf(key, sizeof key, "%s\\shell\\open\\command", htmlClass);
    found = ClassesRootDefault(key, command, sizeof command);
  }
  if (!found) found = ClassesRootDefault(".htm\\shell\\open\\command", command, sizeof command);
  if (!found) found = ::GetProfileStringA("Extensions", "htm", "", command, sizeof command) >= 2;
  if (!found) return 0;
  // The program alone, without its arguments. A quoted program path keeps its blanks: cutting
  // at the first blank would name a program that does not exist.
  const char* start = command;
  const char* end;
  if (*start == '"') {
    ++start;
    end = std::strchr(start, '"');
  } else {
    end = std::strchr(start, ' ');
  }
  std::size_t length = end != nullptr ? static_cast<std::size_t>(end - start) : std::strlen(start);
  if (length >= size) return 0;
  std::memcpy(out, start, length);
  out[length] = '\0';
  return length;
}

bool OpenHelpPage(const char* address, const char* browserCommand, bool (*keepWaiting)(void*),
                  void* data) {
  if (address == nullptr || *address == '\0') return false;
  auto launched = [](HINSTANCE result) { return reinterpret_cast<INT_PTR>(result) > 32; };
  if (launched(::ShellExecuteA(nullptr, "open", address, nullptr, nullptr, SW_SHOWNORMAL)))
    return true;
  if (browserCommand != nullptr && *browserCommand != '\0' &&
      launched(::ShellExecuteA(nullptr, "open", browserCommand, address, nullptr, SW_SHOWNORMAL)))
    return true;

  char directory[MAX_PATH] = "";
  const char* variables[] = {"TMP", "TEMP", "HOMEPATH"};
  bool haveDirectory = false;
  for (const char* name : variables) {
    DWORD length = ::GetEnvironmentVariableA(name, directory, sizeof directory);
    if (length > 0 && length < sizeof directory) {
      haveDirectory = true;
      break;
    }
  }
  if (!haveDirectory) {
    UINT length = ::GetWindowsDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return false;
  }
  char path[MAX_PATH + 16];
  std::size_t length = std::strlen(directory);
  const char* separator = length > 0 && directory[length - 1] == '\\' ? "" : "\\";
  std::snprintf(path, sizeof path, "%s%s$KELTEMP.URL", directory, separator);
  char content[1200];
  int bytes = std::snprintf(content, sizeof content, "[InternetShortcut]\r\nURL=%s", address);
  if (bytes < 0 || static_cast<std::size_t>(bytes) >= sizeof content) return false;
  HANDLE file =
      ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL wrote = ::WriteFile(file, content, static_cast<DWORD>(bytes), &written, nullptr);
  ::CloseHandle(file);
  bool opened = false;
  if (wrote && written == static_cast<DWORD>(bytes)) {
    SHELLEXECUTEINFOA execute{};
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS;
    execute.lpVerb = "open";
    execute.lpFile = path;
    execute.nShow = SW_SHOWNORMAL;
    opened = ::ShellExecuteExA(&execute) != FALSE;
    // The browser reads the shortcut file after it has started: the file stays until it ends.
    if (opened && execute.hProcess != nullptr) {
      while (::WaitForSingleObject(execute.hProcess, 20) == WAIT_TIMEOUT) {
        if (keepWaiting != nullptr && !keepWaiting(data)) break;
      }
      ::CloseHandle(execute.hProcess);
    }
  }
  ::DeleteFileA(path);
  return opened;
}

}  // namespace kel::platform
