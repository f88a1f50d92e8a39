// The window functions that act on one window: existence and waits, activation, showing,
// hiding, iconizing, zooming and closing, placing and reading positions, states and titles,
// window ids, the stored placement and the topmost state.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/windows/window_support.h"
#include "host/pump.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/platform.h"
#include "platform/window_manager.h"

namespace kel {
namespace {

using platform::PixelPoint;
using platform::PixelRect;
using platform::WindowHandle;

// The lower-right coordinates that keep the current width or height, and that reach down to
// the bottom edge of a window the system places itself.
constexpr std::int32_t kNoResize = 1000000000;
constexpr std::int32_t kAboveIcons = 1000000001;
// The virtual screen: thousandths of the primary screen.
constexpr std::int32_t kVirtualSize = 1000;
// On a single monitor coordinates are kept within this range before scaling.
constexpr std::int32_t kLowestCoordinate = -1000;
constexpr std::int32_t kHighestCoordinate = 2000;
// The longest wait for a window, in seconds, and its looks a second.
constexpr std::int32_t kLongestWaitSeconds = 86400;
constexpr std::int32_t kLooksPerSecond = 4;
constexpr std::int32_t kLookPauseMs = 250;
constexpr std::int32_t kCloseFirstPauseMs = 1500;
// The pauses of an activation.
constexpr std::int32_t kActivatePauseMs = 50;
constexpr std::int32_t kOwnerFirstPauseMs = 25;
// How often the message loop runs before a window is moved, and before its placement is read.
constexpr int kPumpsBeforeMove = 4;
constexpr int kPumpsBeforePlacement = 50;
// A wait for a program to be ready for input looks at messages this often.
constexpr std::uint32_t kReadySliceMs = 100;

void Pump(BatchContext& context) {
  if (context.noYield)
    LightPump(context);
  else
    FullPump(context);
}

// The window of a name after the finder's retries; null with `notFound` set when there is none
// (a stopped script keeps its stop, without an error).
WindowHandle NeedWindow(BatchContext& context, const std::u16string& name, std::uint32_t notFound) {
  WindowHandle window = FindWindowRetrying(context, name);
  if (window == nullptr && context.stopRequested == 0) SetError(context, notFound);
  return window;
}

void PostAndPause(BatchContext& context, WindowHandle window, platform::WindowCommand command) {
  platform::PostWindowCommand(window, command);
  WindowPause(context, context.windows.actionDelayMs);
}

// Whether `ancestor` is a parent or owner of `window`, at any depth.
bool HasAncestor(WindowHandle window, WindowHandle ancestor) {
  for (WindowHandle up = platform::WindowAncestor(window); up != nullptr;
       up = platform::WindowAncestor(up))
    if (up == ancestor) return true;
  return false;
}

void Activate(BatchContext& context, WindowHandle window) {
  if (platform::IsWindowEnabled(window)) {
    platform::BringToForeground(window);
    WindowPause(context, kActivatePauseMs);
    if (platform::IsWindowIconic(window))
      PostAndPause(context, window, platform::WindowCommand::Restore);
    return;
  }
  // A disabled window waits for a box of its own: that box comes to the front after it.
  for (WindowHandle other : platform::TopLevelWindows()) {
    if (!platform::IsWindowEnabled(other) || !platform::IsWindowShown(other) ||
        !HasAncestor(other, window))
      continue;
    platform::BringToForeground(window);
    WindowPause(context, kOwnerFirstPauseMs);
    platform::BringToForeground(other);
    WindowPause(context, kActivatePauseMs);
    return;
  }
}

// A window that is iconic, zoomed or hidden back in its normal state.
void Restore(BatchContext& context, WindowHandle window) {
  if (IsOwnWindow(context, window)) {
    platform::ShowWindowAs(window, platform::WindowShow::ShowInPlace);
  } else if (!platform::IsWindowShown(window)) {
    platform::ShowWindowAs(window, platform::WindowShow::Show);
  } else {
    PostAndPause(context, window, platform::WindowCommand::Restore);
  }
}

void ChangeState(BatchContext& context, std::uint32_t code, WindowHandle window) {
  const bool own = IsOwnWindow(context, window);
  switch (code) {
    case kKeywordWinHide:
      platform::ShowWindowAs(window, platform::WindowShow::Hide);
      break;
    case kKeywordWinShow:
      Restore(context, window);
      break;
    case kKeywordWinIconize:
      if (platform::IsWindowIconic(window)) break;
      if (own)
        platform::ShowWindowAs(window, platform::WindowShow::Minimize);
      else
        PostAndPause(context, window, platform::WindowCommand::Minimize);
      break;
    case kKeywordWinZoom:
      if (platform::IsWindowZoomed(window)) break;
      if (own)
        platform::ShowWindowAs(window, platform::WindowShow::Maximize);
      else
        PostAndPause(context, window, platform::WindowCommand::Maximize);
      break;
    default:  // WinClose: the script's own window stays open.
      if (!own) PostAndPause(context, window, platform::WindowCommand::Close);
      break;
  }
}

std::uint32_t NotFoundError(std::uint32_t code) {
  switch (code) {
    case kKeywordWinHide:
      return kErrWinHideNotFound;
    case kKeywordWinShow:
      return kErrWinShowNotFound;
    case kKeywordWinIconize:
      return kErrWinIconizeNotFound;
    case kKeywordWinZoom:
      return kErrWinZoomNotFound;
    default:
      return kErrWinCloseNotFound;
  }
}

std::int32_t Clamp(std::int32_t value, std::int32_t low, std::int32_t high) {
  return value < low ? low : value > high ? high : value;
}

// The pixel rectangle of a place in the virtual screen, for a window now at `current`.
PixelRect PlaceInPixels(const BatchContext& context, const std::int32_t place[4],
                        const PixelRect& current) {
  const PixelPoint screen = platform::ScreenSize();
  const bool single = platform::MonitorCount() <= 1;
  auto scale = [&](std::int32_t value, std::int32_t size) {
    if (single) value = Clamp(value, kLowestCoordinate, kHighestCoordinate);
    return platform::ScaleNumber(value, size, kVirtualSize);
  };
  PixelRect rect{scale(place[0], screen.x), scale(place[1], screen.y), 0, 0};
  rect.right = place[2] == kNoResize ? 0 : scale(place[2], screen.x);
  rect.bottom = place[3] >= kNoResize ? 0 : scale(place[3], screen.y);
  std::int32_t width = rect.right - rect.left;
  std::int32_t height = rect.bottom - rect.top;
  if (single) {
    const PixelPoint least = platform::MinimumWindowSize();
    if (rect.left > screen.x - least.x) rect.left = screen.x - least.x;
    if (rect.top > screen.y - least.y) rect.top = screen.y - least.y;
    width = Clamp(rect.right - rect.left, least.x, screen.x);
    height = Clamp(rect.bottom - rect.top, least.y, screen.y);
  }
  if (place[2] == kNoResize) width = current.right - current.left;
  if (place[3] == kNoResize) height = current.bottom - current.top;
  if (place[3] == kAboveIcons) height = context.windowBottom - rect.top;
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
  return rect;
}

void Place(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  WindowHandle window =
      NeedWindow(context, WindowNameArgument(context, arguments[4]), kErrWinPlaceNotFound);
  if (window == nullptr) return;
  if (platform::IsWindowIconic(window) || platform::IsWindowZoomed(window) ||
      !platform::IsWindowShown(window)) {
    Restore(context, window);
    for (int i = 0; i < kPumpsBeforeMove; ++i)
      Pump(context);
  }
  const std::int32_t place[4] = {arguments[0].value.intValue, arguments[1].value.intValue,
                                 arguments[2].value.intValue, arguments[3].value.intValue};
  PixelRect current{};
  platform::WindowRectangle(window, current);
  platform::MoveWindowTo(window, PlaceInPixels(context, place, current));
  SetEvalInteger(context, result, 1);
}

// A pixel position in thousandths of the screen, truncated toward zero.
std::int32_t Virtual(std::int32_t pixels, std::int32_t size) {
  return size > 0
             ? static_cast<std::int32_t>(static_cast<std::int64_t>(pixels) * kVirtualSize / size)
             : 0;
}

bool SetNumbersResult(BatchContext& context, EvalValue& result, const std::int32_t* numbers,
                      int count, char separator) {
  std::u16string text;
  char number[16];
  for (int i = 0; i < count; ++i) {
    if (i > 0) text.push_back(static_cast<char16_t>(separator));
    std::snprintf(number, sizeof number, "%ld", static_cast<long>(numbers[i]));
    for (const char* c = number; *c != '\0'; ++c)
      text.push_back(static_cast<char16_t>(*c));
  }
  return SetWindowTextResult(context, result, text);
}

void Position(BatchContext& context, EvalValue& result, const std::u16string& name) {
  WindowHandle window = NeedWindow(context, name, kErrWinPositionNotFound);
  if (window == nullptr) return;
  PixelRect rect{};
  platform::WindowRectangle(window, rect);
  const PixelPoint screen = platform::ScreenSize();
  const std::int32_t numbers[4] = {Virtual(rect.left, screen.x), Virtual(rect.top, screen.y),
                                   Virtual(rect.right, screen.x), Virtual(rect.bottom, screen.y)};
  SetNumbersResult(context, result, numbers, 4, ',');
}

void State(BatchContext& context, EvalValue& result, const std::u16string& name) {
  WindowHandle window = FindWindowRetrying(context, name);
  std::int32_t state = 0;
  if (window != nullptr) {
    if (!platform::IsWindowShown(window))
      state = -1;
    else if (platform::IsWindowZoomed(window))
      state = 3;
    else if (platform::IsWindowIconic(window))
      state = 1;
    else
      state = 2;
  }
  SetEvalInteger(context, result, state);
}

// The wait for a window to appear: four looks a second up to the timeout (-1: no limit).
std::int32_t WaitLooks(std::int32_t seconds) {
  if (seconds < -1) return 0;
  if (seconds == -1) return -1;
  return (seconds > kLongestWaitSeconds ? kLongestWaitSeconds : seconds) * kLooksPerSecond;
}

void WaitExist(BatchContext& context, EvalValue& result, const std::u16string& name,
               std::int32_t seconds) {
  SetEvalInteger(context, result, 0);
  if (name.empty()) return SetEvalInteger(context, result, 1);
  const std::int32_t looks = WaitLooks(seconds);
  for (std::int32_t look = 0;; ++look) {
    if (FindWindowOnce(context, name) != nullptr) {
      WindowPause(context, context.windows.waitDelayMs);
      return SetEvalInteger(context, result, 1);
    }
    if ((looks >= 0 && look >= looks) || !WindowPause(context, kLookPauseMs)) return;
  }
}

void WaitClose(BatchContext& context, EvalValue& result, const std::u16string& name,
               std::int32_t seconds) {
  SetEvalInteger(context, result, 0);
  if (!WindowPause(context, kCloseFirstPauseMs)) return;
  const std::int32_t looks = WaitLooks(seconds);
  bool seen = false;
  for (std::int32_t look = 0; FindWindowOnce(context, name) != nullptr; ++look) {
    seen = true;
    if ((looks >= 0 && look >= looks) || !WindowPause(context, kLookPauseMs)) break;
  }
  if (!seen) return;
  WindowPause(context, context.windows.waitDelayMs);
  SetEvalInteger(context, result, 1);
}

// The stored placement as text: "x y" for the iconic (1) and zoomed (3) positions, "x1 y1 x2 y2"
// for the normal rectangle (2).
int PlacementNumbers(const platform::WindowPlacement& placement, std::int32_t type,
                     std::int32_t numbers[4]) {
  const PixelPoint screen = platform::ScreenSize();
  if (type == 2) {
    numbers[0] = Virtual(placement.normal.left, screen.x);
    numbers[1] = Virtual(placement.normal.top, screen.y);
    numbers[2] = Virtual(placement.normal.right, screen.x);
    numbers[3] = Virtual(placement.normal.bottom, screen.y);
    return 4;
  }
  const PixelPoint& point = type == 1 ? placement.iconic : placement.zoomed;
  numbers[0] = Virtual(point.x, screen.x);
  numbers[1] = Virtual(point.y, screen.y);
  return 2;
}

// Up to four whole numbers separated by blanks; how many were found.
int ReadNumbers(const std::u16string& text, std::int32_t numbers[4]) {
  std::string narrow;
  for (char16_t unit : text)
    narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
  const char* at = narrow.c_str();
  int found = 0;
  for (;;) {
    while (*at == ' ' || *at == '\t')
      ++at;
    if (*at == '\0') return found;
    char* end = nullptr;
    long number = std::strtol(at, &end, 10);
    if (end == at || found == 4) return -1;
    numbers[found++] = static_cast<std::int32_t>(number);
    at = end;
  }
}

void Placement(BatchContext& context, std::uint32_t code, EvalValue& result, EvalValue* arguments) {
  const std::int32_t type = arguments[0].value.intValue;
  if (type < 1 || type > 3) return SetError(context, kErrWinPlacementType);
  WindowHandle window =
      NeedWindow(context, WindowNameArgument(context, arguments[1]), kErrWinPlacementNotFound);
  if (window == nullptr) return;
  for (int i = 0; i < kPumpsBeforePlacement; ++i)
    Pump(context);
  platform::WindowPlacement placement{};
  if (!platform::ReadWindowPlacement(window, placement))
    return SetError(context, kErrWinPlacementFailed);
  std::int32_t before[4];
  const int count = PlacementNumbers(placement, type, before);
  if (code == kKeywordWinPlaceSet) {
    std::int32_t wanted[4];
    if (ReadNumbers(WindowNameArgument(context, arguments[2]), wanted) != count)
      return SetError(context, kErrWinPlaceSetCount);
    const PixelPoint screen = platform::ScreenSize();
    auto x = [&](std::int32_t value) {
      return platform::ScaleNumber(value, screen.x, kVirtualSize);
    };
    auto y = [&](std::int32_t value) {
      return platform::ScaleNumber(value, screen.y, kVirtualSize);
    };
    if (type == 2)
      placement.normal = PixelRect{x(wanted[0]), y(wanted[1]), x(wanted[2]), y(wanted[3])};
    else if (type == 1)
      placement.iconic = PixelPoint{x(wanted[0]), y(wanted[1])};
    else
      placement.zoomed = PixelPoint{x(wanted[0]), y(wanted[1])};
    if (!platform::WriteWindowPlacement(window, placement, type == 1))
      return SetError(context, kErrWinPlacementFailed);
  }
  SetNumbersResult(context, result, before, count, ' ');
}

void OnTop(BatchContext& context, EvalValue& result, const std::u16string& name,
           std::int32_t mode) {
  WindowHandle window = FindWindowOnce(context, name);
  if (window == nullptr) return SetError(context, kErrIntControlWindow);
  std::int32_t answer = 0;
  if (mode == -1)
    answer = platform::IsWindowTopmost(window) ? 1 : 0;
  else if (mode == 0 || mode == 1)
    answer = platform::SetWindowTopmost(window, mode == 1) ? 1 : 0;
  SetEvalInteger(context, result, answer);
}

bool SameTextIgnoringCase(const std::u16string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i)
    if (platform::LowerWide(a[i]) != static_cast<char16_t>(platform::LowerAnsi(b[i]))) return false;
  return i == a.size() && b[i] == '\0';
}

// A console window: one of the console's window classes, or made by the old console modules.
bool IsConsoleWindow(WindowHandle window) {
  const std::u16string className = platform::WindowClassName(window);
  for (const char* console : {"ConsoleWindowClass", "tty", "woa"})
    if (SameTextIgnoringCase(className, console)) return true;
  std::u16string module = platform::WindowModuleFile(window);
  const std::size_t slash = module.find_last_of(u"\\/:");
  if (slash != std::u16string::npos) module.erase(0, slash + 1);
  return SameTextIgnoringCase(module, "winoa386.mod") ||
         SameTextIgnoringCase(module, "winoldap.mod");
}

// Waits, letting messages through, until the window's program waits for input itself.
void WaitReady(BatchContext& context, EvalValue& result, const std::u16string& name,
               std::int32_t milliseconds) {
  WindowHandle window = FindWindowOnce(context, name);
  if (window == nullptr) return SetError(context, kErrIntControlWindow);
  const std::uint32_t start = platform::TickCount();
  const std::uint32_t limit = milliseconds > 0 ? static_cast<std::uint32_t>(milliseconds) : 0;
  for (;;) {
    const std::uint32_t elapsed = platform::TickCount() - start;
    const std::uint32_t left = elapsed < limit ? limit - elapsed : 0;
    switch (platform::WaitForWindowInputIdle(window, left < kReadySliceMs ? left : kReadySliceMs)) {
      case platform::InputIdle::Ready:
        return SetEvalInteger(context, result, 1);
      case platform::InputIdle::Failed:
        return;
      case platform::InputIdle::Busy:
        break;
    }
    Pump(context);
    if (left == 0 || context.stopRequested != 0) return;
  }
}

}  // namespace

