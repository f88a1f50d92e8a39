// The selection box on Windows: a modal dialog built in memory with a list box, OK and Cancel.
#include "platform/platform.h"
#include "platform/win32/dialog_template.h"
#include "platform/win32/win32_internal.h"

#include <windows.h>

#include <cstring>

namespace kel::platform {
namespace {

constexpr WORD kListControl = 100;

struct SelectionRequest {
  const char* title;
  const std::vector<std::string>* items;
};

// Sizes are in dialog units; the title is set when the box opens, as it is ANSI text.
void WriteSelectionTemplate(win32::TemplateWriter& out) {
  out.ModalBox(3, 180, 130, L"");
  out.Control(LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_BORDER | WS_VSCROLL | WS_TABSTOP, 7, 7, 166,
              96, kListControl, win32::kListBoxClass, L"");
  out.Control(BS_DEFPUSHBUTTON | WS_TABSTOP, 69, 109, 50, 14, IDOK, win32::kButtonClass, L"OK");
  out.Control(BS_PUSHBUTTON | WS_TABSTOP, 123, 109, 50, 14, IDCANCEL, win32::kButtonClass,
              L"Cancel");
}

// The dialog ends with the chosen index + 1, so that 0 is "cancelled".
void Choose(HWND dialog) {
  LRESULT chosen = ::SendDlgItemMessageA(dialog, kListControl, LB_GETCURSEL, 0, 0);
  ::EndDialog(dialog, chosen == LB_ERR ? 0 : chosen + 1);
}

INT_PTR CALLBACK SelectionDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return win32::AtCallbackBoundary(INT_PTR{FALSE}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: {
        const auto* request = reinterpret_cast<const SelectionRequest*>(lParam);
        ::SetWindowTextA(dialog, request->title != nullptr ? request->title : "");
        HWND list = ::GetDlgItem(dialog, kListControl);
        for (const std::string& item : *request->items)
          ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
        ::SendMessageA(list, LB_SETCURSEL, 0, 0);
        ::SetFocus(list);
        return FALSE;  // the focus is set
      }
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case IDOK:
            Choose(dialog);
            return TRUE;
          case IDCANCEL:  // also the close box and Escape
            ::EndDialog(dialog, 0);
            return TRUE;
          case kListControl:
            if (HIWORD(wParam) == LBN_DBLCLK) Choose(dialog);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
  });
}

}  // namespace

int ShowSelectionBox(void* owner, const char* title, const std::vector<std::string>& items) {
  win32::TemplateWriter box;
  WriteSelectionTemplate(box);
  SelectionRequest request{title, &items};
  INT_PTR answer =
      ::DialogBoxIndirectParamA(win32::EngineModule(), box.Data(), static_cast<HWND>(owner),
                                SelectionDialog, reinterpret_cast<LPARAM>(&request));
  // A box that could not be made (answer -1) chose nothing either.
  return answer >= 1 ? static_cast<int>(answer - 1) : -1;
}

}  // namespace kel::platform
