// Without a window manager there are no windows to find: the window functions report that
// they are not available, and these services find nothing and change nothing.
#include "platform/window_manager.h"

namespace kel::platform {

bool HasWindowManager() {
  return false;
}

std::vector<WindowHandle> TopLevelWindows() {
  return {};
}

std::vector<WindowHandle> ChildWindows(WindowHandle) {
  return {};
}

bool IsWindowHandle(WindowHandle) {
  return false;
}

WindowHandle WindowFromNumber(std::uint32_t) {
  return nullptr;
}

std::uint32_t WindowNumber(WindowHandle) {
  return 0;
}

std::u16string WindowTitle(WindowHandle) {
  return std::u16string();
}

bool SetWindowTitle(WindowHandle, const char16_t*) {
  return false;
}

bool IsWindowShown(WindowHandle) {
  return false;
}

bool IsWindowIconic(WindowHandle) {
  return false;
}

bool IsWindowZoomed(WindowHandle) {
  return false;
}

bool IsWindowTopmost(WindowHandle) {
  return false;
}

WindowHandle ForegroundWindow() {
  return nullptr;
}

WindowHandle WindowAncestor(WindowHandle) {
  return nullptr;
}

std::u16string WindowClassName(WindowHandle) {
  return std::u16string();
}

std::u16string WindowModuleFile(WindowHandle) {
  return std::u16string();
}

std::uint32_t WindowProcessId(WindowHandle) {
  return 0;
}

std::u16string ProcessProgramFile(std::uint32_t) {
  return std::u16string();
}

InputIdle WaitForWindowInputIdle(WindowHandle, std::uint32_t) {
  return InputIdle::Failed;
}

void BringToForeground(WindowHandle) {}

void PostWindowCommand(WindowHandle, WindowCommand) {}

void ShowWindowAs(WindowHandle, WindowShow) {}

bool SetWindowTopmost(WindowHandle, bool) {
  return false;
}

bool WindowRectangle(WindowHandle, PixelRect&) {
  return false;
}

bool MoveWindowTo(WindowHandle, const PixelRect&) {
  return false;
}

PixelPoint ScreenSize() {
  return PixelPoint{0, 0};
}

int MonitorCount() {
  return 0;
}

PixelPoint MinimumWindowSize() {
  return PixelPoint{0, 0};
}

std::int32_t ScaleNumber(std::int32_t a, std::int32_t b, std::int32_t c) {
  return c == 0 ? -1 : static_cast<std::int32_t>(static_cast<std::int64_t>(a) * b / c);
}

bool ReadWindowPlacement(WindowHandle, WindowPlacement&) {
  return false;
}

bool WriteWindowPlacement(WindowHandle, WindowPlacement, bool) {
  return false;
}

}  // namespace kel::platform
