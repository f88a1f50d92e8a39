// The services of the window functions: finding the top-level windows of every program and
// their children, reading and setting their titles, states, places and stored placements.
// Titles are UTF-16 text.
//
// A system without a window manager answers HasWindowManager() with false; the window
// functions then report that they are not available, and the other services here find no
// window and do nothing.
#ifndef KEL_PLATFORM_WINDOW_MANAGER_H
#define KEL_PLATFORM_WINDOW_MANAGER_H

#include <cstdint>
#include <string>
#include <vector>

namespace kel::platform {

using WindowHandle = void*;

bool HasWindowManager();

// The top-level windows, front to back; the children (at every depth) of a window.
std::vector<WindowHandle> TopLevelWindows();
std::vector<WindowHandle> ChildWindows(WindowHandle parent);

// Whether a handle still names a window; the handle of a number, and the number of a handle.
bool IsWindowHandle(WindowHandle window);
WindowHandle WindowFromNumber(std::uint32_t number);
std::uint32_t WindowNumber(WindowHandle window);

std::u16string WindowTitle(WindowHandle window);
bool SetWindowTitle(WindowHandle window, const char16_t* title);

bool IsWindowShown(WindowHandle window);
bool IsWindowIconic(WindowHandle window);
bool IsWindowZoomed(WindowHandle window);
bool IsWindowTopmost(WindowHandle window);
WindowHandle ForegroundWindow();
WindowHandle WindowAncestor(WindowHandle window);  // the parent or owner; null at the top

// The window's class name, the file of the module that made it (empty when the system does not
// say), the id of the process that owns it, and that process's program file (empty when it
// cannot be read).
std::u16string WindowClassName(WindowHandle window);
std::u16string WindowModuleFile(WindowHandle window);
std::uint32_t WindowProcessId(WindowHandle window);
std::u16string ProcessProgramFile(std::uint32_t processId);
// Waits at most `milliseconds` for the program that owns the window to wait for input:
// Ready, Busy after the time, or Failed when the program cannot be asked.
enum class InputIdle { Ready, Busy, Failed };
InputIdle WaitForWindowInputIdle(WindowHandle window, std::uint32_t milliseconds);

// Brings a window to the front and gives the keyboard focus to its topmost child.
void BringToForeground(WindowHandle window);
// Changes that the window's own program carries out: posted as system commands.
enum class WindowCommand { Restore, Minimize, Maximize, Close };
void PostWindowCommand(WindowHandle window, WindowCommand command);
// Changes made directly.
enum class WindowShow { Hide, ShowInPlace, Show, Minimize, Maximize };
void ShowWindowAs(WindowHandle window, WindowShow how);
bool SetWindowTopmost(WindowHandle window, bool topmost);

// Rectangles in screen pixels.
struct PixelRect {
  std::int32_t left, top, right, bottom;
};
struct PixelPoint {
  std::int32_t x, y;
};
bool WindowRectangle(WindowHandle window, PixelRect& rect);
// Moves and sizes without changing the z-order or activating it.
bool MoveWindowTo(WindowHandle window, const PixelRect& rect);

// The primary screen's size, the number of monitors and the least size of a window.
PixelPoint ScreenSize();
int MonitorCount();
PixelPoint MinimumWindowSize();
// (a × b) / c rounded as the system's own scaling rounds.
std::int32_t ScaleNumber(std::int32_t a, std::int32_t b, std::int32_t c);

// The placement the system keeps for a window: its positions when iconic, normal and zoomed.
struct WindowPlacement {
  PixelPoint iconic;
  PixelPoint zoomed;
  PixelRect normal;
  std::uint32_t flags;
  std::uint32_t showCommand;
};
bool ReadWindowPlacement(WindowHandle window, WindowPlacement& placement);
// `iconicSet`: the iconic position is an explicit one.
bool WriteWindowPlacement(WindowHandle window, WindowPlacement placement, bool iconicSet);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_WINDOW_MANAGER_H
