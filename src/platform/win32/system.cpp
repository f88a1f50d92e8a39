// Time, environment, system detection, windows, messages, libraries and streams on Windows.
#include "platform/platform.h"

#include <windows.h>

#include <cstring>
#include <ctime>

namespace kel::platform {

std::uint32_t TickCount() {
  return ::GetTickCount();
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  ::Sleep(milliseconds);
}

std::int64_t SecondsSinceEpoch() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::size_t CurrentDirectory(char* buffer, std::size_t size) {
  DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
  return length < size ? length : 0;
}

bool SetEnvironmentValue(const char* name, const char* value) {
  return ::SetEnvironmentVariableA(name, value) != FALSE;
}

SystemInfo DetectSystem() {
  SystemInfo info{};
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ::GetVersionExA(&version);
#pragma GCC diagnostic pop
  DWORD major = version.dwMajorVersion, minor = version.dwMinorVersion;
  if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
    info.windows95 = major == 4 && minor == 0;
    info.windows95FirstRelease = info.windows95 && LOWORD(version.dwBuildNumber) <= 1000;
    info.windows98 = major == 4 && minor == 10;
    info.windowsMe = major == 4 && minor == 90;
    info.windows98OrMe = info.windows98 || info.windowsMe;
    info.nt4OrLater = true;
  } else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    info.ntFamily = true;
    info.nt4OrLater = major >= 4;
    info.nt5OrLater = major >= 5;
    info.nt51OrLater = major > 5 || (major == 5 && minor >= 1);
    info.nt6OrLater = major >= 6;
    info.nt61OrLater = major > 6 || (major == 6 && minor >= 1);
    info.nt62OrLater = major > 6 || (major == 6 && minor >= 2);
    if (info.nt5OrLater) {
      using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
      auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(
          ::GetProcAddress(::GetModuleHandleA("KERNEL32.DLL"), "IsWow64Process")));
      BOOL wow = FALSE;
      if (isWow64 != nullptr && isWow64(::GetCurrentProcess(), &wow)) info.wow64 = wow != FALSE;
    }
  }
  info.doubleByteEnabled = ::GetSystemMetrics(SM_DBCSENABLED) != 0;
  info.unicodePlatform = info.ntFamily;
  return info;
}

void MessageBoxText(void* owner, const char* text, const char* title) {
  ::MessageBoxA(static_cast<HWND>(owner), text, title, MB_OK | MB_SETFOREGROUND);
}

void Beep() {
  ::MessageBeep(0xFFFFFFFF);
  ::MessageBeep(MB_OK);
}

int ShowExecuteErrorBox(void* owner, const char* title, const char* text, bool offerCancel) {
  UINT style = (offerCancel ? MB_OKCANCEL : MB_OK) | MB_ICONSTOP | MB_SETFOREGROUND;
  int answer = ::MessageBoxA(static_cast<HWND>(owner), text, title, style);
  return answer == IDCANCEL ? kExecuteBoxCancel : kExecuteBoxOk;
}

namespace {
// The engine's own window classes; the functions that own them take over their messages.
const char* const kWindowClasses[] = {"tv8wcmmn", "tv9wcdlg", "tv0wcdl2"};
constexpr wchar_t kDialogClass[] = L"tv0wcdl3";
}  // namespace

bool RegisterEngineWindowClasses(void* instance) {
  for (const char* name : kWindowClasses) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = static_cast<HINSTANCE>(instance);
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    if (::RegisterClassA(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  WNDCLASSW wc{};
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = static_cast<HINSTANCE>(instance);
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kDialogClass;
  if (::RegisterClassW(&wc) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  return true;
}

int DefaultWindowBottom(void* instance) {
  HWND window = ::CreateWindowA("tv8wcmmn", "", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                static_cast<HINSTANCE>(instance), nullptr);
  if (window == nullptr) return 0;
  RECT rect{};
  ::GetWindowRect(window, &rect);
  ::DestroyWindow(window);
  return rect.bottom;
}

void* ParentOrSelf(void* window) {
  HWND parent = window ? ::GetParent(static_cast<HWND>(window)) : nullptr;
  return parent ? parent : window;
}

void* LoadStandardCursor(int which) {
  return ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(which == 1 ? IDC_WAIT : IDC_ARROW));
}

void ShowCursor(void* cursor) {
  if (cursor) ::SetCursor(static_cast<HCURSOR>(cursor));
}

bool IsKeyDown(int virtualKey) {
  return (::GetKeyState(virtualKey) & 0x8000) != 0 ||
         (::GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

bool IsWindowEnabled(void* window) {
  return ::IsWindowEnabled(static_cast<HWND>(window)) != FALSE;
}

void PostCommandMessage(void* window, unsigned commandId) {
  ::PostMessageA(static_cast<HWND>(window), WM_COMMAND, commandId, 0);
}

bool DispatchOneMessage() {
  MSG message;
  if (!::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  // A message for a tab-stop control belongs to the dialog that holds it.
  HWND dialog = message.hwnd;
  if (dialog && (::GetWindowLongA(dialog, GWL_STYLE) & WS_TABSTOP)) dialog = ::GetParent(dialog);
  if (dialog && ::IsWindow(dialog) && ::IsDialogMessageA(dialog, &message)) return true;
  ::TranslateMessage(&message);
  ::DispatchMessageA(&message);
  return true;
}

bool WaitForInput(std::uint32_t milliseconds) {
  return ::MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT) != WAIT_TIMEOUT;
}

void* LoadSharedLibrary(const char* path) {
  return ::LoadLibraryA(path);
}

void* FindSymbol(void* library, const char* name) {
  return library ? reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name))
                 : nullptr;
}

void FreeSharedLibrary(void* library) {
  if (library) ::FreeLibrary(static_cast<HMODULE>(library));
}

std::size_t ModulePathOf(const void* address, char* out, std::size_t size) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module))
    return 0;
  DWORD length = ::GetModuleFileNameA(module, out, static_cast<DWORD>(size));
  return length < size ? length : 0;
}

