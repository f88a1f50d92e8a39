// Directories and drives: making, removing and changing directories, and the free and total
// space of drives.
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/files/file_lists.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace kel {
namespace {

// DirMake and DirRemove walk their list without wildcards.
void MakeOrRemove(BatchContext& context, EvalValue& result, EvalValue* arguments, bool make) {
  std::u16string list;
  if (!NameArgument(context, arguments[0], &list)) return;
  std::vector<std::u16string> entries;
  bool ok = SplitFileList(context, list, &entries);
  for (std::size_t i = 0; ok && i < entries.size(); ++i) {
    const std::u16string& entry = entries[i];
    if (HasWildcard(entry)) {
      SetError(context, kErrNoWildcardsAllowed);
      ok = false;
    } else if (make) {
      ok = IsDirectoryName(entry) || platform::MakeDirectory(entry);
      if (!ok) SetError(context, kErrDirNotCreated);
    } else {
      platform::FileFacts facts;
      if (!platform::QueryFile(entry, &facts)) continue;  // nothing to remove
      ok = platform::EraseDirectory(entry);
      if (!ok) SetError(context, kErrDirNotRemoved);
    }
  }
  SetEvalInteger(context, result, ok ? 1 : 0);
}

bool IsRoot(const std::u16string& full) {
  return full.size() <= 1 || (full.size() <= 3 && full[1] == u':');
}

std::int32_t DirectoryExists(const std::u16string& path) {
  if (HasWildcard(path)) return 0;
  if (path == u"..") {
    std::u16string here;
    if (platform::CurrentDirectoryName(&here) && IsRoot(here)) return 0;
  }
  return IsDirectoryName(path) ? 1 : 0;
}

std::u16string WithSeparator(std::u16string path) {
  if (path.empty() || !IsSeparator(path.back())) path += platform::kPathSeparator;
  return path;
}

// The root a drive-list entry names: "X:\" from its letter, a UNC share as it is written, and
// on systems without drives a path that starts with "/".
bool DriveRoot(const std::u16string& entry, std::u16string* root) {
  if (entry.empty()) return false;
  if (entry.size() >= 2 && IsSeparator(entry[0]) && IsSeparator(entry[1])) {
    *root = WithSeparator(entry);
    return true;
  }
#if defined(_WIN32)
  *root = entry.substr(0, 1) + u":\\";
  return true;
#else
  if (entry[0] != u'/') return false;
  *root = entry;
  return true;
#endif
}

// DiskFree and DiskSize: the sum over a list of drives. A drive that is not there adds nothing.
void DiskTotal(BatchContext& context, int count, EvalValue& result, EvalValue* arguments,
               bool freeSpace) {
  std::u16string list;
  if (!NameArgument(context, arguments[0], &list)) return;
  std::vector<std::u16string> entries;
  if (!SplitFileList(context, list, &entries)) return;
  std::uint64_t total = 0;
  for (const std::u16string& entry : entries) {
    std::u16string root;
    std::uint64_t freeBytes = 0, totalBytes = 0;
    if (DriveRoot(entry, &root) && platform::DiskSpace(root, &freeBytes, &totalBytes))
      total += freeSpace ? freeBytes : totalBytes;
  }
  SetByteCountResult(context, result, total, count > 1 && arguments[1].value.intValue == 1);
}

// The bytes of the files in a directory, and with `nested` in all directories below it.
std::uint64_t DirectoryBytes(const std::u16string& directory, bool nested) {
  std::u16string prefix = WithSeparator(directory);
  std::uint64_t total = 0;
  std::vector<std::u16string> below;
  platform::DirectorySearch search;
  platform::FoundFile found;
  if (!search.Open(prefix + u"*")) return 0;
  while (search.Next(&found)) {
    std::u16string_view name(found.name);
    if ((found.attributes & platform::kAttributeDirectory) == 0)
      total += found.size;
    else if (nested && name != u"." && name != u"..")
      below.push_back(prefix + std::u16string(name));
  }
  search.Close();
  for (const std::u16string& child : below)
    total += DirectoryBytes(child, true);
  return total;
}

void DirectorySize(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  std::u16string directory;
  if (!NameArgument(context, arguments[0], &directory)) return;
  if (!IsDirectoryName(directory)) return SetError(context, kErrFunctionFailed);
  std::uint64_t total = DirectoryBytes(directory, (arguments[1].value.intValue & 1) != 0);
  SetByteCountResult(context, result, total, count > 2 && arguments[2].value.intValue == 1);
}

// The drive and the request of DiskInfo and DiskVolInfo, which both take requests 1 to 4;
// false with the error set.
bool DriveRequest(BatchContext& context, EvalValue* arguments, std::u16string* root,
                  std::int32_t* request) {
  std::u16string drive;
  if (!NameArgument(context, arguments[0], &drive)) return false;
  *request = arguments[1].value.intValue;
  if (*request < 1 || *request > 4) {
    SetError(context, kErrInvalidMode);
    return false;
  }
  // A drive that names nothing fails as the system's query would.
  if (!DriveRoot(drive, root)) root->clear();
  return true;
}

void DriveQueryFailed(BatchContext& context, const char* callName) {
  RecordApiError(context, platform::LastSystemError(), callName, true);
  SetError(context, kErrFunctionFailed);
}

// DiskInfo: 1 sectors per cluster, 2 bytes per sector, 3 free clusters, 4 all clusters.
void DiskGeometryFact(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string root;
  std::int32_t request;
  if (!DriveRequest(context, arguments, &root, &request)) return;
  platform::DiskGeometry geometry;
  if (root.empty() || !platform::QueryDiskGeometry(root, &geometry))
    return DriveQueryFailed(context, "GetDiskFreeSpace");
  const std::uint64_t facts[] = {geometry.sectorsPerCluster, geometry.bytesPerSector,
                                 geometry.freeClusters, geometry.totalClusters};
  SetByteCountResult(context, result, facts[request - 1], false);
}

// DiskVolInfo: 1 the label, 2 the file system's name, 3 the serial number, 4 the longest name
// part the volume takes.
void VolumeFact(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string root;
  std::int32_t request;
  if (!DriveRequest(context, arguments, &root, &request)) return;
  platform::VolumeFacts facts;
  if (root.empty() || !platform::QueryVolume(root, &facts))
    return DriveQueryFailed(context, "GetVolumeInformation");
  switch (request) {
    case 1:
      SetNameResult(context, result, facts.label);
      return;
    case 2:
      SetNameResult(context, result, facts.fileSystem);
      return;
    case 3:
      return SetEvalInteger(context, result, static_cast<std::int32_t>(facts.serialNumber));
    default:
      return SetEvalInteger(context, result, static_cast<std::int32_t>(facts.longestComponent));
  }
}

// DiskScan: the drives of the kinds the request's bits name.
void ScanDrives(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  constexpr std::uint32_t kAllKinds = platform::kDriveRemovable | platform::kDriveFixed |
                                      platform::kDriveRemote | platform::kDriveOptical |
                                      platform::kDriveRamDisk;
  std::uint32_t kinds = static_cast<std::uint32_t>(arguments[0].value.intValue);
  if (kinds == 0 || (kinds & ~kAllKinds) != 0) return SetError(context, kErrInvalidMode);
  std::u16string drives;
  platform::ListDrives(kinds, &drives, static_cast<char16_t>(context.files.fileListDelimiter));
  SetNameResult(context, result, drives);
}

bool DriveExists(const std::u16string& entry) {
  std::u16string root;
  return DriveRoot(entry, &root) && IsDirectoryName(root);
}

}  // namespace

KEL_FAMILY_ROUTINE(DirectoryFunction) {
  (void)unicode;
  std::u16string path;
  switch (code) {
    case kKeywordDirMake:
      return MakeOrRemove(context, result, arguments, true);
    case kKeywordDirRemove:
      return MakeOrRemove(context, result, arguments, false);
    case kKeywordDirChange:
      if (!NameArgument(context, arguments[0], &path)) return;
      if (path.empty() || !platform::ChangeDirectory(path))
        return SetError(context, kErrDirNotChanged);
      return SetEvalInteger(context, result, 1);
    case kKeywordDirExist:
      if (!NameArgument(context, arguments[0], &path)) return;
      return SetEvalInteger(context, result, DirectoryExists(path));
    case kKeywordDirGet:
      if (!platform::CurrentDirectoryName(&path)) return SetError(context, kErrFunctionFailed);
      SetNameResult(context, result, WithSeparator(path));
      return;
    case kKeywordDirHome:
      if (!platform::ProgramDirectory(&path)) return SetError(context, kErrFunctionFailed);
      SetNameResult(context, result, path);
      return;
    case kKeywordDirRename: {
      std::u16string target;
      if (!NameArgument(context, arguments[0], &path) ||
          !NameArgument(context, arguments[1], &target))
        return;
      if (!IsDirectoryName(path) || !platform::RenameFile(path, target)) {
        RecordApiError(context, platform::LastSystemError(), "MoveFile", true);
        return SetError(context, kErrFunctionFailed);
      }
      return SetEvalInteger(context, result, 1);
    }
    case kKeywordDirSize:
      return DirectorySize(context, count, result, arguments);
    case kKeywordDirWindows:
      if (!platform::WindowsDirectory(arguments[0].value.intValue == 1, &path))
        return SetError(context, kErrNotAvailable);
      SetNameResult(context, result, path);
      return;
    case kKeywordDiskFree:
    case kKeywordDiskSize:
      return DiskTotal(context, count, result, arguments, code == kKeywordDiskFree);
    case kKeywordDiskInfo:
      return DiskGeometryFact(context, result, arguments);
    case kKeywordDiskVolInfo:
      return VolumeFact(context, result, arguments);
    case kKeywordDiskScan:
      return ScanDrives(context, result, arguments);
    case kKeywordDiskExist:
      if (!NameArgument(context, arguments[0], &path)) return;
      return SetEvalInteger(context, result, DriveExists(path) ? 1 : 0);
    case kKeywordLogDisk:
      // A drive's letter and colon make its current directory the current one.
      if (!NameArgument(context, arguments[0], &path)) return;
      if (path.empty() || !platform::ChangeDirectory(path.substr(0, 1) + u":"))
        return SetError(context, kErrDriveNotOnline);
      return SetEvalInteger(context, result, 1);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
