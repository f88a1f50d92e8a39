// The listing functions: the titles, ids, or both, of the top-level windows, of the windows
// that match a name, and of a window's children.
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/windows/window_support.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/platform.h"
#include "platform/window_manager.h"

namespace kel {
namespace {

using platform::WindowHandle;

// What each listed window contributes.
enum class Listed { Titles, Ids, TitlesAndIds };

struct WindowList {
  Listed what;
  std::u16string text;

  void Add(WindowHandle window, const std::u16string& title) {
    // Titles and ids alike are separated by a tab; pairs of title and id by bars throughout.
    const char16_t separator = what == Listed::TitlesAndIds ? u'|' : u'\t';
    if (!text.empty()) text.push_back(separator);
    if (what != Listed::Ids) text += title;
    if (what == Listed::TitlesAndIds) text.push_back(separator);
    if (what != Listed::Titles) text += WindowId(window);
  }
};

bool Listable(const std::u16string& title) {
  return !title.empty() && title != kOldApplicationTitle;
}

void ListAll(BatchContext& context, EvalValue& result, Listed what) {
  WindowList list{what, {}};
  for (WindowHandle window : platform::TopLevelWindows()) {
    const std::u16string title = platform::WindowTitle(window);
    if (Listable(title)) list.Add(window, title);
  }
  SetWindowTextResult(context, result, list.text);
}

void ListChildren(BatchContext& context, EvalValue& result, const std::u16string& parentName) {
  WindowHandle parent = FindWindowRetrying(context, parentName);
  if (parent == nullptr) {
    if (context.stopRequested == 0) SetError(context, kErrWinItemChildParent);
    return;
  }
  WindowList list{Listed::Titles, {}};
  for (WindowHandle window : platform::ChildWindows(parent)) {
    const std::u16string title = platform::WindowTitle(window);
    if (Listable(title)) list.Add(window, title);
  }
  SetWindowTextResult(context, result, list.text);
}

void ListMatching(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  const std::int32_t multiple = arguments[1].value.intValue;
  const std::int32_t hidden = arguments[2].value.intValue;
  if (multiple != 0 && multiple != 1) return SetError(context, kErrWinItemizeExMultiple);
  if (hidden != 0 && hidden != 1) return SetError(context, kErrWinItemizeExHidden);
  const std::int32_t type = count > 3 ? arguments[3].value.intValue : 0;
  const std::u16string name = WindowNameArgument(context, arguments[0]);
  WindowList list{type == 1 ? Listed::Ids : type == 2 ? Listed::TitlesAndIds : Listed::Titles, {}};
  for (WindowHandle window : platform::TopLevelWindows()) {
    const std::u16string title = platform::WindowTitle(window);
    if (!Listable(title) || (hidden == 0 && !platform::IsWindowShown(window))) continue;
    if (!name.empty() && !TitleMatches(name, title)) continue;
    list.Add(window, title);
    if (multiple == 0) break;
  }
  SetWindowTextResult(context, result, list.text);
}

// The windows of one process. Flags: 1 untitled windows too, 2 invisible ones, 4 disabled ones,
// 8 those titled "WinOldAp".
void ListOfProcess(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  const std::int32_t process = arguments[0].value.intValue;
  const std::int32_t flags = arguments[1].value.intValue;
  const std::int32_t type = arguments[2].value.intValue;
  if (process == 0 || process == 1) return SetError(context, kErrWinItemProcIdProcess);
  if (flags < 0 || flags > 15) return SetError(context, kErrWinItemProcIdFlags);
  if (type < 0 || type > 2) return SetError(context, kErrWinItemProcIdType);
  WindowList list{type == 0 ? Listed::Ids : type == 1 ? Listed::Titles : Listed::TitlesAndIds, {}};
  for (WindowHandle window : platform::TopLevelWindows()) {
    if (platform::WindowProcessId(window) != static_cast<std::uint32_t>(process)) continue;
    const std::u16string title = platform::WindowTitle(window);
    if ((title.empty() && (flags & 1) == 0) ||
        (!platform::IsWindowShown(window) && (flags & 2) == 0) ||
        (!platform::IsWindowEnabled(window) && (flags & 4) == 0) ||
        (title == kOldApplicationTitle && (flags & 8) == 0))
      continue;
    list.Add(window, title);
  }
  SetWindowTextResult(context, result, list.text);
}

}  // namespace

KEL_FAMILY_ROUTINE(WindowListFunction) {
  (void)unicode;
  if (!platform::HasWindowManager()) return SetError(context, kErrNotAvailable);
  switch (code) {
    case kKeywordWinItemize:
      return ListAll(context, result, Listed::Titles);
    case kKeywordWinItemNameId:
      return ListAll(context, result, Listed::TitlesAndIds);
    case kKeywordWinItemChild:
      return ListChildren(context, result, WindowNameArgument(context, arguments[0]));
    case kKeywordWinItemizeEx:
      return ListMatching(context, result, arguments, count);
    case kKeywordWinItemProcId:
      return ListOfProcess(context, result, arguments);
    default:
      return SetError(context, kErrNotAvailable);
  }
}

}  // namespace kel
