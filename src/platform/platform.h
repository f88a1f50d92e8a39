// Every operating-system service the engine uses; win32/ implements it with the real API and
// posix/ with its POSIX counterpart or the smallest honest layer.
#ifndef KEL_PLATFORM_PLATFORM_H
#define KEL_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>

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
// Profile (INI) files. A name without a directory means the settings file in its usual place.
// Returns the length of the value copied into `out` (the default when the key is missing).
std::size_t ReadProfileText(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, std::size_t size);
int ReadProfileNumber(const char* file, const char* section, const char* key, int fallback);
bool WriteProfileText(const char* file, const char* section, const char* key, const char* value);
// Where a bare settings-file name resolves to (written into `out`, zero-terminated).
std::size_t SettingsFilePath(const char* name, char* out, std::size_t size);

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

// ---------------------------------------------------------------------------------------------
// Standard streams of the process, for hosts.
void WriteStandardOutput(const char* text, std::size_t length);
void WriteStandardError(const char* text, std::size_t length);
// Reads a whole file into a new global block with two zero bytes after its bytes;
// null when the file cannot be read. `size` receives the byte count without the terminator.
MemoryHandle ReadWholeFile(const char* path, std::size_t* size);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_PLATFORM_H