KEL_FAMILY_ROUTINE(WindowFunction) {
  (void)unicode;
  if (!platform::HasWindowManager()) return SetError(context, kErrNotAvailable);
  SetEvalInteger(context, result, 0);
  switch (code) {
    case kKeywordWinExist:
      return SetEvalInteger(
          context, result,
          FindWindowOnce(context, WindowNameArgument(context, arguments[0])) != nullptr ? 1 : 0);
    case kKeywordWinExistChild: {
      WindowHandle parent = FindWindowOnce(context, WindowNameArgument(context, arguments[0]));
      return SetEvalInteger(
          context, result,
          parent != nullptr &&
                  FindChildOnce(parent, WindowNameArgument(context, arguments[1])) != nullptr
              ? 1
              : 0);
    }
    case kKeywordWinActivate: {
      WindowHandle window =
          NeedWindow(context, WindowNameArgument(context, arguments[0]), kErrWinActivateNotFound);
      if (window == nullptr) return;
      Activate(context, window);
      return SetEvalInteger(context, result, 1);
    }
    case kKeywordWinClose:
    case kKeywordWinHide:
    case kKeywordWinShow:
    case kKeywordWinIconize:
    case kKeywordWinZoom: {
      const std::u16string name = WindowNameArgument(context, arguments[0]);
      // An empty name is the script's own window, which a close leaves open.
      if (code == kKeywordWinClose && name.empty()) return SetEvalInteger(context, result, 1);
      WindowHandle window = NeedWindow(context, name, NotFoundError(code));
      if (window == nullptr) return;
      ChangeState(context, code, window);
      return SetEvalInteger(context, result, 1);
    }
    case kKeywordWinPlace:
      return Place(context, result, arguments);
    case kKeywordWinPosition:
      return Position(context, result, WindowNameArgument(context, arguments[0]));
    case kKeywordWinState:
      return State(context, result, WindowNameArgument(context, arguments[0]));
    case kKeywordWinTitle: {
      WindowHandle window =
          NeedWindow(context, WindowNameArgument(context, arguments[0]), kErrWinTitleNotFound);
      if (window == nullptr) return;
      platform::SetWindowTitle(window, WindowNameArgument(context, arguments[1]).c_str());
      return SetEvalInteger(context, result, 1);
    }
    case kKeywordWinGetActive: {
      WindowHandle window = platform::ForegroundWindow();
      SetWindowTextResult(context, result,
                          window != nullptr ? platform::WindowTitle(window) : std::u16string());
      return;
    }
    case kKeywordWinIdGet: {
      WindowHandle window =
          NeedWindow(context, WindowNameArgument(context, arguments[0]), kErrWinIdGetNotFound);
      if (window != nullptr) SetWindowTextResult(context, result, WindowId(window));
      return;
    }
    case kKeywordWinWaitExist:
      return WaitExist(context, result, WindowNameArgument(context, arguments[0]),
                       arguments[1].value.intValue);
    case kKeywordWinWaitClose:
      return WaitClose(context, result, WindowNameArgument(context, arguments[0]),
                       count > 1 ? arguments[1].value.intValue : -1);
    case kKeywordWinPlaceGet:
    case kKeywordWinPlaceSet:
      return Placement(context, code, result, arguments);
    case kKeywordWinExeName: {
      WindowHandle window =
          NeedWindow(context, WindowNameArgument(context, arguments[0]), kErrWinExeNameNotFound);
      if (window != nullptr)
        SetWindowTextResult(context, result,
                            platform::ProcessProgramFile(platform::WindowProcessId(window)));
      return;
    }
    case kKeywordWinIsDos: {
      WindowHandle window =
          NeedWindow(context, WindowNameArgument(context, arguments[0]), kErrWinIsDosNotFound);
      if (window != nullptr) SetEvalInteger(context, result, IsConsoleWindow(window) ? 1 : 0);
      return;
    }
    case kKeywordWinWaitReady:
      return WaitReady(context, result, WindowNameArgument(context, arguments[0]),
                       arguments[1].value.intValue);
    case kKeywordWindowOnTop:
      return OnTop(context, result, WindowNameArgument(context, arguments[0]),
                   arguments[1].value.intValue);
    default:
      return SetError(context, kErrNotAvailable);
  }
}

}  // namespace kel