std::size_t ProgramPath(char* out, std::size_t size) {
  // The module's own file: a shortcut or a link starts the real program, whose path this is.
  DWORD length = ::GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
  return length < size ? length : 0;
}

bool StandardInputIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

namespace {
void WriteHandle(DWORD which, const char* text, std::size_t length) {
  HANDLE handle = ::GetStdHandle(which);
  DWORD written = 0;
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
    ::WriteFile(handle, text, static_cast<DWORD>(length), &written, nullptr);
}
}  // namespace

void WriteStandardOutput(const char* text, std::size_t length) {
  WriteHandle(STD_OUTPUT_HANDLE, text, length);
}

void WriteStandardError(const char* text, std::size_t length) {
  WriteHandle(STD_ERROR_HANDLE, text, length);
}

MemoryHandle ReadWholeFile(const char* path, std::size_t* size) {
  HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER length{};
  MemoryHandle handle = nullptr;
  if (::GetFileSizeEx(file, &length) && length.QuadPart < 0x7FFFFFF0) {
    auto bytes = static_cast<DWORD>(length.QuadPart);
    handle = GlobalAllocate(bytes + 2, Fill::Zero);
    if (handle != nullptr) {
      DWORD got = 0;
      void* data = GlobalLock(handle);
      BOOL ok = ::ReadFile(file, data, bytes, &got, nullptr);
      GlobalUnlock(handle);
      if (!ok || got != bytes) {
        GlobalFree(handle);
        handle = nullptr;
      } else if (size != nullptr) {
        *size = bytes;
      }
    }
  }
  ::CloseHandle(file);
  return handle;
}

FileWriteStatus WriteWholeFile(const char* path, const void* data, std::size_t length) {
  HANDLE file = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileWriteStatus::CannotOpen;
  const auto* bytes = static_cast<const char*>(data);
  bool ok = true;
  while (ok && length > 0) {
    DWORD chunk = length > 0x40000000 ? 0x40000000 : static_cast<DWORD>(length);
    DWORD written = 0;
    ok = ::WriteFile(file, bytes, chunk, &written, nullptr) && written == chunk;
    bytes += chunk;
    length -= chunk;
  }
  ok = ::CloseHandle(file) && ok;
  return ok ? FileWriteStatus::Written : FileWriteStatus::WriteFailed;
}

MemoryHandle ReadWholeFileStatus(const char* path, std::size_t* size, FileReadStatus* status) {
  auto fail = [&](FileReadStatus why) -> MemoryHandle {
    if (status != nullptr) *status = why;
    return nullptr;
  };
  HANDLE file = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fail(FileReadStatus::CannotOpen);
  LARGE_INTEGER length{};
  if (!::GetFileSizeEx(file, &length) || length.QuadPart >= 0x7FFFFFF0) {
    ::CloseHandle(file);
    return fail(FileReadStatus::NoMemory);
  }
  auto bytes = static_cast<DWORD>(length.QuadPart);
  MemoryHandle handle = GlobalAllocate(bytes + 2, Fill::Zero);
  if (handle == nullptr) {
    ::CloseHandle(file);
    return fail(FileReadStatus::NoMemory);
  }
  DWORD got = 0;
  BOOL ok = ::ReadFile(file, GlobalLock(handle), bytes, &got, nullptr);
  GlobalUnlock(handle);
  ::CloseHandle(file);
  if (!ok || got != bytes) {
    GlobalFree(handle);
    return fail(FileReadStatus::ShortRead);
  }
  if (size != nullptr) *size = bytes;
  if (status != nullptr) *status = FileReadStatus::Read;
  return handle;
}

}  // namespace kel::platform
