/* A window for the window, keystroke, mouse and clipboard tests to drive: a main window titled
 * "KEL Test Window" with a menu, an edit control, a button and a list box. Everything it
 * receives is written, one line per event, to the log file named on its command line, so that a
 * script can read back what arrived:
 *
 *   start                   the window is up (and the greeting is on the clipboard, see below)
 *   click                   the button was pressed
 *   menu NAME               a menu item was picked (NAME is the item's text without "&")
 *   keydown VK / keyup VK   a key went down or up in the edit control (virtual-key code, decimal)
 *   char CODE               the edit control received a character (UTF-16 code, decimal)
 *   title TEXT              the main window's title was set to TEXT (UTF-8)
 *   select TEXT             an item of the list box was selected
 *   close                   the window was asked to close
 *
 *   test_window LOGFILE [--greeting] [--seconds N]
 *
 * --greeting puts a text with characters beyond 7-bit ASCII on the clipboard (as UTF-16, through
 * the system's own clipboard calls) before the window appears. The window closes by itself after
 * N seconds (60 by default), so that a test that fails half-way leaves nothing running. */
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

enum {
  kEditId = 101,
  kButtonId = 102,
  kListId = 103,
  kMenuFirst = 201, /* "First", "Second", "Exit" */
  kMenuSecond = 202,
  kMenuExit = 203,
  kLifetimeTimer = 1
};

static const wchar_t kTitle[] = L"KEL Test Window";
/* "Grüße, Ωμέγα €" */
static const wchar_t kGreeting[] =
    L"Gr\x00FC\x00DF"
    L"e, \x03A9\x03BC\x03AD\x03B3\x03B1 \x20AC";

static wchar_t logPath[MAX_PATH];
static WNDPROC editProcedure;

/* Appends one line to the log; the file is opened and closed for each line, so a reader always
 * sees every line written so far. */
static void LogLine(const char* text) {
  HANDLE file = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
  WriteFile(file, "\r\n", 2, &written, NULL);
  CloseHandle(file);
}

static void LogWide(const char* what, const wchar_t* text) {
  char line[1100];
  int used = snprintf(line, sizeof line, "%s ", what);
  int converted =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, line + used, (int)sizeof line - used, NULL, NULL);
  if (converted == 0) line[used] = '\0';
  LogLine(line);
}

static void LogNumber(const char* what, unsigned long number) {
  char line[64];
  snprintf(line, sizeof line, "%s %lu", what, number);
  LogLine(line);
}

static void PutGreeting(void) {
  size_t bytes = sizeof kGreeting;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (block == NULL) return;
  memcpy(GlobalLock(block), kGreeting, bytes);
  GlobalUnlock(block);
  if (!OpenClipboard(NULL)) {
    GlobalFree(block);
    return;
  }
  EmptyClipboard();
  if (SetClipboardData(CF_UNICODETEXT, block) == NULL) GlobalFree(block);
  CloseClipboard();
}

static LRESULT CALLBACK EditProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      LogNumber("keydown", (unsigned long)wParam);
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      LogNumber("keyup", (unsigned long)wParam);
      break;
    case WM_CHAR:
      LogNumber("char", (unsigned long)wParam);
      break;
    default:
      break;
  }
  return CallWindowProcW(editProcedure, window, message, wParam, lParam);
}

static HMENU MakeMenu(void) {
  HMENU bar = CreateMenu();
  HMENU items = CreatePopupMenu();
  AppendMenuW(items, MF_STRING, kMenuFirst, L"&First");
  AppendMenuW(items, MF_STRING, kMenuSecond, L"&Second");
  AppendMenuW(items, MF_SEPARATOR, 0, NULL);
  AppendMenuW(items, MF_STRING, kMenuExit, L"E&xit");
  AppendMenuW(bar, MF_POPUP, (UINT_PTR)items, L"&Test");
  return bar;
}

static void MakeControls(HWND window) {
  HINSTANCE instance = GetModuleHandleW(NULL);
  HWND edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 10, 10, 300, 24,
                              window, (HMENU)(INT_PTR)kEditId, instance, NULL);
  editProcedure = (WNDPROC)SetWindowLongPtrW(edit, GWLP_WNDPROC, (LONG_PTR)(void*)EditProcedure);
  CreateWindowExW(0, L"BUTTON", L"Press", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 10,
                  44, 100, 28, window, (HMENU)(INT_PTR)kButtonId, instance, NULL);
  HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY, 10, 82,
                              200, 80, window, (HMENU)(INT_PTR)kListId, instance, NULL);
  SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)L"alpha");
  SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)L"beta");
  SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)L"gamma");
  SetFocus(edit);
}

static void Command(HWND window, WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  const int notification = HIWORD(wParam);
  if (id == kButtonId && notification == BN_CLICKED) {
    LogLine("click");
  } else if (id == kListId && notification == LBN_SELCHANGE) {
    wchar_t item[256] = L"";
    LRESULT index = SendMessageW((HWND)lParam, LB_GETCURSEL, 0, 0);
    if (index != LB_ERR && SendMessageW((HWND)lParam, LB_GETTEXTLEN, (WPARAM)index, 0) < 255)
      SendMessageW((HWND)lParam, LB_GETTEXT, (WPARAM)index, (LPARAM)item);
    LogWide("select", item);
  } else if (lParam == 0 && id == kMenuFirst) {
    LogLine("menu First");
  } else if (lParam == 0 && id == kMenuSecond) {
    LogLine("menu Second");
  } else if (lParam == 0 && id == kMenuExit) {
    LogLine("menu Exit");
    DestroyWindow(window);
  }
}

static LRESULT CALLBACK MainProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      MakeControls(window);
      return 0;
    case WM_COMMAND:
      Command(window, wParam, lParam);
      return 0;
    case WM_SETTEXT:
      LogWide("title", (const wchar_t*)lParam);
      break;
    case WM_TIMER:
      if (wParam == kLifetimeTimer) DestroyWindow(window);
      return 0;
    case WM_CLOSE:
      LogLine("close");
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
  (void)previous;
  (void)commandLine;
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == NULL || count < 2) return 2;
  lstrcpynW(logPath, arguments[1], MAX_PATH);
  int greeting = 0;
  UINT seconds = 60;
  for (int i = 2; i < count; ++i) {
    if (wcscmp(arguments[i], L"--greeting") == 0) {
      greeting = 1;
    } else if (wcscmp(arguments[i], L"--seconds") == 0 && i + 1 < count) {
      seconds = (UINT)wcstoul(arguments[++i], NULL, 10);
    }
  }
  LocalFree(arguments);

  WNDCLASSW windowClass = {0};
  windowClass.lpfnWndProc = MainProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  windowClass.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"KelTestWindow";
  if (!RegisterClassW(&windowClass)) return 3;
  if (greeting) PutGreeting();
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW, 100, 100,
                                400, 300, NULL, MakeMenu(), instance, NULL);
  if (window == NULL) return 4;
  SetTimer(window, kLifetimeTimer, seconds * 1000, NULL);
  ShowWindow(window, show == SW_HIDE ? SW_SHOWNORMAL : show);
  UpdateWindow(window);
  LogLine("start");

  MSG message;
  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
