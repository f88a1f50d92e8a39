// ItemSelect's selection box on Windows: a helper thread picks an item and presses OK or Cancel.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "unit/strings_support.h"

namespace kel::testing {
namespace {

constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kGiveUpMilliseconds = 30000;

struct Search {
  const char* title;
  HWND found;
};

BOOL CALLBACK FindByTitle(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
  char title[256] = "";
  ::GetWindowTextA(window, title, sizeof title);
  if (std::string(title) != search->title) return TRUE;
  search->found = window;
  return FALSE;
}

// Answers the box with this title as a user would: selects item `pick` (when not negative) in
// its list box and clicks `button`. A box that never comes ends the program with a failure
// rather than leaving it waiting.
class SelectionBoxUser {
 public:
  SelectionBoxUser(const char* title, int pick, int button)
      : title_(title), pick_(pick), button_(button), thread_([this] { Answer(); }) {}
  ~SelectionBoxUser() { Finish(); }

  // The list box's lines, as the user saw them.
  std::vector<std::string> Finish() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return lines_;
  }

 private:
  void Answer() {
    Search search{title_, nullptr};
    DWORD start = ::GetTickCount();
    while (!done_ && search.found == nullptr) {
      ::EnumWindows(FindByTitle, reinterpret_cast<LPARAM>(&search));
      if (search.found != nullptr) break;
      if (::GetTickCount() - start > kGiveUpMilliseconds) {
        std::fprintf(stderr, "no selection box appeared within %lu ms\n", kGiveUpMilliseconds);
        std::fflush(stderr);
        std::_Exit(3);
      }
      ::Sleep(kPollMilliseconds);
    }
    if (search.found == nullptr) return;
    HWND box = search.found;
    HWND list = ::FindWindowExA(box, nullptr, "ListBox", nullptr);
    LRESULT count = list != nullptr ? ::SendMessageA(list, LB_GETCOUNT, 0, 0) : 0;
    for (LRESULT i = 0; i < count; ++i) {
      char line[256] = "";
      if (::SendMessageA(list, LB_GETTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof line))
        ::SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
      lines_.push_back(line);
    }
    if (pick_ >= 0) ::SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(pick_), 0);
    // What a mouse click on the button makes it tell its dialog.
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, button_)));
  }

  const char* title_;
  int pick_;
  int button_;
  std::atomic<bool> done_{false};
  std::vector<std::string> lines_;
  std::thread thread_;
};

TEST_F(StringFunctionsTest, ItemSelectGivesTheItemChosenWithOk) {
  SelectionBoxUser user("Pick a fruit", 1, IDOK);
  StringOutcome outcome =
      Evaluate("ItemSelect(\"Pick a fruit\", \"apple|banana split|cherry\", \"|\")");
  std::vector<std::string> lines = user.Finish();
  EXPECT_EQ(outcome.error, 0u);
  EXPECT_EQ(outcome.form, Form::Ansi);
  EXPECT_EQ(outcome.text, "banana split");
  EXPECT_EQ(lines, (std::vector<std::string>{"apple", "banana split", "cherry"}))
      << "the items in the list's own order";
}

TEST_F(StringFunctionsTest, ItemSelectChoosesTheFirstItemWhenOkIsPressedAtOnce) {
  SelectionBoxUser user("Pick a colour", -1, IDOK);
  StringOutcome outcome = Evaluate("ItemSelect(\"Pick a colour\", \"red green blue\", \" \")");
  user.Finish();
  EXPECT_EQ(outcome.error, 0u);
  EXPECT_EQ(outcome.text, "red");
}

TEST_F(StringFunctionsTest, ItemSelectGivesAnEmptyTextWhenCancelled) {
  SelectionBoxUser user("Pick nothing", 2, IDCANCEL);
  StringOutcome outcome = Evaluate("ItemSelect(\"Pick nothing\", \"a,b,c\", \",\")");
  user.Finish();
  EXPECT_EQ(outcome.error, 0u);
  EXPECT_EQ(outcome.form, Form::Ansi);
  EXPECT_EQ(outcome.text, "");
}

}  // namespace
}  // namespace kel::testing
