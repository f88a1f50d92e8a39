// The error box and its traceback window on Windows, with the window and sound services the
// report needs.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>

#include "resources/error_box_ids.h"

namespace kel::platform {
namespace {

const ErrorBoxTexts* BoxTexts(HWND dialog) {
  return reinterpret_cast<const ErrorBoxTexts*>(::GetWindowLongPtrA(dialog, DWLP_USER));
}

void SetItemText(HWND dialog, int id, const char* text) {
  ::SetDlgItemTextA(dialog, id, text != nullptr ? text : "");
}

INT_PTR CALLBACK ErrorBoxDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return ErrorBoxProcedure(dialog, message, wParam, lParam);
}

INT_PTR CALLBACK TracebackDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return TracebackProcedure(dialog, message, wParam, lParam);
}

void InitialiseErrorBox(HWND dialog, const ErrorBoxTexts& texts) {
  ::SetWindowTextA(dialog, texts.title != nullptr ? texts.title : "");
  SetItemText(dialog, KEL_ERRORBOX_LABEL, texts.errorLabel);
  SetItemText(dialog, KEL_ERRORBOX_SCRIPT, texts.scriptName);
  SetItemText(dialog, KEL_ERRORBOX_HEADLINE, texts.headline);
  SetItemText(dialog, KEL_ERRORBOX_LINE_INFO, texts.lineInformation);
  SetItemText(dialog, KEL_ERRORBOX_FILE_INFO, texts.fileInformation);
  SetItemText(dialog, KEL_ERRORBOX_VERSION, texts.versionLine);
  SetItemText(dialog, KEL_ERRORBOX_MORE_INFO, texts.moreInfoButton);
  SetItemText(dialog, KEL_ERRORBOX_TRACEBACK, texts.tracebackButton);
  SetItemText(dialog, KEL_ERRORBOX_WEB_PAGE, texts.webPageButton);
  SetItemText(dialog, KEL_ERRORBOX_FIRST_BUTTON, texts.firstButton);
  if (HWND exitButton = ::GetDlgItem(dialog, KEL_ERRORBOX_EXIT_BUTTON))
    ::SetWindowTextA(exitButton, texts.exitButton != nullptr ? texts.exitButton : "");

  // A multi-line edit control breaks lines only at CR LF, so the error line is given those.
  const char* line = texts.errorLine != nullptr ? texts.errorLine : "";
  std::size_t length = std::strlen(line);
  std::size_t feeds = 0;
  for (std::size_t i = 0; i < length; ++i)
    if (line[i] == '\n') ++feeds;
  if (feeds == 0) {
    SetItemText(dialog, KEL_ERRORBOX_ERROR_LINE, line);
  } else if (HLOCAL block = ::LocalAlloc(LMEM_FIXED, length + feeds + 1)) {
    char* withReturns = static_cast<char*>(block);
    std::size_t out = 0;
    for (std::size_t i = 0; i < length; ++i) {
      if (line[i] == '\n' && (i == 0 || line[i - 1] != '\r')) withReturns[out++] = '\r';
      withReturns[out++] = line[i];
    }
    withReturns[out] = '\0';
    SetItemText(dialog, KEL_ERRORBOX_ERROR_LINE, withReturns);
    ::LocalFree(block);
  }

  bool moreInfo = texts.moreInfo != nullptr && texts.moreInfo[0] != '\0';
  ::EnableWindow(::GetDlgItem(dialog, KEL_ERRORBOX_MORE_INFO), moreInfo ? TRUE : FALSE);
  ::ShowWindow(::GetDlgItem(dialog, KEL_ERRORBOX_WEB_PAGE), texts.offerWebPage ? SW_SHOW : SW_HIDE);
}

void FillTraceback(HWND dialog, const ErrorBoxTexts& texts) {
  ::SetWindowTextA(dialog, texts.tracebackTitle != nullptr ? texts.tracebackTitle : "");
  HWND list = ::GetDlgItem(dialog, KEL_TRACEBACK_LIST);
  if (list == nullptr) return;
  HFONT font = static_cast<HFONT>(::GetStockObject(SYSTEM_FIXED_FONT));
  ::SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  HDC context = ::GetDC(list);
  HGDIOBJ previous = context != nullptr ? ::SelectObject(context, font) : nullptr;
  LONG widest = 0;
  const char* text = texts.traceback != nullptr ? texts.traceback : "";
  char line[2100];
  while (*text != '\0') {
    const char* end = std::strchr(text, '\n');
    std::size_t length = end != nullptr ? static_cast<std::size_t>(end - text) : std::strlen(text);
    if (length >= sizeof line) length = sizeof line - 1;
    std::memcpy(line, text, length);
    line[length] = '\0';
    ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    SIZE extent{};
    if (context != nullptr &&
        ::GetTextExtentPoint32A(context, line, static_cast<int>(length), &extent) &&
        extent.cx > widest)
      widest = extent.cx;
    if (end == nullptr) break;
    text = end + 1;
  }
  if (context != nullptr) {
    ::SelectObject(context, previous);
    ::ReleaseDC(list, context);
  }
  // Long lines scroll sideways instead of being cut.
  ::SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
}

}  // namespace

