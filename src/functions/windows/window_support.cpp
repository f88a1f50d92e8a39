// Window names and titles, the matching rule, window ids and the finder.
#include "functions/windows/window_support.h"

#include <cstdio>

#include "builtins/arguments.h"
#include "core/batch_context.h"
#include "core/process_state.h"
#include "functions/strings/text_units.h"
#include "host/pump.h"

namespace kel {
namespace {

constexpr char16_t kIdPrefix[] = u"#WIN$ID#";
constexpr std::size_t kIdPrefixLength = 8;
constexpr std::size_t kIdLength = kIdPrefixLength + 8;
constexpr std::int32_t kRetryPauseMs = 1000;

int HexDigit(char16_t unit) {
  if (unit >= u'0' && unit <= u'9') return unit - u'0';
  if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
  if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
  return -1;
}

bool IsWindowId(const std::u16string& name) {
  return name.size() == kIdLength && name.compare(0, kIdPrefixLength, kIdPrefix) == 0;
}

// The window of an id, while it is still a window.
platform::WindowHandle WindowOfId(const std::u16string& name) {
  std::uint32_t number = 0;
  for (std::size_t i = kIdPrefixLength; i < kIdLength; ++i) {
    int digit = HexDigit(name[i]);
    if (digit < 0) return nullptr;
    number = number * 16 + static_cast<std::uint32_t>(digit);
  }
  platform::WindowHandle window = platform::WindowFromNumber(number);
  return platform::IsWindowHandle(window) ? window : nullptr;
}

}  // namespace

std::u16string WindowNameArgument(const BatchContext& context, const EvalValue& argument) {
  if ((argument.value.flags & kValueWideText) != 0) {
    TextSpan<char16_t> text = WideArgument(context, argument);
    return std::u16string(text.data, text.length);
  }
  TextSpan<char> text = AnsiArgument(context, argument);
  if (text.length == 0) return std::u16string();
  std::u16string wide(text.length, u'\0');
  int units =
      platform::AnsiToWide(context.codePage, text.data, text.length, wide.data(), wide.size());
  wide.resize(units > 0 ? static_cast<std::size_t>(units) : 0);
  return wide;
}

bool SetWindowTextResult(BatchContext& context, EvalValue& result, const std::u16string& text) {
  if (Process().system.unicodePlatform)
    return SetTextResult<char16_t>(context, result, text.data(), text.size());
  // Every UTF-16 unit takes at most two bytes of a double-byte code page.
  std::string ansi(text.size() * 2 + 1, '\0');
  int bytes = text.empty() ? 0
                           : platform::WideToAnsi(context.codePage, text.data(), text.size(),
                                                  ansi.data(), ansi.size());
  return SetAnsiResult(context, result, ansi.data(),
                       bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
}

bool TitleMatches(const std::u16string& name, const std::u16string& title) {
  if (title.empty() || title == kOldApplicationTitle) return false;
  const std::size_t length = name.size();
  if (length >= 2 && name.front() == u'~') {
    const bool atEnd = length >= 3 && name.back() == u'~';
    const std::u16string part = name.substr(1, length - (atEnd ? 2 : 1));
    if (!atEnd) return title.find(part) != std::u16string::npos;
    // Any occurrence that ends where the title ends: the last possible one is the only one.
    return title.size() >= part.size() &&
           title.compare(title.size() - part.size(), part.size(), part) == 0;
  }
  if (length >= 2 && name.back() == u'~')
    return title.compare(0, std::u16string::npos, name, 0, length - 1) == 0;
  return title.size() >= length && title.compare(0, length, name) == 0;
}

std::u16string WindowId(platform::WindowHandle window) {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08lX",
                static_cast<unsigned long>(platform::WindowNumber(window)));
  std::u16string id(kIdPrefix);
  for (int i = 0; i < 8; ++i)
    id.push_back(static_cast<char16_t>(digits[i]));
  return id;
}

platform::WindowHandle FindWindowOnce(const BatchContext& context, const std::u16string& name) {
  if (name.empty())
    return platform::IsWindowHandle(context.parentWindow) ? context.parentWindow : nullptr;
  if (IsWindowId(name)) return WindowOfId(name);
  for (platform::WindowHandle window : platform::TopLevelWindows())
    if (TitleMatches(name, platform::WindowTitle(window))) return window;
  return nullptr;
}

platform::WindowHandle FindChildOnce(platform::WindowHandle parent, const std::u16string& name) {
  if (IsWindowId(name)) return WindowOfId(name);
  for (platform::WindowHandle window : platform::ChildWindows(parent))
    if (TitleMatches(name, platform::WindowTitle(window))) return window;
  return nullptr;
}

platform::WindowHandle FindWindowRetrying(BatchContext& context, const std::u16string& name) {
  // The script's own window is there or not: looking again changes nothing.
  if (name.empty()) return FindWindowOnce(context, name);
  for (std::int32_t attempt = 0;; ++attempt) {
    if (platform::WindowHandle window = FindWindowOnce(context, name)) return window;
    if (attempt >= context.windows.retries || !WindowPause(context, kRetryPauseMs)) return nullptr;
  }
}

bool IsOwnWindow(const BatchContext& context, platform::WindowHandle window) {
  return window != nullptr && window == context.parentWindow;
}

bool WindowPause(BatchContext& context, std::int32_t milliseconds) {
  if (milliseconds > 0) TimedWait(context, static_cast<std::uint32_t>(milliseconds));
  return context.stopRequested == 0;
}

}  // namespace kel
