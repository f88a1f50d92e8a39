// The file system services of the file, directory and disk functions. Names are UTF-16 texts;
// win32/ hands them to the wide API, posix/ turns them into UTF-8 paths where "\" is read as
// "/" (so that scripts written with either separator work) and a drive letter names nothing.
//
// Every call that fails leaves LastSystemError() set in the Windows numbering: 2 file not
// found, 3 path not found, 5 access denied, 32 sharing violation, 80 file exists.
#ifndef KEL_PLATFORM_FILES_H
#define KEL_PLATFORM_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/time.h"

namespace kel::platform {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorSharingViolation = 32;

// The attribute bits, in the Windows numbering.
constexpr std::uint32_t kAttributeReadOnly = 0x1;
constexpr std::uint32_t kAttributeHidden = 0x2;
constexpr std::uint32_t kAttributeSystem = 0x4;
constexpr std::uint32_t kAttributeDirectory = 0x10;
constexpr std::uint32_t kAttributeArchive = 0x20;

// The preferred separator of full names.
#if defined(_WIN32)
constexpr char16_t kPathSeparator = u'\\';
#else
constexpr char16_t kPathSeparator = u'/';
#endif

// Time stamps count 100-nanosecond steps since 1601-01-01 UTC, as the Windows file times do.
struct FileFacts {
  std::uint32_t attributes;
  std::uint64_t size;
  std::uint64_t lastWrite, creation, lastAccess;
};

// The facts of a file or directory; false when there is no such thing.
bool QueryFile(const std::u16string& path, FileFacts* facts);
// Two names of the same file (the same file-system object, whatever the names say).
bool IsSameFile(const std::u16string& a, const std::u16string& b);

// The platform's wildcard search of one directory: `pattern` is a full or relative name whose
// last component may hold "*" and "?". Found names come in the system's enumeration order,
// "." and ".." included where the system lists them.
struct FoundFile {
  const char16_t* name;  // valid until the next call on the search
  std::uint32_t attributes;
  std::uint64_t size;
  std::uint64_t lastWrite;
};
class DirectorySearch {
 public:
  DirectorySearch() = default;
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;
  ~DirectorySearch() { Close(); }
  // False when nothing matches or the directory cannot be read.
  bool Open(const std::u16string& pattern);
  bool Next(FoundFile* found);
  void Close();

