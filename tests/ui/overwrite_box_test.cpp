// The overwrite confirmation box of FileCopy and FileMove on Windows: a thread of the test finds
// the box by its title, reads the names it shows and presses a button by its label, as a user
// would.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "unit/strings_support.h"

namespace kel::testing {
namespace {

constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kGiveUpMilliseconds = 30000;
constexpr char kTitle[] = "Confirm File Replace";

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
  char title[64] = "";
  ::GetWindowTextA(window, title, sizeof title);
  if (std::string(title) != kTitle) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

struct ButtonSearch {
  const char* label;
  HWND found;
};

BOOL CALLBACK FindButton(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<ButtonSearch*>(data);
  char text[64] = "";
  ::GetWindowTextA(window, text, sizeof text);
  if (std::string(text) != search->label) return TRUE;
  search->found = window;
  return FALSE;
}

// Everything the box says, its static texts joined by line feeds.
BOOL CALLBACK CollectText(HWND window, LPARAM data) {
  char className[16] = "", text[1024] = "";
  ::GetClassNameA(window, className, sizeof className);
  if (::lstrcmpiA(className, "Static") != 0) return TRUE;
  ::GetWindowTextA(window, text, sizeof text);
  *reinterpret_cast<std::string*>(data) += std::string(text) + "\n";
  return TRUE;
}

// Answers every box that comes with the button labelled `label`, and counts the boxes. A box
// that never comes is fine (the copy may not need to ask); a test that never ends is not.
class OverwriteBoxUser {
 public:
  explicit OverwriteBoxUser(const char* label) : label_(label), thread_([this] { Answer(); }) {}
  ~OverwriteBoxUser() { Finish(); }

  int Finish() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return boxes_;
  }
  const std::string& Texts() const { return texts_; }

 private:
  void Answer() {
    DWORD start = ::GetTickCount();
    while (!done_) {
      HWND box = nullptr;
      ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
      if (box != nullptr) {
        ButtonSearch button{label_, nullptr};
        ::EnumChildWindows(box, FindButton, reinterpret_cast<LPARAM>(&button));
        if (boxes_++ == 0) ::EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts_));
        // What a mouse click on the button makes it tell its dialog.
        ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button.found), BN_CLICKED),
                       reinterpret_cast<LPARAM>(button.found));
        while (!done_ && ::IsWindow(box))
          ::Sleep(kPollMilliseconds);
      }
      if (::GetTickCount() - start > kGiveUpMilliseconds) {
        std::fprintf(stderr, "the test did not end within %lu ms\n", kGiveUpMilliseconds);
        std::fflush(stderr);
        std::_Exit(3);
      }
      ::Sleep(kPollMilliseconds);
    }
  }

  const char* label_;
  std::atomic<bool> done_{false};
  int boxes_ = 0;
  std::string texts_;
  std::thread thread_;
};

class OverwriteBoxTest : public StringFunctionsTest {
 protected:
  void SetUp() override {
    StringFunctionsTest::SetUp();
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    directory_ = std::string(temp) + "kel_overwrite_" + std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryA(directory_.c_str(), nullptr);
    directory_ += "\\";
  }
  void TearDown() override {
    for (const char* name : {"a.txt", "b.txt", "out\\a.txt", "out\\b.txt"})
      ::DeleteFileA(Path(name).c_str());
    ::RemoveDirectoryA(Path("out").c_str());
    ::RemoveDirectoryA(directory_.c_str());
    StringFunctionsTest::TearDown();
  }

  std::string Path(const std::string& name) const { return directory_ + name; }

  // Writes a file whose last-write time is `day` of January 2020.
  void Put(const std::string& name, const std::string& text, int day) {
    HANDLE file = ::CreateFileA(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    SYSTEMTIME when{2020, 1, 0, static_cast<WORD>(day), 12, 0, 0, 0};
    FILETIME stamp;
    ::SystemTimeToFileTime(&when, &stamp);
    ::SetFileTime(file, nullptr, nullptr, &stamp);
    ::CloseHandle(file);
  }

  // A newer "a.txt" and an older one in "out", which a copy to "out" would replace.
  void PrepareNewerSource() {
    ::CreateDirectoryA(Path("out").c_str(), nullptr);
    Put("a.txt", "new", 2);
    Put("out\\a.txt", "old", 1);
  }

  std::string Get(const std::string& name) {
    return Evaluate("FileGet(\"" + Path(name) + "\")").text;
  }

  // Copies (or moves) the directory's text files into "out" with warnings on.
  StringOutcome Transfer(const char* function) {
    return Evaluate(std::string(function) + "(\"" + Path("*.txt") + "\", \"" + Path("out\\") +
                    "\", @TRUE)");
  }

  std::string directory_;
};

TEST_F(OverwriteBoxTest, OverwriteReplacesTheTargetAndShowsBothNames) {
  PrepareNewerSource();
  OverwriteBoxUser user("O&verwrite");
  StringOutcome outcome = Transfer("FileCopy");
  EXPECT_EQ(user.Finish(), 1);
  EXPECT_EQ(outcome.error, 0u);
  EXPECT_EQ(outcome.text, "1");
  EXPECT_EQ(Get("out\\a.txt"), "new");
  EXPECT_NE(user.Texts().find("Replace file:"), std::string::npos) << user.Texts();
  EXPECT_NE(user.Texts().find("with file:"), std::string::npos);
  EXPECT_NE(user.Texts().find("3 bytes"), std::string::npos);
}

TEST_F(OverwriteBoxTest, SkipLeavesTheTargetAndSucceeds) {
  PrepareNewerSource();
  OverwriteBoxUser user("&Skip");
  StringOutcome outcome = Transfer("FileMove");
  EXPECT_EQ(user.Finish(), 1);
  EXPECT_EQ(outcome.text, "1");
  EXPECT_EQ(Get("out\\a.txt"), "old");
  EXPECT_EQ(Get("a.txt"), "new") << "a skipped file is not moved";
}

TEST_F(OverwriteBoxTest, CancelStopsWithTheUserCancel) {
  PrepareNewerSource();
  OverwriteBoxUser user("&Cancel");
  StringOutcome outcome = Transfer("FileCopy");
  EXPECT_EQ(user.Finish(), 1);
  EXPECT_EQ(outcome.error, 9999u);
  EXPECT_EQ(Get("out\\a.txt"), "old");
}

TEST_F(OverwriteBoxTest, NewerForAllAsksOnceAndCopiesOnlyNewerSources) {
  ::CreateDirectoryA(Path("out").c_str(), nullptr);
  Put("a.txt", "new a", 3);
  Put("b.txt", "new b", 1);
  Put("out\\a.txt", "old a", 2);
  Put("out\\b.txt", "old b", 2);
  OverwriteBoxUser user("Use Ne&wer All");
  StringOutcome outcome = Transfer("FileCopy");
  EXPECT_EQ(user.Finish(), 1) << "the answer holds for the files that follow";
  EXPECT_EQ(outcome.text, "1");
  EXPECT_EQ(Get("out\\a.txt"), "new a");
  EXPECT_EQ(Get("out\\b.txt"), "old b");
}

TEST_F(OverwriteBoxTest, NoBoxWhereNothingIsReplaced) {
  ::CreateDirectoryA(Path("out").c_str(), nullptr);
  Put("a.txt", "new", 2);
  OverwriteBoxUser user("&Cancel");
  StringOutcome outcome = Transfer("FileCopy");
  EXPECT_EQ(user.Finish(), 0);
  EXPECT_EQ(outcome.text, "1");
}

}  // namespace
}  // namespace kel::testing
