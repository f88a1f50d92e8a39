// Loading script texts and script files for a run.
#include "loader/script_file.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/report.h"
#include "loader/hidden_text.h"
#include "loader/includes.h"
#include "loader/script_text.h"

namespace kel {
namespace {

constexpr std::uint32_t kExpandAtLoad = 1;    // includeMode bit 0
constexpr std::uint32_t kTextIdKeepLine = 1;  // ReportError leaves the error line as it is

// A load failure: the message stands in the line area under the "Execution Error" headline.
void ReportLoadError(BatchContext& context, std::uint32_t message) {
  ReportError(context, context.hostWindow, message, kMsgExecutionError, kClassSevere);
  DiscardMoreErrorInfo(context);
  SetError(context, message);
}

// A load failure about one file: the file's name stands in the line area under the message.
void ReportFileError(BatchContext& context, std::uint32_t message, const char* name) {
  std::snprintf(context.errors.errorLine, sizeof context.errors.errorLine, "%s", name);
  ReportError(context, context.hostWindow, kTextIdKeepLine, message, kClassSevere);
  DiscardMoreErrorInfo(context);
  SetError(context, message);
}

platform::MemoryHandle Abandon(platform::MemoryHandle handle) {
  platform::GlobalFree(handle);
  return nullptr;
}

}  // namespace

platform::MemoryHandle PrepareScriptText(BatchContext& context, const char* text,
                                         const char* fileName, const char* directory,
                                         ScriptText& prepared) {
  prepared = ScriptText{};
  if (IsEncodedScript(text)) {
    ReportLoadError(context, kMsgEncodedScript);
    return nullptr;
  }
  std::size_t length = std::strlen(text);
  platform::MemoryHandle handle = platform::GlobalAllocate(length + 1, platform::Fill::Zero);
  auto* bytes = handle ? static_cast<char*>(platform::GlobalLock(handle)) : nullptr;
  if (bytes == nullptr) {
    if (handle != nullptr) platform::GlobalFree(handle);
    ReportLoadError(context, kMsgIncludeNoMemory);
    return nullptr;
  }
  std::memcpy(bytes, text, length + 1);
  platform::GlobalUnlock(handle);
  if ((context.includeMode & kExpandAtLoad) != 0 && length > 0) {
    char failedName[kPathBytes];
    int expanded = ExpandIncludes(context, handle, fileName, directory, failedName, 0);
    if (expanded == kIncludeNoMemory) {
      ReportLoadError(context, kMsgIncludeNoMemory);
      return Abandon(handle);
    }
    if (expanded == kIncludeTooDeep) {
      ReportLoadError(context, kMsgIncludeTooDeep);
      return Abandon(handle);
    }
    if (expanded < 1) {
      ReportFileError(context, kMsgIncludeFailed, failedName);
      return Abandon(handle);
    }
    length = static_cast<std::size_t>(expanded);
  }
  bytes = static_cast<char*>(platform::GlobalLock(handle));
  if (bytes == nullptr) {
    ReportLoadError(context, kMsgScriptLockFailed);
    return Abandon(handle);
  }
  HideText(context, bytes, length + 1);
  prepared =
      ScriptText{reinterpret_cast<std::uint8_t*>(bytes), static_cast<std::uint32_t>(length), 0, 0};
  return handle;
}

void ReleaseScriptText(platform::MemoryHandle handle) {
  if (handle == nullptr) return;
  platform::GlobalUnlock(handle);
  platform::GlobalFree(handle);
}

platform::MemoryHandle ReadScriptFile(BatchContext& context, const char* fileName,
                                      ScriptText& script) {
  script = ScriptText{};
  std::size_t size = 0;
  platform::FileReadStatus status = platform::FileReadStatus::Read;
  platform::MemoryHandle file = platform::ReadWholeFileStatus(fileName, &size, &status);
  if (file == nullptr) {
    if (status == platform::FileReadStatus::CannotOpen)
      ReportFileError(context, kMsgScriptNotFound, fileName);
    else
      ReportLoadError(context, status == platform::FileReadStatus::NoMemory ? kMsgScriptNoMemory
                                                                            : kMsgScriptReadError);
    return nullptr;
  }
  auto* text = static_cast<char*>(platform::GlobalLock(file));
  if (text == nullptr) {
    platform::GlobalFree(file);
    ReportLoadError(context, kMsgScriptLockFailed);
    return nullptr;
  }
  platform::MemoryHandle prepared = nullptr;
  // The block holds two zero bytes after the file, so the text ends inside it whatever it holds.
  if (!IsEncodedScript(text) && !ConvertWideScript(context, text, size + 2)) {
    ReportLoadError(context, kMsgUnicodeConversion);
  } else {
    NormaliseLineEnds(text);
    char directory[kPathBytes];
    std::size_t directoryLength = 0;
    for (std::size_t i = 0; fileName[i] != '\0' && i < kPathBytes - 1; ++i)
      if (fileName[i] == '\\' || fileName[i] == '/') directoryLength = i + 1;
    std::memcpy(directory, fileName, directoryLength);
    directory[directoryLength] = '\0';
    prepared = PrepareScriptText(context, text, fileName, directory, script);
  }
  platform::GlobalUnlock(file);
  platform::GlobalFree(file);
  return prepared;
}

}  // namespace kel
