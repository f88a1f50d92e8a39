// The file system services on Windows, through the wide API.
#include "platform/files.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace kel::platform {
namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::uint64_t Join(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

std::uint64_t Join(const FILETIME& time) {
  return Join(time.dwHighDateTime, time.dwLowDateTime);
}

// Names up to this many characters come back from the system's name services.
constexpr DWORD kNameUnits = MAX_PATH * 4;

// Takes a name a system call wrote into `buffer` (its length as the call answered it: 0 for a
// failure, `kNameUnits` or more for a name that did not fit).
bool TakeName(const wchar_t* buffer, DWORD length, std::u16string* out) {
  if (length == 0 || length >= kNameUnits) return false;
  out->assign(reinterpret_cast<const char16_t*>(buffer), length);
  return true;
}

struct SearchState {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW data;
  bool pending = false;  // the first entry, found by Open, is not yet handed out
};

}  // namespace

bool QueryFile(const std::u16string& path, FileFacts* facts) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data)) return false;
  facts->attributes = data.dwFileAttributes;
  facts->size = Join(data.nFileSizeHigh, data.nFileSizeLow);
  facts->lastWrite = Join(data.ftLastWriteTime);
  facts->creation = Join(data.ftCreationTime);
  facts->lastAccess = Join(data.ftLastAccessTime);
  return true;
}

