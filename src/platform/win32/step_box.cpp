// The single-step box on Windows: a modal dialog built in memory.
#include "platform/step_box.h"

#include "platform/win32/dialog_template.h"
#include "platform/win32/win32_internal.h"

#include <windows.h>

#include <string>

namespace kel::platform {
namespace {

// The controls; the buttons carry the numbers of their captions' texts.
constexpr WORD kScriptText = 101;
constexpr WORD kPreviousText = 102;
constexpr WORD kNextLabel = 103;
constexpr WORD kNextText = 104;
constexpr WORD kVariableField = 105;
constexpr WORD kNextButton = 126;
constexpr WORD kRunButton = 127;
constexpr WORD kCancelButton = 121;
constexpr WORD kShowButton = 128;
constexpr WORD kComboBoxClass = 0x0085;

struct StepRequest {
  const StepBoxTexts* texts;
  VariableLookup lookup;
  void* data;
};

// Where the user last left the box (the screen position of its top left corner).
bool placed = false;
POINT lastPlace{};

std::wstring Wide(const char* text) {
  std::wstring wide;
  for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p)
    wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return wide;
}

void WriteStepTemplate(win32::TemplateWriter& out, const StepBoxTexts& texts) {
  out.ModalBox(9, 300, 160, L"DEBUG");
  const DWORD text = SS_LEFT | SS_NOPREFIX;
  out.Control(text, 7, 7, 286, 10, kScriptText, win32::kStaticClass, L"");
  out.Control(text | WS_BORDER, 7, 20, 286, 40, kPreviousText, win32::kStaticClass, L"");
  out.Control(SS_LEFT, 7, 65, 286, 10, kNextLabel, win32::kStaticClass, L"");
  out.Control(text | WS_BORDER, 7, 77, 286, 24, kNextText, win32::kStaticClass, L"");
  out.Control(CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 7, 108, 286, 60,
              kVariableField, kComboBoxClass, L"");
  const std::wstring next = Wide(texts.buttons[0]), run = Wide(texts.buttons[1]),
                     cancel = Wide(texts.buttons[2]), show = Wide(texts.buttons[3]);
  out.Control(BS_DEFPUSHBUTTON | WS_TABSTOP, 7, 138, 66, 14, kNextButton, win32::kButtonClass,
              next.c_str());
  out.Control(BS_PUSHBUTTON | WS_TABSTOP, 80, 138, 66, 14, kRunButton, win32::kButtonClass,
              run.c_str());
  out.Control(BS_PUSHBUTTON | WS_TABSTOP, 153, 138, 66, 14, kCancelButton, win32::kButtonClass,
              cancel.c_str());
  out.Control(BS_PUSHBUTTON | WS_TABSTOP, 226, 138, 67, 14, kShowButton, win32::kButtonClass,
              show.c_str());
}

void ShowVariable(HWND dialog, const StepRequest& request) {
  char typed[1024] = "";
  ::GetDlgItemTextA(dialog, kVariableField, typed, sizeof typed);
  const std::string shown = request.lookup(request.data, typed);
  ::SetDlgItemTextA(dialog, kVariableField, shown.c_str());
}

void Close(HWND dialog, INT_PTR choice) {
  RECT place{};
  if (::GetWindowRect(dialog, &place)) {
    lastPlace = POINT{place.left, place.top};
    placed = true;
  }
  ::EndDialog(dialog, choice);
}

INT_PTR CALLBACK StepDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return win32::AtCallbackBoundary(INT_PTR{FALSE}, [&]() -> INT_PTR {
    switch (message) {
      case WM_INITDIALOG: {
        const auto* request = reinterpret_cast<const StepRequest*>(lParam);
        ::SetWindowLongPtrA(dialog, DWLP_USER, static_cast<LONG_PTR>(lParam));
        const StepBoxTexts& texts = *request->texts;
        ::SetDlgItemTextA(dialog, kScriptText, texts.script != nullptr ? texts.script : "");
        ::SetDlgItemTextA(dialog, kPreviousText, texts.previous != nullptr ? texts.previous : "");
        ::SetDlgItemTextA(dialog, kNextLabel, texts.nextLabel != nullptr ? texts.nextLabel : "");
        ::SetDlgItemTextA(dialog, kNextText, texts.next != nullptr ? texts.next : "");
        if (placed)
          ::SetWindowPos(dialog, nullptr, lastPlace.x, lastPlace.y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER);
        ::SetFocus(::GetDlgItem(dialog, kNextButton));
        return FALSE;  // the focus is set
      }
      case WM_COMMAND: {
        const auto* request =
            reinterpret_cast<const StepRequest*>(::GetWindowLongPtrA(dialog, DWLP_USER));
        switch (LOWORD(wParam)) {
          case kNextButton:
          case IDOK:  // Enter
            Close(dialog, kNextButton);
            return TRUE;
          case kRunButton:
            Close(dialog, kRunButton);
            return TRUE;
          case kCancelButton:
          case IDCANCEL:  // also the close box and Escape
            Close(dialog, kCancelButton);
            return TRUE;
          case kShowButton:
            if (request != nullptr) ShowVariable(dialog, *request);
            return TRUE;
        }
        return FALSE;
      }
    }
    return FALSE;
  });
}

}  // namespace

bool StepBoxAvailable() {
  return true;
}

StepChoice ShowStepBox(void* owner, const StepBoxTexts& texts, VariableLookup lookup, void* data) {
  win32::TemplateWriter box;
  WriteStepTemplate(box, texts);
  StepRequest request{&texts, lookup, data};
  const INT_PTR answer =
      ::DialogBoxIndirectParamA(win32::EngineModule(), box.Data(), static_cast<HWND>(owner),
                                StepDialog, reinterpret_cast<LPARAM>(&request));
  if (answer == kNextButton) return StepChoice::Next;
  if (answer == kCancelButton) return StepChoice::Cancel;
  return StepChoice::Run;
}

}  // namespace kel::platform
