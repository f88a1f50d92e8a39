// The single-step box as a user meets it: a helper thread waits for each "DEBUG" box, reads the
// statement it offers, steps, asks for a variable and cancels the script. Windows only.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "core/exports.h"
#include "lang/variables.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kGiveUpMilliseconds = 30000;
constexpr int kNextText = 104;
constexpr int kVariableField = 105;
constexpr int kNextButton = 126;
constexpr int kCancelButton = 121;
constexpr int kShowButton = 128;

BOOL CALLBACK FindStepBox(HWND window, LPARAM data) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
  char title[64] = "";
  ::GetWindowTextA(window, title, sizeof title);
  if (std::strcmp(title, "DEBUG") != 0) return TRUE;
  *reinterpret_cast<HWND*>(data) = window;
  return FALSE;
}

// Waits for the next box; a box that never comes ends the program rather than leaving it waiting.
HWND AwaitBox() {
  const DWORD start = ::GetTickCount();
  for (;;) {
    HWND box = nullptr;
    ::EnumWindows(FindStepBox, reinterpret_cast<LPARAM>(&box));
    if (box != nullptr) return box;
    if (::GetTickCount() - start > kGiveUpMilliseconds) {
      std::fprintf(stderr, "no single-step box appeared within %lu ms\n", kGiveUpMilliseconds);
      std::fflush(stderr);
      std::_Exit(3);
    }
    ::Sleep(kPollMilliseconds);
  }
}

std::string ItemText(HWND box, int item) {
  char text[512] = "";
  ::GetDlgItemTextA(box, item, text, sizeof text);
  return text;
}

// What a mouse click on the button makes it tell its dialog.
void Click(HWND box, int button) {
  ::SendMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
}

void AwaitClosed(HWND box) {
  const DWORD start = ::GetTickCount();
  while (::IsWindow(box) && ::GetTickCount() - start < kGiveUpMilliseconds)
    ::Sleep(kPollMilliseconds);
}

class StepBoxTest : public EngineFixture {
 protected:
  void Run(const char* text) {
    platform::MemoryHandle script =
        platform::GlobalAllocate(std::strlen(text) + 2, platform::Fill::Zero);
    std::memcpy(platform::GlobalLock(script), text, std::strlen(text));
    platform::GlobalUnlock(script);
    EXPECT_EQ(ProcessDaBatBuffer(nullptr, contextHandle_, script, nullptr, nullptr), 1);
    platform::GlobalFree(script);
  }
  std::string Variable(const char* name) {
    char text[64] = "";
    return VariableText(context(), name, text, sizeof text) ? text : "<none>";
  }
};

// Three statements stepped, one variable looked at, then the script cancelled: the statements
// after the cancel never run.
TEST_F(StepBoxTest, AUserStepsLooksAtAVariableAndCancels) {
  std::vector<std::string> offered;
  std::string previous, shown;
  std::thread user([&] {
    for (int step = 0; step < 3; ++step) {
      HWND box = AwaitBox();
      offered.push_back(ItemText(box, kNextText));
      Click(box, kNextButton);
      AwaitClosed(box);
    }
    HWND box = AwaitBox();
    offered.push_back(ItemText(box, kNextText));
    previous = ItemText(box, 102);
    ::SetDlgItemTextA(box, kVariableField, "x = whatever");
    Click(box, kShowButton);
    shown = ItemText(box, kVariableField);
    ::SetDlgItemTextA(box, kVariableField, "nosuch");
    Click(box, kShowButton);
    shown += "|" + ItemText(box, kVariableField);
    Click(box, kCancelButton);
    AwaitClosed(box);
    // The end of the script is shown once more.
    box = AwaitBox();
    offered.push_back(ItemText(box, kNextText));
    Click(box, kNextButton);
  });
  Run("Debug(1)\nx = 5\ny = x + 1\nz = \"seven\"\nw = 8\n");
  user.join();
  EXPECT_EQ(offered, (std::vector<std::string>{"x = 5", "y = x + 1", "z = \"seven\"", "w = 8",
                                               ";;;END OF JOB;;;"}));
  EXPECT_NE(previous.find("VALUE STRING => \"seven\""), std::string::npos) << previous;
  EXPECT_EQ(shown, "x = \"5\"|nosuch = ??? Unknown Variable");
  EXPECT_EQ(Variable("z"), "seven");
  EXPECT_EQ(Variable("w"), "<none>") << "the cancelled statement never ran";
}

// Run leaves single-step mode: the rest of the script runs without the box.
TEST_F(StepBoxTest, RunLeavesSingleStepMode) {
  std::thread user([&] {
    HWND box = AwaitBox();
    Click(box, 127);
  });
  Run("Debug(1)\na = 1\nb = 2\nc = Debug(0)\n");
  user.join();
  EXPECT_EQ(Variable("b"), "2");
  EXPECT_EQ(Variable("c"), "0") << "the mode was off again";
}

}  // namespace
}  // namespace kel::testing