 private:
  void* state_ = nullptr;
};

// The system's own wildcard match of a file name (the shell's, loaded at each use): 1 when
// `name` matches `pattern`, 0 when not, -1 where the system has no such match.
int MatchSystemPattern(const std::u16string& name, const std::u16string& pattern);

// The full name of `path`: made absolute against the current directory, "." and ".."
// resolved. False when it cannot be expanded.
bool FullPathName(const std::u16string& path, std::u16string* full);
bool CurrentDirectoryName(std::u16string* directory);
bool ChangeDirectory(const std::u16string& path);
bool MakeDirectory(const std::u16string& path);
bool EraseDirectory(const std::u16string& path);

// Copies a file, replacing the target. The target is never left half-written in place of a good
// file where the system lets the copy be made aside and moved in.
bool CopyFileReplacing(const std::u16string& from, const std::u16string& to);
// Makes a file hold exactly `size` bytes of `data`; the bytes are written beside it and moved in
// when complete, so a failed write leaves the old file as it was.
bool WriteFileReplacing(const std::u16string& path, const void* data, std::size_t size);
// Moves a file, replacing the target (across volumes by copying).
bool MoveFileReplacing(const std::u16string& from, const std::u16string& to);
// Renames a file or directory; fails when the target exists.
bool RenameFile(const std::u16string& from, const std::u16string& to);
bool EraseFile(const std::u16string& path);
// Sets the attribute bits among read-only, hidden, system and archive that `mask` names to
// their value in `attributes`. A bit that the system has no way to keep fails with 50 (not
// supported) when it would change.
bool SetFileAttributeBits(const std::u16string& path, std::uint32_t mask, std::uint32_t attributes);

// Free and total bytes of the volume that holds `path`.
bool DiskSpace(const std::u16string& path, std::uint64_t* freeBytes, std::uint64_t* totalBytes);
// Creates a new empty file with a unique name, beginning with `prefix`, in the system's
// directory for temporary files; its full name.
bool CreateTemporaryFile(const std::u16string& prefix, std::u16string* path);
// The long and the short (8.3) form of an existing file's name. Systems without short names
// answer the long form for both.
bool LongPathName(const std::u16string& path, std::u16string* name);
bool ShortPathName(const std::u16string& path, std::u16string* name);
// The Windows directory or, with `system`, the system directory (with a final separator);
// false with 50 (not supported) where there is none.
bool WindowsDirectory(bool system, std::u16string* directory);
// The directory that holds the running program (with a final separator).
bool ProgramDirectory(std::u16string* directory);
// The value of an environment variable as UTF-16; false when it is not set.
bool EnvironmentText(const char16_t* name, std::u16string* value);
// The system's own search for a bare file name (the program's directory, the system
// directories); false when the file is not found there.
bool SearchSystemPath(const std::u16string& name, std::u16string* full);

// Which time stamp of a file the time functions read or set.
enum class FileStamp { LastWrite, Creation, LastAccess };
// Sets one time stamp of a file. The file is opened for writing with share-read, so a read-only
// file fails with 5 (access denied); a stamp the system has no way to set fails with 50.
bool SetFileStamp(const std::u16string& path, FileStamp which, std::uint64_t time);
// Between file times and the local time of the system's time zone, with the daylight-saving
// rule of that moment. False for a moment the system cannot convert.
bool FileTimeToLocalTime(std::uint64_t fileTime, ClockTime* local);
bool LocalTimeToFileTime(const ClockTime& local, std::uint64_t* fileTime);

// The allocation units of the volume that holds `path` (on systems without sectors a cluster is
// one block of the file system, one "sector" long).
struct DiskGeometry {
  std::uint32_t sectorsPerCluster, bytesPerSector;
  std::uint64_t freeClusters, totalClusters;
};
bool QueryDiskGeometry(const std::u16string& path, DiskGeometry* geometry);
// The volume's label, file system name, serial number and longest name component. Systems
// that keep no label answer an empty one.
struct VolumeFacts {
  std::u16string label, fileSystem;
  std::uint32_t serialNumber, longestComponent;
};
bool QueryVolume(const std::u16string& root, VolumeFacts* facts);
// The kinds of drives, as bits.
constexpr std::uint32_t kDriveRemovable = 1;
constexpr std::uint32_t kDriveFixed = 2;
constexpr std::uint32_t kDriveRemote = 4;
constexpr std::uint32_t kDriveOptical = 8;
constexpr std::uint32_t kDriveRamDisk = 16;
// The drives whose kind is among `kinds`, joined by `separator`: "C:" and so on in letter order,
// or, where there are no drive letters, "/" as the one fixed drive.
void ListDrives(std::uint32_t kinds, std::u16string* roots, char16_t separator);

// One text of a file's version resource: `language` is the language and code page as eight
// hexadecimal digits ("" for the first one the file has), `item` a string's name such as
// "FileVersion", or "#FileVersion" / "#ProductVersion" for the numbers of the fixed part.
// False with 1813 (resource type not found) when the file has no such text, and with 50 where
// files carry no version resources.
bool FileVersionText(const std::u16string& path, const std::u16string& language,
                     const std::u16string& item, std::u16string* text);

// The overwrite confirmation box of copying and moving: the target's and the source's full names,
// each over a line of its size and time. The answer is the button the user pressed, as the
// overwrite state it sets (closing the box is Cancel); without a window manager no box can be
// shown and the answer is kOverwriteBoxUnavailable.
enum OverwriteAnswer : int {
  kOverwriteThis = 1,
  kOverwriteIfNewer = 2,
  kOverwriteIfOlder = 3,
  kOverwriteSkip = 4,
  kOverwriteAll = 101,
  kOverwriteNewerAll = 102,
  kOverwriteOlderAll = 103,
  kOverwriteCancel = 104,
};
constexpr int kOverwriteBoxUnavailable = -2;
bool CanAskOverwrite();
int AskOverwrite(void* owner, const std::u16string& target, const std::u16string& targetLine,
                 const std::u16string& source, const std::u16string& sourceLine);

// Open files. A handle is never 0, which marks a free slot of the script's open-file table.
using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = 0;
enum class FileAccess { Read, Write };
enum class FileCreation { OpenExisting, CreateAlways, OpenAlways };
// Share bits as the Windows API takes them: 1 others may read, 2 others may write.
FileHandle OpenFile(const std::u16string& path, FileAccess access, std::uint32_t share,
                    FileCreation creation);
// Reads up to `size` bytes; false on a read error (0 bytes read at the end is success).
bool ReadFileBytes(FileHandle file, void* buffer, std::size_t size, std::size_t* read);
// Writes every byte or fails.
bool WriteFileBytes(FileHandle file, const void* data, std::size_t size);
bool SeekFileEnd(FileHandle file);
bool FileSizeOf(FileHandle file, std::uint64_t* size);
void CloseFile(FileHandle file);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_FILES_H
