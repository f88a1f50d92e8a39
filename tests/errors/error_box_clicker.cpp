// The box-answering helper: polls the process's windows for a dialog with the error box's
// headline control, reads its controls and clicks a button.
#include "errors/error_box_clicker.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace kel::testing {
namespace {

constexpr int kHeadlineControl = 102;
constexpr int kErrorLineControl = 120;
constexpr int kMoreInfoControl = 131;
constexpr int kWebPageControl = 140;
constexpr int kTracebackControl = 132;
constexpr int kTracebackList = 100;
constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kGiveUpMilliseconds = 30000;

std::string ControlText(HWND window) {
  char text[4096] = "";
  if (window != nullptr) ::GetWindowTextA(window, text, sizeof text);
  return text;
}

bool OwnVisibleWindow(HWND window) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  return process == ::GetCurrentProcessId() && ::IsWindowVisible(window);
}

BOOL CALLBACK FindErrorBox(HWND window, LPARAM found) {
  if (!OwnVisibleWindow(window) || ::GetDlgItem(window, kHeadlineControl) == nullptr) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

BOOL CALLBACK FindTraceback(HWND window, LPARAM found) {
  if (!OwnVisibleWindow(window) || ::GetDlgItem(window, kHeadlineControl) != nullptr) return TRUE;
  HWND list = ::GetDlgItem(window, kTracebackList);
  char className[32] = "";
  if (list == nullptr || ::GetClassNameA(list, className, sizeof className) == 0 ||
      ::lstrcmpiA(className, "ListBox") != 0)
    return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

void Click(HWND dialog, int button) {
  // What a mouse click on the button makes it tell its dialog.
  ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, button)));
}

}  // namespace

ErrorBoxClicker::ErrorBoxClicker(int button, bool readTraceback)
    : button_(button), readTraceback_(readTraceback), thread_([this] { Watch(); }) {}

ErrorBoxClicker::~ErrorBoxClicker() {
  done_ = true;
  if (thread_.joinable()) thread_.join();
}

BoxSighting ErrorBoxClicker::Finish() {
  done_ = true;
  if (thread_.joinable()) thread_.join();
  return sighting_;
}

HWND ErrorBoxClicker::AwaitWindow(WNDENUMPROC accept) {
  DWORD start = ::GetTickCount();
  while (!done_) {
    HWND window = nullptr;
    ::EnumWindows(accept, reinterpret_cast<LPARAM>(&window));
    if (window != nullptr) return window;
    if (::GetTickCount() - start > kGiveUpMilliseconds) {
      std::fprintf(stderr, "no error box appeared within %lu ms\n", kGiveUpMilliseconds);
      std::fflush(stderr);
      std::_Exit(3);
    }
    ::Sleep(kPollMilliseconds);
  }
  return nullptr;
}

void ErrorBoxClicker::Watch() {
  HWND box = AwaitWindow(FindErrorBox);
  if (box == nullptr) return;
  sighting_.found = true;
  sighting_.title = ControlText(box);
  sighting_.headline = ControlText(::GetDlgItem(box, kHeadlineControl));
  sighting_.errorLine = ControlText(::GetDlgItem(box, kErrorLineControl));
  sighting_.firstButton = ControlText(::GetDlgItem(box, IDOK));
  sighting_.hasExitButton = ::GetDlgItem(box, IDCANCEL) != nullptr;
  sighting_.moreInfoEnabled = ::IsWindowEnabled(::GetDlgItem(box, kMoreInfoControl)) != FALSE;
  sighting_.webPageVisible = ::IsWindowVisible(::GetDlgItem(box, kWebPageControl)) != FALSE;
  if (readTraceback_) {
    Click(box, kTracebackControl);
    HWND traceback = AwaitWindow(FindTraceback);
    if (traceback == nullptr) return;
    sighting_.tracebackTitle = ControlText(traceback);
    HWND list = ::GetDlgItem(traceback, kTracebackList);
    LRESULT count = ::SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      char line[4096] = "";
      if (::SendMessageA(list, LB_GETTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof line))
        ::SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
      sighting_.traceback.push_back(line);
    }
    Click(traceback, IDOK);
    // The box answers again once its traceback window is gone.
    while (!done_ && ::IsWindow(traceback))
      ::Sleep(kPollMilliseconds);
  }
  Click(box, button_);
}

}  // namespace kel::testing
