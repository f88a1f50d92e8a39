// Starting programs on Windows: the system's process creation (under another account through
// the logon service, looked up at run time), the shell's verbs and associations, the registered
// application paths, and the list of processes.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "platform/launch.h"
#include "platform/platform.h"

namespace kel::platform {
namespace {

using CreateWithLogon = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPCWSTR, LPWSTR, DWORD,
                                      LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

CreateWithLogon LogonService() {
  static CreateWithLogon service = reinterpret_cast<CreateWithLogon>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"advapi32.dll"), "CreateProcessWithLogonW")));
  return service;
}

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

const wchar_t* WideOrNull(const std::u16string& text) {
  return text.empty() ? nullptr : Wide(text);
}

std::u16string FromWide(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// A registry text value (expanded when it is an expand string); false when absent.
bool ReadText(HKEY root, const std::u16string& keyName, const wchar_t* valueName,
              std::u16string* value) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, Wide(keyName), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  wchar_t data[MAX_PATH + 1] = {};
  DWORD type = 0;
  DWORD size = sizeof data - sizeof(wchar_t);
  LONG status =
      ::RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  if (type == REG_EXPAND_SZ) {
    wchar_t expanded[MAX_PATH + 1] = {};
    DWORD length = ::ExpandEnvironmentStringsW(data, expanded, MAX_PATH + 1);
    if (length > 0 && length <= MAX_PATH + 1) {
      *value = FromWide(expanded);
      return true;
    }
  }
  *value = FromWide(data);
  return true;
}

}  // namespace

bool LogonLaunchAvailable() {
  return LogonService() != nullptr;
}

bool StartProgram(const std::u16string& commandLine, int showCommand,
                  const std::u16string& directory, const LogonAccount* account,
                  StartedProgram* started) {
  // The system may write into the command line it is given.
  std::u16string line = commandLine;
  PROCESS_INFORMATION process{};
  BOOL created = FALSE;
  if (account != nullptr) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    created =
        LogonService()(Wide(*account->user), WideOrNull(*account->domain), Wide(*account->password),
                       account->flags, nullptr, reinterpret_cast<wchar_t*>(line.data()), 0, nullptr,
                       WideOrNull(directory), &startup, &process);
  } else {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    created = ::CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr,
                               FALSE, 0, nullptr, WideOrNull(directory), &startup, &process);
  }
  if (!created) return false;
  *started = StartedProgram{};
  started->process = reinterpret_cast<std::intptr_t>(process.hProcess);
  started->thread = reinterpret_cast<std::intptr_t>(process.hThread);
  started->id = process.dwProcessId;
  return true;
}

void WaitUntilIdle(const StartedProgram& program, std::uint32_t milliseconds) {
  ::WaitForInputIdle(reinterpret_cast<HANDLE>(program.process), milliseconds);
}

