// The file system services on POSIX systems. Names are UTF-8 paths made from the engine's
// UTF-16 names with "\" read as "/"; a name that starts with a drive letter names nothing.
// Windows-only notions get their smallest honest form: read-only is "the owner may not write",
// hidden is a name that starts with ".", and archive and system are never set.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <mntent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

namespace kel::platform::posix {
namespace {

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::string Utf8Of(const std::u16string& text, Backslashes backslashes) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    AppendUtf8(out, code == u'\\' && backslashes == Backslashes::AsSlashes ? u'/' : code);
  }
  return out;
}

std::u16string Utf16Of(const char* text) {
  std::u16string out;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  while (*bytes != 0) {
    std::uint32_t code = *bytes++;
    int more = code >= 0xF0 ? 3 : code >= 0xE0 ? 2 : code >= 0xC0 ? 1 : 0;
    if (more > 0) code &= 0x3F >> more;
    for (; more > 0 && (*bytes & 0xC0) == 0x80; --more)
      code = (code << 6) | (*bytes++ & 0x3F);
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

}  // namespace kel::platform::posix

namespace kel::platform {
namespace {

constexpr std::uint32_t kErrorNotSupported = 50;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorFileExists = 80;
constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600ull;

bool HasDriveLetter(const std::u16string& path) {
  return path.size() >= 2 && path[1] == u':' &&
         ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

// The UTF-8 path of a name; false (path not found) for a name with a drive letter.
bool PosixPath(const std::u16string& name, std::string* path) {
  if (HasDriveLetter(name)) {
    posix::SetLastSystemError(kErrorPathNotFound);
    return false;
  }
  *path = posix::Utf8Of(name, posix::Backslashes::AsSlashes);
  return true;
}

bool Fail() {
  posix::SetLastErrorFromErrno();
  return false;
}

std::uint64_t FileTime(const struct timespec& time) {
  return (static_cast<std::uint64_t>(time.tv_sec) + kSecondsFrom1601To1970) * 10000000ull +
         static_cast<std::uint64_t>(time.tv_nsec) / 100;
}

bool IsHiddenName(const char* name) {
  return name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

std::uint32_t AttributesOf(const struct stat& status, const char* name) {
  std::uint32_t attributes = 0;
  if (S_ISDIR(status.st_mode)) attributes |= kAttributeDirectory;
  if ((status.st_mode & S_IWUSR) == 0) attributes |= kAttributeReadOnly;
  if (IsHiddenName(name)) attributes |= kAttributeHidden;
  return attributes;
}

const char* LastComponent(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

char FoldCase(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The system's own matching of a search pattern, case-insensitive as the engine's names are;
// "*.*" stands for every name, as it does on Windows.
bool MatchesPattern(const char* name, const char* pattern) {
  if (*pattern == '\0') return *name == '\0';
  // A final "." stands for "no extension", as in "*.".
  if (pattern[0] == '.' && pattern[1] == '\0' && *name == '\0') return true;
  if (*pattern == '*') {
    for (const char* rest = name;; ++rest) {
      if (MatchesPattern(rest, pattern + 1)) return true;
      if (*rest == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*pattern != '?' && FoldCase(*pattern) != FoldCase(*name)) return false;
  return MatchesPattern(name + 1, pattern + 1);
}

struct SearchState {
  DIR* directory = nullptr;
  std::string folder;   // where the found names are
  std::string pattern;  // the last component of the search
  std::string single;   // a pattern without wildcards names one entry
  bool singleDone = false;
  std::u16string name;  // the current name as UTF-16
};

bool StatusOf(const std::u16string& path, struct stat* status, std::string* posixPath) {
  if (!PosixPath(path, posixPath)) return false;
  if (::stat(posixPath->c_str(), status) != 0) return Fail();
  return true;
}

// Copies the bytes of `in` to `out`; false on a read or write error.
bool CopyBytes(int in, int out) {
  static constexpr std::size_t kChunk = 1 << 20;
  std::string buffer(kChunk, '\0');
  for (;;) {
    ssize_t got = ::read(in, buffer.data(), kChunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
  }
}

// A new file in the directory of `target`, to be renamed over it once complete; its descriptor
// (-1 on failure) and its name.
int TemporaryBeside(const std::string& target, std::string* temporary) {
  std::string folder = target.substr(0, target.size() - std::strlen(LastComponent(target)));
  *temporary = (folder.empty() ? std::string("./") : folder) + ".kelcopy-XXXXXX";
  return ::mkstemp(temporary->data());
}

// The copy is written beside the target under a temporary name and renamed over it only when
// it is complete, so a failed copy leaves the old target as it was.
bool CopyPosix(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail();
  struct stat status;
  if (::fstat(in, &status) != 0 || S_ISDIR(status.st_mode)) {
    if (S_ISDIR(status.st_mode)) errno = EACCES;
    Fail();
    ::close(in);
    return false;
  }
  std::string temporary;
  int out = TemporaryBeside(to, &temporary);
  if (out < 0) {
    Fail();
    ::close(in);
    return false;
  }
  bool copied = CopyBytes(in, out);
  if (!copied) posix::SetLastErrorFromErrno();
  // The copy keeps the source's permissions and times, as a copy on Windows keeps its
  // attributes and last-write time.
  struct timespec times[2] = {status.st_atim, status.st_mtim};
  ::fchmod(out, status.st_mode & 07777);
  ::futimens(out, times);
  if (::close(out) != 0 && copied) copied = Fail();
  ::close(in);
  if (copied && ::rename(temporary.c_str(), to.c_str()) != 0) copied = Fail();
  if (!copied) ::unlink(temporary.c_str());
  return copied;
}

int FileDescriptor(FileHandle file) {
  return static_cast<int>(file - 1);
}

}  // namespace

bool QueryFile(const std::u16string& path, FileFacts* facts) {
  struct stat status;
  std::string posixPath;
  if (!StatusOf(path, &status, &posixPath)) return false;
  facts->attributes = AttributesOf(status, LastComponent(posixPath));
  facts->size = S_ISDIR(status.st_mode) ? 0 : static_cast<std::uint64_t>(status.st_size);
  facts->lastWrite = FileTime(status.st_mtim);
  facts->creation = FileTime(status.st_ctim);
  facts->lastAccess = FileTime(status.st_atim);
  return true;
}

bool IsSameFile(const std::u16string& a, const std::u16string& b) {
  struct stat first, second;
  std::string pathA, pathB;
  return StatusOf(a, &first, &pathA) && StatusOf(b, &second, &pathB) &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool DirectorySearch::Open(const std::u16string& pattern) {
  Close();
  std::string path;
  if (!PosixPath(pattern, &path)) return false;
  auto* state = new SearchState;
  state_ = state;
  const char* last = LastComponent(path);
  state->folder = path.substr(0, static_cast<std::size_t>(last - path.c_str()));
  state->pattern = last;
  if (state->pattern == "*.*") state->pattern = "*";
  if (state->pattern.find_first_of("*?") == std::string::npos) {
    struct stat status;
    if (::stat(path.c_str(), &status) != 0) {
      Close();
      return Fail();
    }
    state->single = state->pattern;
    return true;
  }
  state->directory = ::opendir(state->folder.empty() ? "." : state->folder.c_str());
  if (state->directory == nullptr) {
    Close();
    return Fail();
  }
  return true;
}

bool DirectorySearch::Next(FoundFile* found) {
  auto* state = static_cast<SearchState*>(state_);
  if (state == nullptr) return false;
  const char* name = nullptr;
  if (state->directory == nullptr) {
    if (state->singleDone) return false;
    state->singleDone = true;
    name = state->single.c_str();
  } else {
    for (;;) {
      struct dirent* entry = ::readdir(state->directory);
      if (entry == nullptr) return false;
      if (MatchesPattern(entry->d_name, state->pattern.c_str())) {
        name = entry->d_name;
        break;
      }
    }
  }
  struct stat status;
  std::string full = state->folder + name;
  if (::stat(full.c_str(), &status) != 0 && ::lstat(full.c_str(), &status) != 0)
    std::memset(&status, 0, sizeof status);
  state->name = posix::Utf16Of(name);
  found->name = state->name.c_str();
  found->attributes = AttributesOf(status, name);
  found->size = S_ISDIR(status.st_mode) ? 0 : static_cast<std::uint64_t>(status.st_size);
  found->lastWrite = FileTime(status.st_mtim);
  return true;
}

void DirectorySearch::Close() {
  auto* state = static_cast<SearchState*>(state_);
  if (state == nullptr) return;
  if (state->directory != nullptr) ::closedir(state->directory);
  delete state;
  state_ = nullptr;
}

int MatchSystemPattern(const std::u16string&, const std::u16string&) {
  return -1;
}

bool FullPathName(const std::u16string& path, std::u16string* full) {
  std::string name;
  if (!PosixPath(path, &name)) return false;
  std::string absolute;
  if (name.empty() || name[0] != '/') {
    char directory[4096];
    if (CurrentDirectory(directory, sizeof directory) == 0) return false;
    absolute = directory;
    absolute += '/';
  }
  absolute += name;
  // "." and ".." are resolved by the text alone, as Windows does; a final separator stays.
  std::string result;
  std::size_t at = 0;
  while (at < absolute.size()) {
    std::size_t end = absolute.find('/', at);
    if (end == std::string::npos) end = absolute.size();
    std::string part = absolute.substr(at, end - at);
    if (part == "..") {
      std::size_t slash = result.find_last_of('/');
      result.resize(slash == std::string::npos ? 0 : slash);
    } else if (!part.empty() && part != ".") {
      result += '/';
      result += part;
    }
    at = end + 1;
  }
  if (result.empty() || (absolute.back() == '/' && result.back() != '/')) result += '/';
  *full = posix::Utf16Of(result.c_str());
  return true;
}

bool CurrentDirectoryName(std::u16string* directory) {
  char buffer[4096];
  if (CurrentDirectory(buffer, sizeof buffer) == 0) return false;
  *directory = posix::Utf16Of(buffer);
  return true;
}

bool ChangeDirectory(const std::u16string& path) {
  std::string name;
  if (!PosixPath(path, &name)) return false;
  return ::chdir(name.c_str()) == 0 || Fail();
}

bool MakeDirectory(const std::u16string& path) {
  std::string name;
  if (!PosixPath(path, &name)) return false;
  return ::mkdir(name.c_str(), 0777) == 0 || Fail();
}

bool EraseDirectory(const std::u16string& path) {
  std::string name;
  if (!PosixPath(path, &name)) return false;
  return ::rmdir(name.c_str()) == 0 || Fail();
}

bool CopyFileReplacing(const std::u16string& from, const std::u16string& to) {
  std::string source, target;
  if (!PosixPath(from, &source) || !PosixPath(to, &target)) return false;
  return CopyPosix(source, target);
}

bool WriteFileReplacing(const std::u16string& path, const void* data, std::size_t size) {
  std::string target, temporary;
  if (!PosixPath(path, &target)) return false;
  struct stat old;
  bool existed = ::stat(target.c_str(), &old) == 0;
  if (existed && S_ISDIR(old.st_mode)) {
    posix::SetLastSystemError(5);
    return false;
  }
  int out = TemporaryBeside(target, &temporary);
  if (out < 0) return Fail();
  const auto* bytes = static_cast<const char*>(data);
  bool ok = true;
  while (ok && size > 0) {
    ssize_t put = ::write(out, bytes, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      ok = Fail();
      break;
    }
    bytes += put;
    size -= static_cast<std::size_t>(put);
  }
  // A new file gets the permissions any newly created file would; a replaced one keeps its own.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(out, existed ? old.st_mode & 07777 : 0666 & ~mask);
  if (::close(out) != 0 && ok) ok = Fail();
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) ok = Fail();
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

bool MoveFileReplacing(const std::u16string& from, const std::u16string& to) {
  std::string source, target;
  if (!PosixPath(from, &source) || !PosixPath(to, &target)) return false;
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV) return Fail();
  // Another volume: the copy is complete before the source goes.
  if (!CopyPosix(source, target)) return false;
  return ::unlink(source.c_str()) == 0 || Fail();
}

bool RenameFile(const std::u16string& from, const std::u16string& to) {
  std::string source, target;
  if (!PosixPath(from, &source) || !PosixPath(to, &target)) return false;
  struct stat status;
  if (::lstat(target.c_str(), &status) == 0 && !IsSameFile(from, to)) {
    posix::SetLastSystemError(kErrorFileExists);
    return false;
  }
  return ::rename(source.c_str(), target.c_str()) == 0 || Fail();
}

bool EraseFile(const std::u16string& path) {
  std::string name;
  if (!PosixPath(path, &name)) return false;
  return ::unlink(name.c_str()) == 0 || Fail();
}

bool SetFileAttributeBits(const std::u16string& path, std::uint32_t mask,
                          std::uint32_t attributes) {
  struct stat status;
  std::string name;
  if (!StatusOf(path, &status, &name)) return false;
  std::uint32_t current = AttributesOf(status, LastComponent(name));
  constexpr std::uint32_t kUnkept = kAttributeHidden | kAttributeSystem | kAttributeArchive;
  if (((current ^ attributes) & mask & kUnkept) != 0) {
    posix::SetLastSystemError(kErrorNotSupported);
    return false;
  }
  if ((mask & kAttributeReadOnly) == 0) return true;
  mode_t mode = status.st_mode & 07777;
  mode = (attributes & kAttributeReadOnly) != 0 ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)
                                                : mode | S_IWUSR;
  return ::chmod(name.c_str(), mode) == 0 || Fail();
}

bool DiskSpace(const std::u16string& path, std::uint64_t* freeBytes, std::uint64_t* totalBytes) {
  std::string name;
  if (!PosixPath(path, &name)) return false;
  struct statvfs volume;
  if (::statvfs(name.empty() ? "." : name.c_str(), &volume) != 0) return Fail();
  *freeBytes = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
  *totalBytes = static_cast<std::uint64_t>(volume.f_blocks) * volume.f_frsize;
  return true;
}

bool CreateTemporaryFile(const std::u16string& prefix, std::u16string* path) {
  const char* folder = std::getenv("TMPDIR");
  std::string name = folder != nullptr && *folder != '\0' ? folder : "/tmp";
  if (name.back() != '/') name += '/';
  name += posix::Utf8Of(prefix.substr(0, 3), posix::Backslashes::AsSlashes) + "XXXXXX.tmp";
  int file = ::mkstemps(name.data(), 4);
  if (file < 0) return Fail();
  ::close(file);
  *path = posix::Utf16Of(name.c_str());
  return true;
}

bool LongPathName(const std::u16string& path, std::u16string* name) {
  FileFacts facts;
  if (!QueryFile(path, &facts)) return false;
  *name = path;
  for (char16_t& c : *name)
    if (c == u'\\') c = u'/';
  return true;
}

bool ShortPathName(const std::u16string& path, std::u16string* name) {
  return LongPathName(path, name);
}

bool WindowsDirectory(bool, std::u16string*) {
  posix::SetLastSystemError(kErrorNotSupported);
  return false;
}

bool ProgramDirectory(std::u16string* directory) {
  char buffer[4096];
  ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return Fail();
  buffer[length] = '\0';
  std::string path(buffer);
  *directory = posix::Utf16Of(path.substr(0, path.find_last_of('/') + 1).c_str());
  return true;
}

bool EnvironmentText(const char16_t* name, std::u16string* value) {
  const char* text = std::getenv(posix::Utf8Of(name, posix::Backslashes::AsSlashes).c_str());
  if (text == nullptr) return false;
  *value = posix::Utf16Of(text);
  return true;
}

bool SearchSystemPath(const std::u16string&, std::u16string*) {
  posix::SetLastSystemError(kErrorFileNotFound);
  return false;
}

bool SetFileStamp(const std::u16string& path, FileStamp which, std::uint64_t time) {
  struct stat status;
  std::string name;
  if (!StatusOf(path, &status, &name)) return false;
  // The system keeps no creation time that could be set.
  if (which == FileStamp::Creation) {
    posix::SetLastSystemError(kErrorNotSupported);
    return false;
  }
  // As where opening a file for writing is the way to its times: not a read-only one.
  if ((status.st_mode & S_IWUSR) == 0) {
    posix::SetLastSystemError(kErrorAccessDenied);
    return false;
  }
  struct timespec times[2];
  times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
  struct timespec& stamp = times[which == FileStamp::LastAccess ? 0 : 1];
  stamp.tv_sec = static_cast<time_t>(static_cast<std::int64_t>(time / 10000000u) -
                                     static_cast<std::int64_t>(kSecondsFrom1601To1970));
  stamp.tv_nsec = static_cast<long>(time % 10000000u) * 100;
  return ::utimensat(AT_FDCWD, name.c_str(), times, 0) == 0 || Fail();
}

bool QueryDiskGeometry(const std::u16string& path, DiskGeometry* geometry) {
  std::string name;
  if (!PosixPath(path, &name)) return false;
  struct statvfs volume;
  if (::statvfs(name.empty() ? "." : name.c_str(), &volume) != 0) return Fail();
  geometry->sectorsPerCluster = 1;
  geometry->bytesPerSector = static_cast<std::uint32_t>(volume.f_frsize);
  geometry->freeClusters = volume.f_bavail;
  geometry->totalClusters = volume.f_blocks;
  return true;
}

bool QueryVolume(const std::u16string& root, VolumeFacts* facts) {
  std::string name;
  if (!PosixPath(root, &name)) return false;
  char resolved[PATH_MAX];
  if (::realpath(name.empty() ? "." : name.c_str(), resolved) == nullptr) return Fail();
  struct statvfs volume;
  if (::statvfs(resolved, &volume) != 0) return Fail();
  facts->label.clear();
  facts->serialNumber = static_cast<std::uint32_t>(volume.f_fsid);
  facts->longestComponent = static_cast<std::uint32_t>(volume.f_namemax);
  // The file system is that of the longest mount point the path lies under.
  facts->fileSystem.clear();
  std::FILE* mounts = ::setmntent("/proc/self/mounts", "r");
  if (mounts == nullptr) return true;
  std::size_t longest = 0;
  struct mntent entry;
  char line[4096];
  while (::getmntent_r(mounts, &entry, line, sizeof line) != nullptr) {
    std::size_t length = std::strlen(entry.mnt_dir);
    bool under = std::strncmp(resolved, entry.mnt_dir, length) == 0 &&
                 (length == 1 || resolved[length] == '/' || resolved[length] == '\0');
    if (under && length >= longest) {
      longest = length;
      facts->fileSystem = posix::Utf16Of(entry.mnt_type);
    }
  }
  ::endmntent(mounts);
  return true;
}

void ListDrives(std::uint32_t kinds, std::u16string* roots, char16_t) {
  roots->clear();
  if ((kinds & kDriveFixed) != 0) *roots = u"/";
}

bool FileVersionText(const std::u16string&, const std::u16string&, const std::u16string&,
                     std::u16string*) {
  posix::SetLastSystemError(kErrorNotSupported);
  return false;
}

// Open files.
FileHandle OpenFile(const std::u16string& path, FileAccess access, std::uint32_t,
                    FileCreation creation) {
  std::string name;
  if (!PosixPath(path, &name)) return kNoFile;
  int flags = O_CLOEXEC | (access == FileAccess::Read ? O_RDONLY : O_WRONLY);
  if (creation == FileCreation::CreateAlways) flags |= O_CREAT | O_TRUNC;
  if (creation == FileCreation::OpenAlways) flags |= O_CREAT;
  int file = ::open(name.c_str(), flags, 0666);
  if (file < 0) return Fail(), kNoFile;
  struct stat status;
  if (::fstat(file, &status) == 0 && S_ISDIR(status.st_mode)) {
    ::close(file);
    posix::SetLastSystemError(5);
    return kNoFile;
  }
  // Descriptor 0 is a real file here but marks a free slot in the engine: handles count from 1.
  return static_cast<FileHandle>(file) + 1;
}

bool ReadFileBytes(FileHandle file, void* buffer, std::size_t size, std::size_t* read) {
  for (;;) {
    ssize_t got = ::read(FileDescriptor(file), buffer, size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail();
    *read = static_cast<std::size_t>(got);
    return true;
  }
}

bool WriteFileBytes(FileHandle file, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t put = ::write(FileDescriptor(file), bytes, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return Fail();
    bytes += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool SeekFileEnd(FileHandle file) {
  return ::lseek(FileDescriptor(file), 0, SEEK_END) >= 0 || Fail();
}

bool FileSizeOf(FileHandle file, std::uint64_t* size) {
  struct stat status;
  if (::fstat(FileDescriptor(file), &status) != 0) return Fail();
  *size = static_cast<std::uint64_t>(status.st_size);
  return true;
}

void CloseFile(FileHandle file) {
  ::close(FileDescriptor(file));
}

}  // namespace kel::platform
