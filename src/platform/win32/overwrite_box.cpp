// The overwrite confirmation box on Windows: a modal dialog built in memory that shows the file
// to be replaced and the file that would replace it, with one button per answer.
#include <windows.h>

#include "platform/files.h"
#include "platform/win32/dialog_template.h"
#include "platform/win32/win32_internal.h"

namespace kel::platform {
namespace {

// The four texts that name the files and describe them.
constexpr WORD kTargetName = 110;
constexpr WORD kTargetLine = 111;
constexpr WORD kSourceName = 112;
constexpr WORD kSourceLine = 113;

// The buttons, in two rows of four; each ends the box with its answer.
struct OverwriteButton {
  WORD id;
  const wchar_t* label;
  int answer;
};
constexpr OverwriteButton kButtons[] = {
    {201, L"O&verwrite", kOverwriteThis},    {202, L"Overwrite &All", kOverwriteAll},
    {203, L"&Skip", kOverwriteSkip},         {IDCANCEL, L"&Cancel", kOverwriteCancel},
    {204, L"Use &Newer", kOverwriteIfNewer}, {205, L"Use Ne&wer All", kOverwriteNewerAll},
    {206, L"Use O&lder", kOverwriteIfOlder}, {207, L"Use Ol&der All", kOverwriteOlderAll},
};

struct OverwriteRequest {
  const std::u16string* texts[4];  // target name and line, source name and line
};

// Sizes are in dialog units.
void WriteOverwriteTemplate(win32::TemplateWriter& out) {
  constexpr short kWidth = 302, kMargin = 7, kLine = 9;
  out.ModalBox(6 + sizeof kButtons / sizeof kButtons[0], kWidth, 126, L"Confirm File Replace");
  // Long names are shortened in their middle to fit.
  constexpr DWORD kName = SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS;
  constexpr short kTextWidth = kWidth - 2 * kMargin;
  out.Control(SS_LEFT, kMargin, 7, kTextWidth, kLine, 0xFFFF, win32::kStaticClass,
              L"Replace file:");
  out.Control(kName, kMargin, 17, kTextWidth, kLine, kTargetName, win32::kStaticClass, L"");
  out.Control(SS_LEFT | SS_NOPREFIX, kMargin, 27, kTextWidth, kLine, kTargetLine,
              win32::kStaticClass, L"");
  out.Control(SS_LEFT, kMargin, 43, kTextWidth, kLine, 0xFFFF, win32::kStaticClass, L"with file:");
  out.Control(kName, kMargin, 53, kTextWidth, kLine, kSourceName, win32::kStaticClass, L"");
  out.Control(SS_LEFT | SS_NOPREFIX, kMargin, 63, kTextWidth, kLine, kSourceLine,
              win32::kStaticClass, L"");
  constexpr short kButtonWidth = 68, kButtonGap = 4;
  for (int i = 0; i < 8; ++i) {
    short x = static_cast<short>(kMargin + (i % 4) * (kButtonWidth + kButtonGap));
    short y = static_cast<short>(i < 4 ? 84 : 104);
    DWORD style = (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP;
    out.Control(style, x, y, kButtonWidth, 14, kButtons[i].id, win32::kButtonClass,
                kButtons[i].label);
  }
}

INT_PTR CALLBACK OverwriteDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return win32::AtCallbackBoundary(INT_PTR{FALSE}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: {
        const auto* request = reinterpret_cast<const OverwriteRequest*>(lParam);
        const WORD ids[4] = {kTargetName, kTargetLine, kSourceName, kSourceLine};
        for (int i = 0; i < 4; ++i)
          ::SetDlgItemTextW(dialog, ids[i],
                            reinterpret_cast<const wchar_t*>(request->texts[i]->c_str()));
        return TRUE;  // the focus goes to the default button
      }
      case WM_COMMAND:
        // Escape and the close box send IDCANCEL, which is Cancel's own.
        for (const OverwriteButton& button : kButtons) {
          if (LOWORD(wParam) != button.id) continue;
          ::EndDialog(dialog, button.answer);
          return TRUE;
        }
        return FALSE;
    }
    return FALSE;
  });
}

}  // namespace

bool CanAskOverwrite() {
  return true;
}

int AskOverwrite(void* owner, const std::u16string& target, const std::u16string& targetLine,
                 const std::u16string& source, const std::u16string& sourceLine) {
  win32::TemplateWriter box;
  WriteOverwriteTemplate(box);
  OverwriteRequest request{{&target, &targetLine, &source, &sourceLine}};
  INT_PTR answer =
      ::DialogBoxIndirectParamW(win32::EngineModule(), box.Data(), static_cast<HWND>(owner),
                                OverwriteDialog, reinterpret_cast<LPARAM>(&request));
  // A box that could not be made is no answer.
  return answer > 0 ? static_cast<int>(answer) : kOverwriteBoxUnavailable;
}

}  // namespace kel::platform