bool IsSameFile(const std::u16string& a, const std::u16string& b) {
  auto identity = [](const std::u16string& path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE file =
        ::CreateFileW(Wide(path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BOOL ok = ::GetFileInformationByHandle(file, info);
    ::CloseHandle(file);
    return ok != FALSE;
  };
  BY_HANDLE_FILE_INFORMATION first, second;
  return identity(a, &first) && identity(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

bool DirectorySearch::Open(const std::u16string& pattern) {
  Close();
  auto* state = new SearchState;
  state->find = ::FindFirstFileExW(Wide(pattern), FindExInfoBasic, &state->data,
                                   FindExSearchNameMatch, nullptr, 0);
  if (state->find == INVALID_HANDLE_VALUE) {
    delete state;
    return false;
  }
  state->pending = true;
  state_ = state;
  return true;
}

bool DirectorySearch::Next(FoundFile* found) {
  auto* state = static_cast<SearchState*>(state_);
  if (state == nullptr) return false;
  if (!state->pending && !::FindNextFileW(state->find, &state->data)) return false;
  state->pending = false;
  found->name = reinterpret_cast<const char16_t*>(state->data.cFileName);
  found->attributes = state->data.dwFileAttributes;
  found->size = Join(state->data.nFileSizeHigh, state->data.nFileSizeLow);
  found->lastWrite = Join(state->data.ftLastWriteTime);
  return true;
}

void DirectorySearch::Close() {
  auto* state = static_cast<SearchState*>(state_);
  if (state == nullptr) return;
  ::FindClose(state->find);
  delete state;
  state_ = nullptr;
}

int MatchSystemPattern(const std::u16string& name, const std::u16string& pattern) {
  HMODULE shell = ::LoadLibraryW(L"shlwapi.dll");
  if (shell == nullptr) return -1;
  using Match = BOOL(WINAPI*)(const wchar_t*, const wchar_t*);
  auto match = reinterpret_cast<Match>(
      reinterpret_cast<void (*)()>(::GetProcAddress(shell, "PathMatchSpecW")));
  int answer = match == nullptr ? -1 : match(Wide(name), Wide(pattern)) != FALSE ? 1 : 0;
  ::FreeLibrary(shell);
  return answer;
}

bool FullPathName(const std::u16string& path, std::u16string* full) {
  wchar_t buffer[kNameUnits];
  return TakeName(buffer, ::GetFullPathNameW(Wide(path), kNameUnits, buffer, nullptr), full);
}

bool CurrentDirectoryName(std::u16string* directory) {
  wchar_t buffer[kNameUnits];
  return TakeName(buffer, ::GetCurrentDirectoryW(kNameUnits, buffer), directory);
}

bool ChangeDirectory(const std::u16string& path) {
  return ::SetCurrentDirectoryW(Wide(path)) != FALSE;
}

bool MakeDirectory(const std::u16string& path) {
  return ::CreateDirectoryW(Wide(path), nullptr) != FALSE;
}

bool EraseDirectory(const std::u16string& path) {
  return ::RemoveDirectoryW(Wide(path)) != FALSE;
}

bool CopyFileReplacing(const std::u16string& from, const std::u16string& to) {
  return ::CopyFileW(Wide(from), Wide(to), FALSE) != FALSE;
}

bool WriteFileReplacing(const std::u16string& path, const void* data, std::size_t size) {
  std::u16string temporary = path + u".kelnew";
  HANDLE file = ::CreateFileW(Wide(temporary), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteFileBytes(reinterpret_cast<FileHandle>(file), data, size);
  ::CloseHandle(file);
  if (ok) ok = ::MoveFileExW(Wide(temporary), Wide(path), MOVEFILE_REPLACE_EXISTING) != FALSE;
  if (!ok) {
    DWORD error = ::GetLastError();
    ::DeleteFileW(Wide(temporary));
    ::SetLastError(error);
  }
  return ok;
}

bool MoveFileReplacing(const std::u16string& from, const std::u16string& to) {
  return ::MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) !=
         FALSE;
}

bool RenameFile(const std::u16string& from, const std::u16string& to) {
  return ::MoveFileW(Wide(from), Wide(to)) != FALSE;
}

bool EraseFile(const std::u16string& path) {
  return ::DeleteFileW(Wide(path)) != FALSE;
}

bool SetFileAttributeBits(const std::u16string& path, std::uint32_t mask,
                          std::uint32_t attributes) {
  DWORD current = ::GetFileAttributesW(Wide(path));
  if (current == INVALID_FILE_ATTRIBUTES) return false;
  DWORD wanted = (current & ~mask) | (attributes & mask);
  wanted &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileAttributesW(Wide(path), wanted) != FALSE;
}

bool DiskSpace(const std::u16string& path, std::uint64_t* freeBytes, std::uint64_t* totalBytes) {
  ULARGE_INTEGER available, total;
  if (!::GetDiskFreeSpaceExW(Wide(path), &available, &total, nullptr)) return false;
  *freeBytes = available.QuadPart;
  *totalBytes = total.QuadPart;
  return true;
}

bool CreateTemporaryFile(const std::u16string& prefix, std::u16string* path) {
  wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
  DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return false;
  if (::GetTempFileNameW(folder, Wide(prefix), 0, name) == 0) return false;
  // The temporary directory may be named in its short form; the answer is the long one.
  std::u16string created(reinterpret_cast<const char16_t*>(name));
  if (!LongPathName(created, path)) *path = created;
  return true;
}

bool LongPathName(const std::u16string& path, std::u16string* name) {
  wchar_t buffer[kNameUnits];
  return TakeName(buffer, ::GetLongPathNameW(Wide(path), buffer, kNameUnits), name);
}

bool ShortPathName(const std::u16string& path, std::u16string* name) {
  wchar_t buffer[kNameUnits];
  return TakeName(buffer, ::GetShortPathNameW(Wide(path), buffer, kNameUnits), name);
}

bool WindowsDirectory(bool system, std::u16string* directory) {
  wchar_t buffer[kNameUnits];
  UINT length = system ? ::GetSystemDirectoryW(buffer, kNameUnits)
                       : ::GetWindowsDirectoryW(buffer, kNameUnits);
  if (!TakeName(buffer, length, directory)) return false;
  if (directory->back() != u'\\') *directory += u'\\';
  return true;
}

bool ProgramDirectory(std::u16string* directory) {
  wchar_t buffer[kNameUnits];
  std::u16string path;
  if (!TakeName(buffer, ::GetModuleFileNameW(nullptr, buffer, kNameUnits), &path)) return false;
  *directory = path.substr(0, path.find_last_of(u"\\/") + 1);
  return true;
}

bool EnvironmentText(const char16_t* name, std::u16string* value) {
  const auto* wideName = reinterpret_cast<const wchar_t*>(name);
  DWORD length = ::GetEnvironmentVariableW(wideName, nullptr, 0);
  if (length == 0) return false;
  std::wstring buffer(length, L'\0');
  length = ::GetEnvironmentVariableW(wideName, buffer.data(), length);
  value->assign(reinterpret_cast<const char16_t*>(buffer.data()), length);
  return true;
}

bool SearchSystemPath(const std::u16string& name, std::u16string* full) {
  wchar_t buffer[kNameUnits];
  return TakeName(buffer, ::SearchPathW(nullptr, Wide(name), nullptr, kNameUnits, buffer, nullptr),
                  full);
}

bool SetFileStamp(const std::u16string& path, FileStamp which, std::uint64_t time) {
  HANDLE file = ::CreateFileW(Wide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME stamp{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  BOOL ok = ::SetFileTime(file, which == FileStamp::Creation ? &stamp : nullptr,
                          which == FileStamp::LastAccess ? &stamp : nullptr,
                          which == FileStamp::LastWrite ? &stamp : nullptr);
  DWORD error = ::GetLastError();
  ::CloseHandle(file);
  ::SetLastError(error);
  return ok != FALSE;
}

bool QueryDiskGeometry(const std::u16string& path, DiskGeometry* geometry) {
  DWORD sectorsPerCluster, bytesPerSector, freeClusters, totalClusters;
  if (!::GetDiskFreeSpaceW(Wide(path), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
    return false;
  *geometry = DiskGeometry{sectorsPerCluster, bytesPerSector, freeClusters, totalClusters};
  return true;
}

bool QueryVolume(const std::u16string& root, VolumeFacts* facts) {
  wchar_t label[MAX_PATH + 1], fileSystem[MAX_PATH + 1];
  DWORD serial = 0, longest = 0, flags = 0;
  if (!::GetVolumeInformationW(Wide(root), label, MAX_PATH + 1, &serial, &longest, &flags,
                               fileSystem, MAX_PATH + 1))
    return false;
  facts->label = reinterpret_cast<const char16_t*>(label);
  facts->fileSystem = reinterpret_cast<const char16_t*>(fileSystem);
  facts->serialNumber = serial;
  facts->longestComponent = longest;
  return true;
}

void ListDrives(std::uint32_t kinds, std::u16string* roots, char16_t separator) {
  roots->clear();
  DWORD drives = ::GetLogicalDrives();
  for (int letter = 0; letter < 26; ++letter) {
    if ((drives & (1u << letter)) == 0) continue;
    char16_t root[4] = {static_cast<char16_t>(u'A' + letter), u':', u'\\', 0};
    std::uint32_t kind = 0;
    switch (::GetDriveTypeW(reinterpret_cast<const wchar_t*>(root))) {
      case DRIVE_REMOVABLE:
        kind = kDriveRemovable;
        break;
      case DRIVE_FIXED:
        kind = kDriveFixed;
        break;
      case DRIVE_REMOTE:
        kind = kDriveRemote;
        break;
      case DRIVE_CDROM:
        kind = kDriveOptical;
        break;
      case DRIVE_RAMDISK:
        kind = kDriveRamDisk;
        break;
      default:
        break;
    }
    if ((kind & kinds) == 0) continue;
    if (!roots->empty()) *roots += separator;
    *roots += std::u16string(root, 2);
  }
}

bool FileVersionText(const std::u16string& path, const std::u16string& language,
                     const std::u16string& item, std::u16string* text) {
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeW(Wide(path), &ignored);
  if (size == 0) return false;
  std::vector<unsigned char> data(size);
  if (!::GetFileVersionInfoW(Wide(path), 0, size, data.data())) return false;
  void* found = nullptr;
  UINT length = 0;
  if (!item.empty() && item[0] == u'#') {
    if (!::VerQueryValueW(data.data(), L"\\", &found, &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
      ::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return false;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(found);
    bool product = ::lstrcmpiW(Wide(item), L"#ProductVersion") == 0;
    if (!product && ::lstrcmpiW(Wide(item), L"#FileVersion") != 0) {
      ::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return false;
    }
    DWORD high = product ? fixed->dwProductVersionMS : fixed->dwFileVersionMS;
    DWORD low = product ? fixed->dwProductVersionLS : fixed->dwFileVersionLS;
    wchar_t numbers[48];
    std::swprintf(numbers, 48, L"%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low),
                  LOWORD(low));
    *text = reinterpret_cast<const char16_t*>(numbers);
    return true;
  }
  std::u16string block = language;
  if (block.empty()) {
    // The first language and code page the file lists.
    if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &found, &length) ||
        length < 4) {
      ::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return false;
    }
    const auto* pair = static_cast<const WORD*>(found);
    wchar_t code[9];
    std::swprintf(code, 9, L"%04x%04x", pair[0], pair[1]);
    block = reinterpret_cast<const char16_t*>(code);
  }
  std::u16string query = u"\\StringFileInfo\\" + block + u"\\" + item;
  if (!::VerQueryValueW(data.data(), Wide(query), &found, &length) || length == 0) {
    ::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return false;
  }
  const auto* value = static_cast<const char16_t*>(found);
  std::size_t units = 0;
  while (units < length && value[units] != 0)
    ++units;
  text->assign(value, units);
  return true;
}

FileHandle OpenFile(const std::u16string& path, FileAccess access, std::uint32_t share,
                    FileCreation creation) {
  DWORD disposition = creation == FileCreation::OpenExisting   ? OPEN_EXISTING
                      : creation == FileCreation::CreateAlways ? CREATE_ALWAYS
                                                               : OPEN_ALWAYS;
  HANDLE file = ::CreateFileW(Wide(path), access == FileAccess::Read ? GENERIC_READ : GENERIC_WRITE,
                              share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kNoFile;
  return reinterpret_cast<FileHandle>(file);
}

bool ReadFileBytes(FileHandle file, void* buffer, std::size_t size, std::size_t* read) {
  DWORD got = 0;
  if (!::ReadFile(reinterpret_cast<HANDLE>(file), buffer, static_cast<DWORD>(size), &got, nullptr))
    return false;
  *read = got;
  return true;
}

bool WriteFileBytes(FileHandle file, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD put = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(file), bytes, chunk, &put, nullptr) || put == 0)
      return false;
    bytes += put;
    size -= put;
  }
  return true;
}

bool SeekFileEnd(FileHandle file) {
  LARGE_INTEGER zero{};
  return ::SetFilePointerEx(reinterpret_cast<HANDLE>(file), zero, nullptr, FILE_END) != FALSE;
}

bool FileSizeOf(FileHandle file, std::uint64_t* size) {
  LARGE_INTEGER length;
  if (!::GetFileSizeEx(reinterpret_cast<HANDLE>(file), &length)) return false;
  *size = static_cast<std::uint64_t>(length.QuadPart);
  return true;
}

void CloseFile(FileHandle file) {
  ::CloseHandle(reinterpret_cast<HANDLE>(file));
}

}  // namespace kel::platform
