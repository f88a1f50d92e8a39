// The registry functions that work on keys: opening, creating, connecting to and closing them,
// deleting whole branches, listing subkeys and value names, last-write times, hives, program
// registration and the default view.
#include <span>
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "core/process_state.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/registry/registry_support.h"
#include "functions/strings/text_units.h"
#include "functions/time/ymdhms.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/registry.h"

namespace kel {
namespace {

using platform::RegistryKey;
using platform::RegistryStatus;

std::int32_t OptionalNumber(const EvalValue* arguments, int count, int index) {
  return count > index ? arguments[index].value.intValue : 0;
}

// Opens or creates a key for the script to keep, with read and write access. Without view bits
// the plain services are used, as scripts written before the two views expect.
void OpenForScript(BatchContext& context, EvalValue& result, EvalValue* arguments, int count,
                   bool create) {
  std::u16string subkey;
  if (!KeyText(context, arguments[1], &subkey)) return;
  const RegistryKey parent = KeyOf(arguments[0]);
  std::uint32_t bits = 0;
  if (!ViewBits(context, OptionalNumber(arguments, count, 2), parent, subkey, &bits)) return;
  const std::uint32_t access = bits == 0 ? 0 : platform::kKeyReadWrite | bits;
  RegistryKey key = 0;
  RegistryStatus status = create ? platform::CreateRegistryKey(parent, subkey, access, &key)
                                 : platform::OpenRegistryKey(parent, subkey, access, &key);
  if (status != platform::kRegistryOk) {
    RecordApiError(context, status, create ? "RegCreateKey" : "RegOpenKey", true);
    return SetError(context, create ? kErrRegCreateKeyFailed : kErrRegOpenKeyFailed);
  }
  if (RememberKey(context, key, ViewOf(context, parent)))
    SetEvalInteger(context, result, HandleOf(key));
}

// RegOpenKeyEx(handle, subkey, mode, view, reserved [, reserved]): the access is named by the
// mode or given as a number; the view is "" or a number.
void OpenWithMode(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string subkey;
  if (!KeyText(context, arguments[1], &subkey)) return;
  const RegistryKey parent = KeyOf(arguments[0]);
  const char* mode = ValueText(context, arguments[2].value);
  std::uint32_t access = 0;
  if (SameAnsiText(mode, "READ")) {
    access = platform::kKeyRead;
  } else if (SameAnsiText(mode, "WRITE")) {
    access = platform::kKeyWrite;
  } else if (SameAnsiText(mode, "FULL")) {
    access = platform::kKeyAllAccess;
  } else if (*mode != '\0' && IsIntegerText(mode)) {
    access = static_cast<std::uint32_t>(ParseInteger(mode));
  } else {
    return SetError(context, kErrRegOpenKeyExMode);
  }
  const char* viewText = ValueText(context, arguments[3].value);
  std::int32_t view = 0;
  if (*viewText != '\0') {
    if (!IsIntegerText(viewText)) return SetError(context, kErrInvalidFlags);
    view = ParseInteger(viewText);
  }
  std::uint32_t bits = 0;
  if (!ViewBits(context, view, parent, subkey, &bits)) return;
  RegistryKey key = 0;
  RegistryStatus status = platform::OpenRegistryKey(parent, subkey, access | bits, &key);
  if (status != platform::kRegistryOk) {
    RecordApiError(context, status, "RegOpenKeyEx", true);
    return SetError(context, kErrRegOpenKeyFailed);
  }
  if (RememberKey(context, key, ViewOf(context, parent)))
    SetEvalInteger(context, result, HandleOf(key));
}

void CloseForScript(BatchContext& context, EvalValue& result, const EvalValue& handle) {
  if (platform::CloseRegistryKey(KeyOf(handle)) != platform::kRegistryOk)
    return SetError(context, kErrRegCloseKeyFailed);
  ForgetRegistryKey(context.registry, handle.value.intValue);
  SetEvalInteger(context, result, 1);
}

// A failure of the system, in the script's terms: the error the table gives for its number, or
// `otherwise`.
struct StatusError {
  RegistryStatus status;
  std::uint32_t error;
};

std::uint32_t ErrorFor(RegistryStatus status, std::span<const StatusError> table,
                       std::uint32_t otherwise) {
  for (const StatusError& each : table)
    if (each.status == status) return each.error;
  return otherwise;
}

// 1114 no remote registry service, 53 no such network path, 1210 a computer name of the wrong
// form, 6 an invalid handle.
constexpr StatusError kConnectErrors[] = {{1114, kErrRegConnectNoService},
                                          {53, kErrRegConnectBadComputer},
                                          {1210, kErrRegConnectBadComputer},
                                          {6, kErrRegConnectBadHandle}};
// 1009 a file that is no registry, 1010 a key that cannot take it, 1016 a file that cannot be
// read, 32 a file in use, 5 access denied, 6 an invalid handle.
constexpr StatusError kLoadErrors[] = {{1009, kErrHiveNotValid},     {1010, kErrHiveBadKey},
                                       {1016, kErrHiveFileNotFound}, {32, kErrHiveSharingViolation},
                                       {5, kErrHiveAccessDenied},    {6, kErrHiveBadHandle}};
// 87 a subkey that is no hive, 5 access denied, 6 an invalid handle, 1010 a bad key.
constexpr StatusError kUnloadErrors[] = {{87, kErrHiveBadSubkey},
                                         {5, kErrHiveAccessDenied},
                                         {6, kErrHiveBadHandle},
                                         {1010, kErrHiveUnloadBadKey}};

// RegConnect(computer, handle [, "REMOTEOS32" or "REMOTEOS64"]).
void Connect(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  std::int32_t view = kViewLocal;
  if (count > 2) {
    const char* system = ValueText(context, arguments[2].value);
    if (SameAnsiText(system, "REMOTEOS32")) {
      view = kViewRemote32;
    } else if (SameAnsiText(system, "REMOTEOS64")) {
      view = kViewRemote64;
    } else if (*system != '\0') {
      return SetError(context, kErrInvalidFlags);
    }
  }
  std::u16string computer;
  if (!KeyText(context, arguments[0], &computer)) return;
  RegistryKey key = 0;
  RegistryStatus status = platform::ConnectRegistry(computer, KeyOf(arguments[1]), &key);
  if (status != platform::kRegistryOk) {
    RecordApiError(context, status, "RegConnectRegistry", true);
    return SetError(context, ErrorFor(status, kConnectErrors, kErrRegConnectFailed));
  }
  if (RememberKey(context, key, view)) SetEvalInteger(context, result, HandleOf(key));
}

// Deletes a subkey with everything beneath it, depth first: its first subkey is deleted until
// there is none left, then the key itself. The first failure ends the walk.
RegistryStatus DeleteBranch(RegistryKey parent, const std::u16string& subkey, std::uint32_t bits) {
  RegistryKey key = 0;
  RegistryStatus status = platform::OpenRegistryKey(
      parent, subkey, platform::kKeyEnumerateSubkeys | platform::kKeyDelete | bits, &key);
  if (status != platform::kRegistryOk) return status;
  std::u16string child;
  while ((status = platform::RegistrySubkeyAt(key, 0, &child)) == platform::kRegistryOk) {
    status = DeleteBranch(key, child, bits);
    if (status != platform::kRegistryOk) break;
  }
  platform::CloseRegistryKey(key);
  if (status != platform::kRegistryNoMoreItems) return status;
  return platform::DeleteRegistryKey(parent, subkey, bits);
}

void DeleteKey(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  std::u16string subkey;
  if (!KeyText(context, arguments[1], &subkey)) return;
  // Deleting the key a handle stands for, and all beneath it, is never what an empty text
  // meant.
  if (subkey.empty()) return SetError(context, kErrRegDeleteKeyBlank);
  const RegistryKey parent = KeyOf(arguments[0]);
  std::uint32_t bits = 0;
  if (!ViewBits(context, OptionalNumber(arguments, count, 2), parent, subkey, &bits)) return;
  RegistryStatus status = DeleteBranch(parent, subkey, bits);
  if (status != platform::kRegistryOk) {
    RecordApiError(context, status, "RegDeleteKey", true);
    return SetError(context, kErrRegDeleteKeyFailed);
  }
  SetEvalInteger(context, result, 1);
}

void ExistKey(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  std::u16string subkey;
  if (!KeyText(context, arguments[1], &subkey)) return;
  const RegistryKey parent = KeyOf(arguments[0]);
  std::uint32_t bits = 0;
  if (!ViewBits(context, OptionalNumber(arguments, count, 2), parent, subkey, &bits)) return;
  RegistryKey key = 0;
  if (platform::OpenRegistryKey(parent, subkey, platform::kKeyQueryValue | bits, &key) !=
      platform::kRegistryOk)
    return;
  platform::CloseRegistryKey(key);
  SetEvalInteger(context, result, 1);
}

// The names `nameAt` gives from index 0 on, until it fails, joined by tabs.
template <typename NameAt>
std::u16string NameList(RegistryKey key, NameAt nameAt) {
  std::u16string list, name;
  for (std::uint32_t index = 0; nameAt(key, index, &name) == platform::kRegistryOk; ++index) {
    if (index != 0) list += u'\t';
    list += name;
  }
  return list;
}

// Opens the subkey that RegQueryItem and RegQueryKeyLastWriteTime look at (1451 when it cannot
// be opened).
bool OpenToLookAt(BatchContext& context, EvalValue* arguments, int count, TemporaryKey& key) {
  std::u16string subkey;
  if (!KeyText(context, arguments[1], &subkey)) return false;
  const RegistryKey parent = KeyOf(arguments[0]);
  std::uint32_t bits = 0;
  if (!ViewBits(context, OptionalNumber(arguments, count, 2), parent, subkey, &bits)) return false;
  return key.Open(context, parent, subkey, platform::kKeyQueryValue | bits, false,
                  kErrRegSubkeyNotOpened);
}

void LastWriteTime(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  if (!Process().system.unicodePlatform) return SetError(context, kErrNotSupportedOnPlatform);
  TemporaryKey key;
  if (!OpenToLookAt(context, arguments, count, key)) return;
  std::uint64_t fileTime = 0;
  RegistryStatus status = platform::RegistryKeyLastWrite(key.key(), &fileTime);
  platform::ClockTime local{};
  if (status != platform::kRegistryOk || !platform::FileTimeToLocalTime(fileTime, &local)) {
    RecordApiError(context, status, "RegQueryInfoKey", true);
    return SetError(context, kErrRegLastWriteFailed);
  }
  YmdHms fields{local.year, local.month, local.day, local.hour, local.minute, local.second};
  char text[kYmdHmsBytes];
  std::size_t length = FormatYmdHms(fields, context.fourDigitYear != 0, text);
  SetTextResult<char>(context, result, text, length);
}

// RegApp(program, path [, view]): the program's entry under the application paths, which lets
// the system start it by its bare name.
void RegisterProgram(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  std::u16string program, searchPath, fullPath;
  if (!KeyText(context, arguments[0], &program) || !KeyText(context, arguments[1], &searchPath))
    return;
  if (!platform::FindProgramOnSearchPath(program, &fullPath))
    return SetError(context, kErrRegAppNotFound);
  std::size_t nameStart = fullPath.find_last_of(u"\\/:");
  std::u16string fileName = fullPath.substr(nameStart == std::u16string::npos ? 0 : nameStart + 1);
  platform::UpperWideText(fileName.data(), fileName.size());
  // HKEY_LOCAL_MACHINE, as the system's handle type writes it.
  const RegistryKey machine = static_cast<RegistryKey>(static_cast<std::int32_t>(0x80000002));
  const std::u16string subkey =
      u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + fileName;
  std::uint32_t bits = 0;
  if (!ViewBits(context, OptionalNumber(arguments, count, 2), machine, subkey, &bits)) return;
  TemporaryKey key;
  if (!key.Open(context, machine, subkey, platform::kKeySetValue | bits, true,
                kErrRegAppWriteFailed))
    return;
  auto writeText = [&](const std::u16string& name, const std::u16string& text) {
    return platform::WriteRegistryValue(key.key(), name, platform::kRegString, text.c_str(),
                                        (text.size() + 1) * sizeof(char16_t)) ==
           platform::kRegistryOk;
  };
  if (!writeText(u"", fullPath) || (!searchPath.empty() && !writeText(u"Path", searchPath)))
    return SetError(context, kErrRegAppWriteFailed);
  SetEvalInteger(context, result, 1);
}

// RegLoadHive(handle, subkey, file) and RegUnloadHive(handle, subkey).
void Hive(BatchContext& context, EvalValue& result, EvalValue* arguments, bool load) {
  std::u16string subkey, file;
  if (!KeyText(context, arguments[1], &subkey)) return;
  if (load && !KeyText(context, arguments[2], &file)) return;
  if (Process().system.unicodePlatform &&
      platform::EnableRestorePrivilege() != platform::kRegistryOk)
    return SetError(context, kErrHivePrivilege);
  RegistryStatus status = load ? platform::LoadRegistryHive(KeyOf(arguments[0]), subkey, file)
                               : platform::UnloadRegistryHive(KeyOf(arguments[0]), subkey);
  if (status != platform::kRegistryOk) {
    RecordApiError(context, status, load ? "RegLoadKey" : "RegUnLoadKey", true);
    return SetError(context, ErrorFor(status,
                                      load ? std::span<const StatusError>(kLoadErrors)
                                           : std::span<const StatusError>(kUnloadErrors),
                                      kErrHiveFailed));
  }
  SetEvalInteger(context, result, 1);
}

// RegOpenFlags(flag): 0 restores the default, 1, 2, 32 or 64 become it; the previous setting is
// the answer either way.
void OpenFlags(BatchContext& context, EvalValue& result, std::int32_t flag) {
  std::int32_t previous = context.registry.defaultView;
  if (flag == 0) {
    context.registry.defaultView = kDefaultRegistryView;
  } else if (flag == 1 || flag == 2 || flag == 32 || flag == 64) {
    context.registry.defaultView = flag;
  } else {
    SetError(context, kErrInvalidFlags);
  }
  SetEvalInteger(context, result, previous);
}

}  // namespace

KEL_FAMILY_ROUTINE(RegistryKeyFunction) {
  (void)unicode;
  if (!platform::RegistryAvailable()) return SetError(context, kErrNotAvailable);
  switch (code) {
    case kKeywordRegOpenKey:
      return OpenForScript(context, result, arguments, count, false);
    case kKeywordRegCreateKey:
      return OpenForScript(context, result, arguments, count, true);
    case kKeywordRegOpenKeyEx:
      return OpenWithMode(context, result, arguments);
    case kKeywordRegCloseKey:
      return CloseForScript(context, result, arguments[0]);
    case kKeywordRegConnect:
      return Connect(context, result, arguments, count);
    case kKeywordRegDeleteKey:
      return DeleteKey(context, result, arguments, count);
    case kKeywordRegExistKey:
      return ExistKey(context, result, arguments, count);
    case kKeywordRegQueryKey: {
      std::u16string name;
      std::int32_t index = arguments[1].value.intValue;
      if (index >= 0 &&
          platform::RegistrySubkeyAt(KeyOf(arguments[0]), static_cast<std::uint32_t>(index),
                                     &name) != platform::kRegistryOk)
        name.clear();
      return SetKeyTextResult(context, result, name);
    }
    case kKeywordRegQueryKeys:
      return SetKeyTextResult(context, result,
                              NameList(KeyOf(arguments[0]), platform::RegistrySubkeyAt));
    case kKeywordRegQueryItem: {
      TemporaryKey key;
      if (!OpenToLookAt(context, arguments, count, key)) return;
      return SetKeyTextResult(context, result, NameList(key.key(), platform::RegistryValueNameAt));
    }
    case kKeywordRegQueryKeyLastWriteTime:
      return LastWriteTime(context, result, arguments, count);
    case kKeywordRegApp:
      return RegisterProgram(context, result, arguments, count);
    case kKeywordRegLoadHive:
      return Hive(context, result, arguments, true);
    case kKeywordRegUnloadHive:
      return Hive(context, result, arguments, false);
    case kKeywordRegOpenFlags:
      return OpenFlags(context, result, arguments[0].value.intValue);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
