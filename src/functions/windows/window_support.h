// The ground of the window functions: names and titles as UTF-16 text, the title-matching rule,
// window ids, the one window finder (with its retries) and the waits between looks.
#ifndef KEL_FUNCTIONS_WINDOWS_WINDOW_SUPPORT_H
#define KEL_FUNCTIONS_WINDOWS_WINDOW_SUPPORT_H

#include <cstdint>
#include <string>

#include "lang/value.h"
#include "platform/window_manager.h"

namespace kel {

struct BatchContext;

// The title of the old console windows, which the finder and the listings pass over.
inline constexpr char16_t kOldApplicationTitle[] = u"WinOldAp";

// A name or title argument as UTF-16 text, whichever form it arrived in.
std::u16string WindowNameArgument(const BatchContext& context, const EvalValue& argument);
// A title or list as the result, in the system's form of text (UTF-16 on a Unicode platform).
bool SetWindowTextResult(BatchContext& context, EvalValue& result, const std::u16string& text);

// Whether `title` is matched by `name` under the rule every window function follows: "~part"
// anywhere in the title, "~part~" at its end, "whole~" the whole title, anything else a prefix.
// Untitled windows and "WinOldAp" never match.
bool TitleMatches(const std::u16string& name, const std::u16string& title);

// "#WIN$ID#" and the window's number in eight upper-case hexadecimal digits.
std::u16string WindowId(platform::WindowHandle window);

// The window a name stands for, looked for once: the script's own window for an empty name, the
// window of a window id (while it still exists), or the frontmost top-level window whose title
// matches. Null when there is none.
platform::WindowHandle FindWindowOnce(const BatchContext& context, const std::u16string& name);
// The same among the children of `parent`.
platform::WindowHandle FindChildOnce(platform::WindowHandle parent, const std::u16string& name);
// FindWindowOnce, repeated a second apart as often as the script's setting says while nothing is
// found. Null when nothing was found, or when the script is being stopped.
platform::WindowHandle FindWindowRetrying(BatchContext& context, const std::u16string& name);

// The script's own window: the window its host runs it from.
bool IsOwnWindow(const BatchContext& context, platform::WindowHandle window);

// A pause that keeps the host responsive; false when the script is being stopped.
bool WindowPause(BatchContext& context, std::int32_t milliseconds);

}  // namespace kel

#endif  // KEL_FUNCTIONS_WINDOWS_WINDOW_SUPPORT_H