bool WaitForProgramOrInput(StartedProgram& program, std::uint32_t milliseconds) {
  if (program.ended) return true;
  HANDLE process = reinterpret_cast<HANDLE>(program.process);
  ::MsgWaitForMultipleObjects(1, &process, FALSE, milliseconds, QS_ALLINPUT);
  if (::WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  ::GetExitCodeProcess(process, &code);
  program.ended = true;
  program.exitCode = code;
  return true;
}

void ReleaseProgram(StartedProgram& program) {
  if (program.thread != 0) ::CloseHandle(reinterpret_cast<HANDLE>(program.thread));
  if (program.process != 0) ::CloseHandle(reinterpret_cast<HANDLE>(program.process));
  program = StartedProgram{};
}

bool RegisteredAppPath(const std::u16string& keyName, std::u16string* path,
                       std::u16string* searchPath) {
  std::u16string key = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + keyName;
  if (!ReadText(HKEY_LOCAL_MACHINE, key, nullptr, path)) return false;
  if (!ReadText(HKEY_LOCAL_MACHINE, key, L"Path", searchPath)) searchPath->clear();
  return true;
}

bool AssociatedOpenCommand(const std::u16string& extension, std::u16string* command) {
  std::u16string typeName;
  if (ReadText(HKEY_CLASSES_ROOT, extension, nullptr, &typeName) && !typeName.empty() &&
      ReadText(HKEY_CLASSES_ROOT, typeName + u"\\shell\\open\\command", nullptr, command) &&
      command->size() >= 2)
    return true;
  return ReadText(HKEY_CLASSES_ROOT, extension + u"\\shell\\open\\command", nullptr, command) &&
         command->size() >= 2;
}

bool ExecutableForDocument(const std::u16string& document, const std::u16string& directory,
                           std::u16string* executable) {
  wchar_t found[MAX_PATH + 1] = {};
  auto answer =
      reinterpret_cast<INT_PTR>(::FindExecutableW(Wide(document), WideOrNull(directory), found));
  if (answer <= 32) {
    ::SetLastError(answer == SE_ERR_NOASSOC ? ERROR_NO_ASSOCIATION : static_cast<DWORD>(answer));
    return false;
  }
  *executable = FromWide(found);
  return true;
}

bool ShellVerbsAvailable() {
  return true;
}

std::intptr_t ShellLaunch(const char16_t* verb, const std::u16string& file,
                          const std::u16string& parameters, const std::u16string& directory,
                          int showCommand) {
  return reinterpret_cast<std::intptr_t>(
      ::ShellExecuteW(nullptr, reinterpret_cast<const wchar_t*>(verb), Wide(file),
                      WideOrNull(parameters), WideOrNull(directory), showCommand));
}

bool ShellLaunchKeeping(const std::u16string& file, const std::u16string& parameters,
                        const std::u16string& directory, int showCommand, StartedProgram* started) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = Wide(file);
  info.lpParameters = WideOrNull(parameters);
  info.lpDirectory = WideOrNull(directory);
  info.nShow = showCommand;
  if (!::ShellExecuteExW(&info)) return false;
  *started = StartedProgram{};
  started->process = reinterpret_cast<std::intptr_t>(info.hProcess);
  started->id = 1;
  return true;
}

std::u16string SearchPathFor(const std::u16string& name, const char16_t* extension) {
  wchar_t found[MAX_PATH + 1] = {};
  DWORD length = ::SearchPathW(nullptr, Wide(name), reinterpret_cast<const wchar_t*>(extension),
                               MAX_PATH + 1, found, nullptr);
  if (length == 0 || length > MAX_PATH) return std::u16string();
  return FromWide(found);
}

std::u16string SystemErrorText(std::uint32_t code) {
  wchar_t* text = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string answer;
  if (length > 0 && text != nullptr) answer = FromWide(text);
  if (text != nullptr) ::LocalFree(text);
  while (!answer.empty() && (answer.back() == u'\r' || answer.back() == u'\n'))
    answer.pop_back();
  return answer;
}

std::vector<RunningProgram> RunningPrograms() {
  std::vector<RunningProgram> programs;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return programs;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    RunningProgram program{entry.th32ProcessID, FromWide(entry.szExeFile)};
    // The full name where the process lets it be asked; the file name alone otherwise.
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (process != nullptr) {
      wchar_t path[MAX_PATH + 1] = {};
      DWORD size = MAX_PATH + 1;
      if (::QueryFullProcessImageNameW(process, 0, path, &size)) program.file = FromWide(path);
      ::CloseHandle(process);
    }
    programs.push_back(std::move(program));
  }
  ::CloseHandle(snapshot);
  return programs;
}

std::uint32_t CurrentProcessId() {
  return ::GetCurrentProcessId();
}

bool EndProgram(std::uint32_t id) {
  HANDLE process = ::OpenProcess(PROCESS_TERMINATE, FALSE, id);
  if (process == nullptr) return false;
  BOOL ended = ::TerminateProcess(process, 1);
  ::CloseHandle(process);
  return ended != FALSE;
}

}  // namespace kel::platform