std::intptr_t ErrorBoxProcedure(void* window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  return win32::AtCallbackBoundary(std::intptr_t{FALSE}, [&]() -> std::intptr_t {
    HWND dialog = static_cast<HWND>(window);
    switch (message) {
      case WM_INITDIALOG: {
        ::SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        if (const ErrorBoxTexts* texts = BoxTexts(dialog)) InitialiseErrorBox(dialog, *texts);
        ::SetFocus(::GetDlgItem(dialog, KEL_ERRORBOX_FIRST_BUTTON));
        return FALSE;  // the focus is set
      }
      case WM_COMMAND: {
        int id = LOWORD(wParam);
        // The error line is read-only text to copy from; what it reports changes nothing.
        if (id == KEL_ERRORBOX_ERROR_LINE) return TRUE;
        const ErrorBoxTexts* texts = BoxTexts(dialog);
        if (id == KEL_ERRORBOX_MORE_INFO) {
          if (texts != nullptr)
            ::MessageBoxA(dialog, texts->moreInfo != nullptr ? texts->moreInfo : "",
                          texts->moreInfoTitle != nullptr ? texts->moreInfoTitle : "",
                          MB_OK | MB_ICONEXCLAMATION);
          return TRUE;
        }
        if (id == KEL_ERRORBOX_TRACEBACK) {
          if (texts != nullptr)
            ::DialogBoxParamA(win32::EngineModule(), "STACKINFO", dialog, TracebackDialog,
                              reinterpret_cast<LPARAM>(texts));
          return TRUE;
        }
        ::EndDialog(dialog, id);
        return TRUE;
      }
      default:
        return FALSE;
    }
  });
}

std::intptr_t TracebackProcedure(void* window, unsigned message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
  return win32::AtCallbackBoundary(std::intptr_t{FALSE}, [&]() -> std::intptr_t {
    HWND dialog = static_cast<HWND>(window);
    switch (message) {
      case WM_INITDIALOG: {
        auto* texts = reinterpret_cast<const ErrorBoxTexts*>(lParam);
        if (texts != nullptr) {
          FillTraceback(dialog, *texts);
          if (texts->soundsOn) PlaySystemSound("SystemAsterisk");
        }
        return TRUE;
      }
      case WM_COMMAND:
        if (LOWORD(wParam) == KEL_TRACEBACK_OK || LOWORD(wParam) == IDCANCEL) {
          ::EndDialog(dialog, LOWORD(wParam));
          return TRUE;
        }
        return FALSE;
      default:
        return FALSE;
    }
  });
}

int ShowErrorBox(void* owner, ErrorBoxKind kind, const ErrorBoxTexts& texts) {
  HWND ownerWindow =
      owner != nullptr && ::IsWindow(static_cast<HWND>(owner)) ? static_cast<HWND>(owner) : nullptr;
  const char* name = kind == ErrorBoxKind::Ok ? "ERRORMSG" : "ERRORMSGB";
  INT_PTR result = ::DialogBoxParamA(win32::EngineModule(), name, ownerWindow, ErrorBoxDialog,
                                     reinterpret_cast<LPARAM>(&texts));
  if (result > 0) return static_cast<int>(result);
  // Without its template the box cannot run; the user still learns what went wrong, and the
  // script ends because nobody could choose to go on.
  char text[4200];
  std::snprintf(text, sizeof text, "%s\n\n%s", texts.headline != nullptr ? texts.headline : "",
                texts.errorLine != nullptr ? texts.errorLine : "");
  ::MessageBoxA(ownerWindow, text, texts.title != nullptr ? texts.title : "",
                MB_OK | MB_ICONSTOP | MB_SETFOREGROUND);
  return kErrorBoxExit;
}

std::size_t WindowTitle(void* window, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (window == nullptr || !::IsWindow(static_cast<HWND>(window))) return 0;
  int length = ::GetWindowTextA(static_cast<HWND>(window), out, static_cast<int>(size));
  return length > 0 ? static_cast<std::size_t>(length) : 0;
}

void BringWindowForward(void* window) {
  if (window != nullptr && ::IsWindow(static_cast<HWND>(window)))
    ::SetForegroundWindow(static_cast<HWND>(window));
}

bool PlaySystemSound(const char* eventName) {
  // The multimedia library is looked up when first needed, so that programs which never play a
  // sound do not depend on it.
  using PlaySoundFn = BOOL(WINAPI*)(LPCSTR, HMODULE, DWORD);
  static PlaySoundFn playSound = [] {
    HMODULE library = ::LoadLibraryA("winmm.dll");
    return library != nullptr ? reinterpret_cast<PlaySoundFn>(reinterpret_cast<void*>(
                                    ::GetProcAddress(library, "PlaySoundA")))
                              : nullptr;
  }();
  return playSound != nullptr &&
         playSound(eventName, nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT) != FALSE;
}

}  // namespace kel::platform
