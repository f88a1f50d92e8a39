// A helper that answers the engine's error box as a user would: it waits for the box on another
// thread, reads what it shows and presses one of its buttons.
#ifndef KEL_TESTS_ERRORS_ERROR_BOX_CLICKER_H
#define KEL_TESTS_ERRORS_ERROR_BOX_CLICKER_H

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace kel::testing {

// What the helper saw of the box it answered.
struct BoxSighting {
  bool found = false;
  std::string title;
  std::string headline;     // control 102
  std::string errorLine;    // control 120
  std::string firstButton;  // button 1
  bool hasExitButton = false;
  bool moreInfoEnabled = false;
  bool webPageVisible = false;
  // The traceback window's lines, when the helper was asked to open it first.
  std::string tracebackTitle;
  std::vector<std::string> traceback;
};

class ErrorBoxClicker {
 public:
  // Starts looking for a box of this process and presses `button` on the first one found; with
  // `readTraceback` it opens the traceback window first, reads it and closes it. If no window
  // has appeared and the test has not finished within the time limit, the test program ends
  // with a failure: a modal box that nobody answers would otherwise hang it.
  explicit ErrorBoxClicker(int button, bool readTraceback = false);
  ~ErrorBoxClicker();
  ErrorBoxClicker(const ErrorBoxClicker&) = delete;
  ErrorBoxClicker& operator=(const ErrorBoxClicker&) = delete;

  // Stops looking (when the box has not come) and returns what was seen.
  BoxSighting Finish();

 private:
  void Watch();
  // Polls for a window of this process that `accept` takes; null when the test finished first.
  HWND AwaitWindow(WNDENUMPROC accept);

  int button_;
  bool readTraceback_;
  std::atomic<bool> done_{false};
  BoxSighting sighting_;
  std::thread thread_;
};

}  // namespace kel::testing

#endif  // KEL_TESTS_ERRORS_ERROR_BOX_CLICKER_H
