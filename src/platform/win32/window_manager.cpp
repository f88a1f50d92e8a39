// The window functions' services on Windows, through the window manager's own calls.
#include "platform/window_manager.h"

#include <windows.h>

#include <new>

#include "platform/win32/win32_internal.h"

namespace kel::platform {
namespace {

HWND Handle(WindowHandle window) {
  return static_cast<HWND>(window);
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  return win32::AtCallbackBoundary<BOOL>(FALSE, [&] {
    reinterpret_cast<std::vector<WindowHandle>*>(list)->push_back(window);
    return TRUE;
  });
}

RECT ToRect(const PixelRect& rect) {
  return RECT{rect.left, rect.top, rect.right, rect.bottom};
}

PixelRect FromRect(const RECT& rect) {
  return PixelRect{rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

bool HasWindowManager() {
  return true;
}

std::vector<WindowHandle> TopLevelWindows() {
  std::vector<WindowHandle> windows;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::vector<WindowHandle> ChildWindows(WindowHandle parent) {
  std::vector<WindowHandle> windows;
  if (parent != nullptr)
    ::EnumChildWindows(Handle(parent), CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

bool IsWindowHandle(WindowHandle window) {
  return window != nullptr && ::IsWindow(Handle(window)) != 0;
}

// Window handles are 32-bit numbers on 64-bit Windows too, so that 32-bit and 64-bit programs
// can hand them to each other.
WindowHandle WindowFromNumber(std::uint32_t number) {
  return reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(number));
}

std::uint32_t WindowNumber(WindowHandle window) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));
}

std::u16string WindowTitle(WindowHandle window) {
  int length = ::GetWindowTextLengthW(Handle(window));
  if (length <= 0) return std::u16string();
  std::u16string title(static_cast<std::size_t>(length) + 1, u'\0');
  int got = ::GetWindowTextW(Handle(window), reinterpret_cast<wchar_t*>(title.data()), length + 1);
  title.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return title;
}

bool SetWindowTitle(WindowHandle window, const char16_t* title) {
  return ::SetWindowTextW(Handle(window), reinterpret_cast<const wchar_t*>(title)) != 0;
}

bool IsWindowShown(WindowHandle window) {
  return ::IsWindowVisible(Handle(window)) != 0;
}

bool IsWindowIconic(WindowHandle window) {
  return ::IsIconic(Handle(window)) != 0;
}

bool IsWindowZoomed(WindowHandle window) {
  return ::IsZoomed(Handle(window)) != 0;
}

bool IsWindowTopmost(WindowHandle window) {
  return (::GetWindowLongW(Handle(window), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

WindowHandle ForegroundWindow() {
  return ::GetForegroundWindow();
}

WindowHandle WindowAncestor(WindowHandle window) {
  HWND parent = ::GetParent(Handle(window));
  return parent != nullptr ? parent : ::GetWindow(Handle(window), GW_OWNER);
}

std::u16string WindowClassName(WindowHandle window) {
  wchar_t name[257];
  int length = ::GetClassNameW(Handle(window), name, 257);
  return std::u16string(reinterpret_cast<const char16_t*>(name), length > 0 ? length : 0);
}

std::u16string WindowModuleFile(WindowHandle window) {
  wchar_t file[MAX_PATH];
  UINT length = ::GetWindowModuleFileNameW(Handle(window), file, MAX_PATH);
  return std::u16string(reinterpret_cast<const char16_t*>(file), length);
}

std::uint32_t WindowProcessId(WindowHandle window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(Handle(window), &process);
  return process;
}

std::u16string ProcessProgramFile(std::uint32_t processId) {
  HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) return std::u16string();
  wchar_t file[32768];
  DWORD length = sizeof file / sizeof file[0];
  if (::QueryFullProcessImageNameW(process, 0, file, &length) == 0) length = 0;
  ::CloseHandle(process);
  return std::u16string(reinterpret_cast<const char16_t*>(file), length);
}

InputIdle WaitForWindowInputIdle(WindowHandle window, std::uint32_t milliseconds) {
  HANDLE process =
      ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, WindowProcessId(window));
  if (process == nullptr) return InputIdle::Failed;
  DWORD outcome = ::WaitForInputIdle(process, milliseconds);
  ::CloseHandle(process);
  if (outcome == 0) return InputIdle::Ready;
  return outcome == WAIT_TIMEOUT ? InputIdle::Busy : InputIdle::Failed;
}

void BringToForeground(WindowHandle window) {
  HWND target = Handle(window);
  ::SetForegroundWindow(target);
  ::BringWindowToTop(target);
  // The focus goes where the window's own program put it last, or to its topmost child; a
  // window of another thread is given the focus through that thread's input state.
  HWND child = ::GetTopWindow(target);
  HWND focus = child != nullptr ? child : target;
  DWORD own = ::GetCurrentThreadId();
  DWORD theirs = ::GetWindowThreadProcessId(target, nullptr);
  bool attached = theirs != own && ::AttachThreadInput(own, theirs, TRUE) != 0;
  ::SetFocus(focus);
  if (attached) ::AttachThreadInput(own, theirs, FALSE);
}

void PostWindowCommand(WindowHandle window, WindowCommand command) {
  WPARAM which = SC_RESTORE;
  switch (command) {
    case WindowCommand::Restore:
      which = SC_RESTORE;
      break;
    case WindowCommand::Minimize:
      which = SC_MINIMIZE;
      break;
    case WindowCommand::Maximize:
      which = SC_MAXIMIZE;
      break;
    case WindowCommand::Close:
      which = SC_CLOSE;
      break;
  }
  ::PostMessageW(Handle(window), WM_SYSCOMMAND, which, 0);
}

void ShowWindowAs(WindowHandle window, WindowShow how) {
  int command = SW_SHOW;
  switch (how) {
    case WindowShow::Hide:
      command = SW_HIDE;
      break;
    case WindowShow::ShowInPlace:
      command = SW_SHOWNA;
      break;
    case WindowShow::Show:
      command = SW_SHOW;
      break;
    case WindowShow::Minimize:
      command = SW_MINIMIZE;
      break;
    case WindowShow::Maximize:
      command = SW_MAXIMIZE;
      break;
  }
  ::ShowWindow(Handle(window), command);
}

bool SetWindowTopmost(WindowHandle window, bool topmost) {
  return ::SetWindowPos(Handle(window), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                        SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE) != 0;
}

bool WindowRectangle(WindowHandle window, PixelRect& rect) {
  RECT got;
  if (::GetWindowRect(Handle(window), &got) == 0) return false;
  rect = FromRect(got);
  return true;
}

bool MoveWindowTo(WindowHandle window, const PixelRect& rect) {
  return ::SetWindowPos(Handle(window), nullptr, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE) != 0;
}

PixelPoint ScreenSize() {
  return PixelPoint{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

int MonitorCount() {
  int count = ::GetSystemMetrics(SM_CMONITORS);
  return count > 0 ? count : 1;
}

PixelPoint MinimumWindowSize() {
  return PixelPoint{::GetSystemMetrics(SM_CXMIN), ::GetSystemMetrics(SM_CYMIN)};
}

std::int32_t ScaleNumber(std::int32_t a, std::int32_t b, std::int32_t c) {
  return ::MulDiv(a, b, c);
}

bool ReadWindowPlacement(WindowHandle window, WindowPlacement& placement) {
  WINDOWPLACEMENT stored{};
  stored.length = sizeof stored;
  if (::GetWindowPlacement(Handle(window), &stored) == 0) return false;
  placement.iconic = PixelPoint{stored.ptMinPosition.x, stored.ptMinPosition.y};
  placement.zoomed = PixelPoint{stored.ptMaxPosition.x, stored.ptMaxPosition.y};
  placement.normal = FromRect(stored.rcNormalPosition);
  placement.flags = stored.flags;
  placement.showCommand = stored.showCmd;
  return true;
}

bool WriteWindowPlacement(WindowHandle window, WindowPlacement placement, bool iconicSet) {
  WINDOWPLACEMENT stored{};
  stored.length = sizeof stored;
  stored.flags = placement.flags | (iconicSet ? WPF_SETMINPOSITION : 0);
  stored.showCmd = placement.showCommand;
  stored.ptMinPosition = POINT{placement.iconic.x, placement.iconic.y};
  stored.ptMaxPosition = POINT{placement.zoomed.x, placement.zoomed.y};
  stored.rcNormalPosition = ToRect(placement.normal);
  return ::SetWindowPlacement(Handle(window), &stored) != 0;
}

}  // namespace kel::platform
