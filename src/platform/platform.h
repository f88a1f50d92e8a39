// Every operating-system service the engine uses; win32/ implements it with the real API and
// posix/ with its POSIX counterpart or the smallest honest layer.
#ifndef KEL_PLATFORM_PLATFORM_H
#define KEL_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/profile.h"

namespace kel::platform {

// ---------------------------------------------------------------------------------------------
// Movable global memory. A handle names a block that may move while unlocked; Lock pins it and
// counts, Unlock counts down. The context, the variable tables, arrays and script texts all
// live in such blocks because hosts and extenders pass them around as handles.
using MemoryHandle = void*;

enum class Fill { Uninitialised, Zero };

MemoryHandle GlobalAllocate(std::size_t bytes, Fill fill);
// Grows or shrinks an unlocked block; null when it cannot (the old block is untouched).
MemoryHandle GlobalReallocate(MemoryHandle handle, std::size_t bytes, Fill fill);
void* GlobalLock(MemoryHandle handle);
// Returns the lock count left after unlocking.
unsigned GlobalUnlock(MemoryHandle handle);
unsigned GlobalLockCount(MemoryHandle handle);
std::size_t GlobalSize(MemoryHandle handle);
// The handle of a block from the address a lock gave; null for any other address.
MemoryHandle GlobalHandleOf(const void* lockedAddress);
// Returns true when the block was freed.
bool GlobalFree(MemoryHandle handle);
// True when `handle` names a block of this process's memory layer: what a handle that a host
// hands in is asked before it is read, so that one of something else, or one into memory that
// cannot be read, is refused rather than followed.
bool IsGlobalHandle(MemoryHandle handle);

// The checked build makes allocations fail on purpose, so that every path that handles a failed
// allocation can be made to run. ArmAllocationFailures reads the environment: with
// KEL_FAIL_ALLOCATION=N the Nth allocation counted from then on fails, and with
// KEL_ALLOCATION_LIMIT=BYTES every request for more than BYTES does. GlobalAllocate,
// GlobalReallocate and the string heap ask AllocationFailsNow before they allocate. Elsewhere
// both do nothing.
#if defined(KEL_CHECKED)
void ArmAllocationFailures();
bool AllocationFailsNow(std::size_t bytes);
#else
inline void ArmAllocationFailures() {}
inline bool AllocationFailsNow(std::size_t) {
  return false;
}
#endif

// ---------------------------------------------------------------------------------------------
// Address space: a reservation is committed piecewise as the string heap grows.
void* ReserveAddressSpace(std::size_t bytes);
// Commits [base, base + bytes) read-write inside one reservation; false with LastSystemError().
bool CommitMemory(void* base, std::size_t bytes);
void ReleaseAddressSpace(void* base, std::size_t bytes);
std::size_t PageSize();

// The last system error code of the calling thread (GetLastError numbering on every platform:
// 8 is "not enough memory").
std::uint32_t LastSystemError();
constexpr std::uint32_t kErrorNotEnoughMemory = 8;

// ---------------------------------------------------------------------------------------------
// Time.
// Whether the thread has a window message queue to pump (Windows); elsewhere waiting for
// input and pumping between statements have nothing to do.
#if defined(_WIN32)
constexpr bool kHasMessageQueue = true;
#else
constexpr bool kHasMessageQueue = false;
#endif
std::uint32_t TickCount();
void SleepMilliseconds(std::uint32_t milliseconds);
std::int64_t SecondsSinceEpoch();

// ---------------------------------------------------------------------------------------------
// Process environment.
// Writes the current directory (zero-terminated) and returns its length; 0 on failure.
std::size_t CurrentDirectory(char* buffer, std::size_t size);
bool SetEnvironmentValue(const char* name, const char* value);

// ---------------------------------------------------------------------------------------------
// Code pages. 0 is the system ANSI code page (Windows-1252 where the system has none).
// Both return the number of units written (no terminator counted) or -1 when the text cannot
// be converted or does not fit.
int AnsiToWide(std::uint32_t codePage, const char* text, std::size_t length, char16_t* out,
               std::size_t outUnits);
int WideToAnsi(std::uint32_t codePage, const char16_t* text, std::size_t length, char* out,
               std::size_t outBytes);

// ---------------------------------------------------------------------------------------------
// Locale text: ordering and casing as the user's locale does them. The order is a word sort:
// letters and digits decide first, then accents, then case, and hyphens, apostrophes and
// control characters only when nothing else differs; some characters weigh nothing at all.
// ANSI texts are in the system ANSI code page. The comparisons return <0, 0 or >0; a null text
// sorts before every text, the empty one included.
int CompareLocaleText(const char* a, const char* b, bool ignoreCase);
int CompareLocaleWide(const char16_t* a, const char16_t* b, bool ignoreCase);
// Upper and lower case of one character (characters without a case come back unchanged).
char UpperAnsi(char c);
char LowerAnsi(char c);
char16_t UpperWide(char16_t c);
char16_t LowerWide(char16_t c);
// The same in place over `length` units of a text.
void UpperAnsiText(char* text, std::size_t length);
void LowerAnsiText(char* text, std::size_t length);
void UpperWideText(char16_t* text, std::size_t length);
void LowerWideText(char16_t* text, std::size_t length);

// ---------------------------------------------------------------------------------------------
// Character classes and the locale's code pages, for the text functions.
// The class bits of each character: 1 upper case, 2 lower case, 4 digit, 8 space,
// 16 punctuation, 32 control, 64 blank, 128 hexadecimal digit, 256 alphabetic, 512 defined.
// ANSI text is classified as the system default locale sees it, one entry a character (`count`
// receives how many; `types` must have room for `length`). False with LastSystemError() when
// the system cannot classify the text.
bool CharacterTypesAnsi(const char* text, std::size_t length, std::uint16_t* types,
                        std::size_t* count);
bool CharacterTypesWide(const char16_t* text, std::size_t length, std::uint16_t* types);
// The default ANSI code page of the system's locale, or of the user's; false when the locale
// settings cannot be read.
bool DefaultAnsiCodePage(bool user, std::uint32_t* codePage);

// ---------------------------------------------------------------------------------------------
// The system the engine runs on, detected once per process.
struct SystemInfo {
  bool ntFamily;
  bool windows95, windows95FirstRelease, windows98, windowsMe, windows98OrMe;
  bool nt4OrLater, nt5OrLater, nt51OrLater, nt6OrLater, nt61OrLater, nt62OrLater;
  bool wow64;
  bool doubleByteEnabled;
  bool unicodePlatform;  // the UTF-16 forms of the text routines are preferred
};
SystemInfo DetectSystem();

// ---------------------------------------------------------------------------------------------
// User interface services. On systems without a window manager these report what they would
// show on standard error and answer as a user who closed the box would.
void MessageBoxText(void* owner, const char* text, const char* title);
// Registers the engine's window classes; false when one cannot be registered for a reason
// other than "already registered".
bool RegisterEngineWindowClasses(void* instance);
// Creates, measures and destroys a hidden window at the default place; the bottom edge.
int DefaultWindowBottom(void* instance);
void* ParentOrSelf(void* window);
void* LoadStandardCursor(int which);  // 0 arrow, 1 wait
void ShowCursor(void* cursor);
bool IsKeyDown(int virtualKey);
bool IsWindowEnabled(void* window);
void PostCommandMessage(void* window, unsigned commandId);

// Takes one waiting message of the thread and dispatches it (to the dialog of a tab-stop
// control when there is one). False when no message was waiting.
bool DispatchOneMessage();
// Waits up to `milliseconds` for input to arrive; true when some did.
bool WaitForInput(std::uint32_t milliseconds);

// ---------------------------------------------------------------------------------------------
// Shared libraries (the `kel` host loads the engine this way).
void* LoadSharedLibrary(const char* path);
void* FindSymbol(void* library, const char* name);
void FreeSharedLibrary(void* library);
// Path of the module that holds `address` (zero-terminated); its length, 0 on failure.
std::size_t ModulePathOf(const void* address, char* out, std::size_t size);
// Path of the running program itself, with every symbolic link on the way resolved, so that a
// program started through a link finds the files installed beside the real one; its length, 0
// on failure.
std::size_t ProgramPath(char* out, std::size_t size);
// Whether standard input is a terminal a person types at (not a file or a pipe).
bool StandardInputIsTerminal();

// ---------------------------------------------------------------------------------------------
// Standard streams of the process, for hosts.
void WriteStandardOutput(const char* text, std::size_t length);
void WriteStandardError(const char* text, std::size_t length);
// Reads a whole file into a new global block with two zero bytes after its bytes;
// null when the file cannot be read. `size` receives the byte count without the terminator.
MemoryHandle ReadWholeFile(const char* path, std::size_t* size);
// Why ReadWholeFileStatus returned no block.
enum class FileReadStatus { Read, CannotOpen, NoMemory, ShortRead };
// ReadWholeFile that also tells why it failed: the file cannot be opened (shared read, existing
// file), there is no memory for its bytes, or fewer bytes than its size could be read.
MemoryHandle ReadWholeFileStatus(const char* path, std::size_t* size, FileReadStatus* status);
// Creates or truncates a file and writes `length` bytes into it (shared for reading and writing
// while it is open). CannotOpen when the file cannot be created, WriteFailed when not every
// byte could be written.
enum class FileWriteStatus { Written, CannotOpen, WriteFailed };
FileWriteStatus WriteWholeFile(const char* path, const void* data, std::size_t length);

// ---------------------------------------------------------------------------------------------
// The message catalogue and the error box.
//
// Copies text `id` of a module's string table into `out` (cut to fit, zero-terminated) and
// reports its length in `length`; false when the table has no such text. A null `module` means
// the engine's own module, whose table is the message catalogue (a string-table resource on
// Windows, the same list compiled in elsewhere).
bool LoadModuleString(void* module, std::uint32_t id, char* out, std::size_t size,
                      std::size_t* length);
// Finds a file: a name with a directory is taken as it stands, a bare name by the system's
// ordinary search for modules (the program's directory, the current directory, the system
// directories, PATH). Writes the full path and returns its length; 0 when there is no such file.
std::size_t FindFileOnSearchPath(const char* name, char* out, std::size_t size);
// True when `byte` opens a two-byte character in the code page (0: the system ANSI code page).
bool IsDoubleByteLead(std::uint32_t codePage, unsigned char byte);
// The caption of a window ("" for none or no window); its length.
std::size_t WindowTitle(void* window, char* out, std::size_t size);
void BringWindowForward(void* window);
// Plays a system sound event by name ("SystemHand"); false when there is none to play.
bool PlaySystemSound(const char* eventName);
// The simple beep and then the default message sound (the script's Beep). Without a sound
// device, a terminal on standard error is rung; otherwise nothing happens.
void Beep();
// The box that reports an error of a statement run by Execute: `title` and the statement's
// `text`, an OK button and, when `offerCancel`, a Cancel button. Answers kExecuteBoxOk or
// kExecuteBoxCancel. Without a window manager the report goes to standard error and the answer
// is OK.
constexpr int kExecuteBoxOk = 1;
constexpr int kExecuteBoxCancel = 2;
int ShowExecuteErrorBox(void* owner, const char* title, const char* text, bool offerCancel);

// The selection box: `title` over a list box of `items`, with OK and Cancel. A double-click on
// an item or OK chooses it; the answer is its index, or -1 when the user cancelled or closed the
// box. Without a window manager no box can be shown and the answer is kSelectionBoxUnavailable.
constexpr int kSelectionBoxUnavailable = -2;
int ShowSelectionBox(void* owner, const char* title, const std::vector<std::string>& items);

struct LocalDateTime {
  int year, month, day, hour, minute, second;
};
LocalDateTime CurrentLocalTime();
// Appends bytes to a file, creating it when missing; false when it cannot be written.
bool AppendToFile(const char* path, const void* data, std::size_t length);
// Removes a file named by an ANSI path; false when it is not there or cannot be removed.
bool EraseNarrowFile(const char* path);
// The full path of an ANSI path (relative to the current directory); false when there is none.
bool FullNarrowPath(const char* path, char* out, std::size_t size);
// Hands a text to the system debugger (the debug output of Windows; standard error elsewhere,
// where there is no such channel).
void DebuggerOutput(const char* text);

// What the error box shows. Every text is zero-terminated; the button and label texts come from
// the message catalogue so that a language file translates them.
struct ErrorBoxTexts {
  const char* title;
  const char* errorLabel;       // control 100
  const char* scriptName;       // 101
  const char* headline;         // 102
  const char* lineInformation;  // 110
  const char* fileInformation;  // 111
  const char* errorLine;        // 120
  const char* versionLine;      // 130
  const char* moreInfoButton;   // 131, disabled when `moreInfo` is empty
  const char* tracebackButton;  // 132
  const char* webPageButton;    // 140, shown only when `offerWebPage`
  const char* firstButton;      // 1: "&Ok" or "&Continue"
  const char* exitButton;       // 2, the Continue-or-Exit box only
  const char* moreInfo;
  const char* moreInfoTitle;
  const char* tracebackTitle;
  const char* traceback;  // the traceback window's lines, separated by line feeds
  bool offerWebPage;
  bool soundsOn;  // the traceback window plays "SystemAsterisk"
};
enum class ErrorBoxKind { Ok, ContinueOrExit };
// Button ids the box answers with.
constexpr int kErrorBoxContinue = 1;  // also the single button of the Ok box
constexpr int kErrorBoxExit = 2;
constexpr int kErrorBoxWebPage = 140;
// Runs the box modally ("ERRORMSG" or "ERRORMSGB" of the engine's resources, centred, focus on
// button 1) and returns the button that ended it. Without a window manager the report goes to
// standard error and the answer is Exit, as a user who cannot continue would give.
int ShowErrorBox(void* owner, ErrorBoxKind kind, const ErrorBoxTexts& texts);
// The dialog procedures of the error box and its traceback window, for the exported
// ErrorMsgProc and StackInfoProc; WM_INITDIALOG carries the ErrorBoxTexts.
std::intptr_t ErrorBoxProcedure(void* window, unsigned message, std::uintptr_t wParam,
                                std::intptr_t lParam);
std::intptr_t TracebackProcedure(void* window, unsigned message, std::uintptr_t wParam,
                                 std::intptr_t lParam);
// The registered browser command (cut at its first blank) that makes the help web page worth
// offering; its length, 0 when none is registered.
std::size_t BrowserCommand(char* out, std::size_t size);
// Opens the help web page: through the shell, else with the browser command, else through an
// internet-shortcut file that is deleted once the browser has ended. While waiting for the
// browser, `keepWaiting(data)` is called every 20 ms (it pumps messages) and ends the wait when it
// answers false. False when no way worked.
bool OpenHelpPage(const char* address, const char* browserCommand, bool (*keepWaiting)(void*),
                  void* data);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_PLATFORM_H
