// The module's string table, the file search for the language file, and double-byte lead bytes
// on Windows.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

#include <windows.h>

#include <cstring>

namespace kel::platform {
namespace win32 {

HMODULE EngineModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&EngineModule), &module);
  return module;
}

}  // namespace win32

bool LoadModuleString(void* module, std::uint32_t id, char* out, std::size_t size,
                      std::size_t* length) {
  if (length != nullptr) *length = 0;
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  // String-table ids are 16-bit; anything larger cannot be in the table.
  if (id > 0xFFFF) return false;
  HMODULE source = module != nullptr ? static_cast<HMODULE>(module) : win32::EngineModule();
  int copied = ::LoadStringA(source, id, out, static_cast<int>(size));
  if (copied <= 0) {
    out[0] = '\0';
    return false;
  }
  if (length != nullptr) *length = static_cast<std::size_t>(copied);
  return true;
}

std::size_t FindFileOnSearchPath(const char* name, char* out, std::size_t size) {
  if (name == nullptr || *name == '\0' || out == nullptr || size == 0) return 0;
  DWORD length = ::SearchPathA(nullptr, name, nullptr, static_cast<DWORD>(size), out, nullptr);
  if (length == 0 || length >= size) {
    out[0] = '\0';
    return 0;
  }
  // A directory of that name is no file.
  DWORD attributes = ::GetFileAttributesA(out);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    out[0] = '\0';
    return 0;
  }
  return length;
}

bool IsDoubleByteLead(std::uint32_t codePage, unsigned char byte) {
  return ::IsDBCSLeadByteEx(codePage == 0 ? CP_ACP : codePage, byte) != FALSE;
}

}  // namespace kel::platform
