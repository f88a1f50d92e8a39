// Time, environment, system detection, libraries and streams on POSIX systems.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <dlfcn.h>
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace kel::platform {
namespace posix {
namespace {
thread_local std::uint32_t lastError = 0;
}  // namespace

void SetLastSystemError(std::uint32_t code) {
  lastError = code;
}

void SetLastErrorFromErrno() {
  // The few codes scripts and messages care about, in the Windows numbering.
  switch (errno) {
    case ENOENT:
      lastError = 2;
      break;  // file not found
    case ENOTDIR:
      lastError = 3;
      break;  // path not found
    case EMFILE:
    case ENFILE:
      lastError = 4;
      break;
    case EACCES:
    case EPERM:
      lastError = 5;
      break;
    case EBADF:
      lastError = 6;
      break;
    case ENOMEM:
      lastError = 8;
      break;
    case EEXIST:
      lastError = 80;
      break;  // file exists
    case ENOSPC:
      lastError = 112;
      break;  // disk full
    case EINVAL:
      lastError = 87;
      break;  // invalid parameter
    case ENAMETOOLONG:
      lastError = 206;
      break;
    case ENOTEMPTY:
      lastError = 145;
      break;  // directory not empty
    case EBUSY:
      lastError = 32;
      break;  // sharing violation
    default:
      lastError = 31;
      break;  // a device attached to the system is not functioning
  }
}
}  // namespace posix

std::uint32_t LastSystemError() {
  return posix::lastError;
}

std::uint32_t TickCount() {
  // Millisecond ticks need no finer clock; the coarse one is read without a system call.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
            static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

void SleepMilliseconds(std::uint32_t milliseconds) {
  // A zero sleep only gives up the rest of the time slice; a zero nanosleep would still cost
  // the timer slack, tens of microseconds between every two statements.
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  timespec wait{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

std::int64_t SecondsSinceEpoch() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::size_t CurrentDirectory(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0 || getcwd(buffer, size) == nullptr) {
    posix::SetLastErrorFromErrno();
    return 0;
  }
  return std::strlen(buffer);
}

bool SetEnvironmentValue(const char* name, const char* value) {
  int rc = value ? setenv(name, value, 1) : unsetenv(name);
  if (rc != 0) posix::SetLastErrorFromErrno();
  return rc == 0;
}

SystemInfo DetectSystem() {
  // A POSIX system has the Unicode text services of the NT family and none of the old
  // Windows versions; nothing here pretends to be a particular Windows release.
  SystemInfo info{};
  info.ntFamily = true;
  info.nt4OrLater = true;
  info.unicodePlatform = true;
  info.wow64 = false;
  info.doubleByteEnabled = false;
  return info;
}

void MessageBoxText(void*, const char* text, const char* title) {
  std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
  std::fflush(stderr);
}

// No sound device is assumed: a terminal rings its bell, anything else stays silent.
void Beep() {
  if (::isatty(STDERR_FILENO) == 1) {
    std::fputc('\a', stderr);
    std::fflush(stderr);
  }
}

int ShowExecuteErrorBox(void*, const char* title, const char* text, bool) {
  std::fprintf(stderr, "%s\n%s\n", title ? title : "", text ? text : "");
  std::fflush(stderr);
  return kExecuteBoxOk;
}

// There is no window manager to register classes with or to measure windows in.
bool RegisterEngineWindowClasses(void*) {
  return true;
}
int DefaultWindowBottom(void*) {
  return 0;
}
void* ParentOrSelf(void* window) {
  return window;
}
void* LoadStandardCursor(int) {
  return nullptr;
}
void ShowCursor(void*) {}
bool IsKeyDown(int) {
  return false;
}
bool IsWindowEnabled(void*) {
  return false;
}
void PostCommandMessage(void*, unsigned) {}

bool DispatchOneMessage() {
  return false;
}

bool WaitForInput(std::uint32_t milliseconds) {
  SleepMilliseconds(milliseconds);
  return false;
}

void* LoadSharedLibrary(const char* path) {
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}

void* FindSymbol(void* library, const char* name) {
  return library ? dlsym(library, name) : nullptr;
}

void FreeSharedLibrary(void* library) {
  if (library) dlclose(library);
}

std::size_t ModulePathOf(const void* address, char* out, std::size_t size) {
  Dl_info info{};
  if (size == 0 || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return 0;
  std::size_t length = std::strlen(info.dli_fname);
  if (length >= size) return 0;
  std::memcpy(out, info.dli_fname, length + 1);
  return length;
}

std::size_t ProgramPath(char* out, std::size_t size) {
  char resolved[PATH_MAX];
  if (size == 0 || ::realpath("/proc/self/exe", resolved) == nullptr) return 0;
  std::size_t length = std::strlen(resolved);
  if (length >= size) return 0;
  std::memcpy(out, resolved, length + 1);
  return length;
}

bool StandardInputIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

void WriteStandardOutput(const char* text, std::size_t length) {
  std::fwrite(text, 1, length, stdout);
  std::fflush(stdout);
}

void WriteStandardError(const char* text, std::size_t length) {
  std::fwrite(text, 1, length, stderr);
  std::fflush(stderr);
}

MemoryHandle ReadWholeFile(const char* path, std::size_t* size) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    posix::SetLastErrorFromErrno();
    return nullptr;
  }
  std::size_t capacity = 4096, used = 0;
  MemoryHandle handle = GlobalAllocate(capacity, Fill::Zero);
  while (handle != nullptr) {
    auto* data = static_cast<char*>(GlobalLock(handle));
    std::size_t got = std::fread(data + used, 1, capacity - used - 2, file);
    used += got;
    GlobalUnlock(handle);
    if (used + 2 < capacity) break;
    MemoryHandle bigger = GlobalReallocate(handle, capacity * 2, Fill::Zero);
    if (bigger == nullptr) {
      GlobalFree(handle);
      handle = nullptr;
      break;
    }
    handle = bigger;
    capacity *= 2;
  }
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (handle != nullptr && failed) {
    GlobalFree(handle);
    handle = nullptr;
  }
  if (handle != nullptr && size != nullptr) *size = used;
  return handle;
}

FileWriteStatus WriteWholeFile(const char* path, const void* data, std::size_t length) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    posix::SetLastErrorFromErrno();
    return FileWriteStatus::CannotOpen;
  }
  bool ok = length == 0 || std::fwrite(data, 1, length, file) == length;
  ok = std::fclose(file) == 0 && ok;
  return ok ? FileWriteStatus::Written : FileWriteStatus::WriteFailed;
}

MemoryHandle ReadWholeFileStatus(const char* path, std::size_t* size, FileReadStatus* status) {
  auto fail = [&](FileReadStatus why) -> MemoryHandle {
    if (status != nullptr) *status = why;
    return nullptr;
  };
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    posix::SetLastErrorFromErrno();
    return fail(FileReadStatus::CannotOpen);
  }
  // Only a regular file can be read whole: a directory opens but has no bytes to give.
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    posix::SetLastSystemError(2);
    return fail(FileReadStatus::CannotOpen);
  }
  auto bytes = static_cast<std::size_t>(info.st_size);
  MemoryHandle handle = GlobalAllocate(bytes + 2, Fill::Zero);
  if (handle == nullptr) {
    std::fclose(file);
    return fail(FileReadStatus::NoMemory);
  }
  std::size_t got = std::fread(GlobalLock(handle), 1, bytes, file);
  GlobalUnlock(handle);
  std::fclose(file);
  if (got != bytes) {
    GlobalFree(handle);
    return fail(FileReadStatus::ShortRead);
  }
  if (size != nullptr) *size = bytes;
  if (status != nullptr) *status = FileReadStatus::Read;
  return handle;
}

}  // namespace kel::platform
