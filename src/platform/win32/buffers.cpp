// The binary buffer services on Windows.
#include "platform/buffers.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <new>

namespace kel::platform {

bool SeekFile(FileHandle file, std::uint64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(reinterpret_cast<HANDLE>(file), distance, nullptr, FILE_BEGIN) != 0;
}

bool TruncateFileHere(FileHandle file) {
  return ::SetEndOfFile(reinterpret_cast<HANDLE>(file)) != 0;
}

std::uint32_t OemCodePage() {
  return ::GetOEMCP();
}

bool Md5Digest(const void* data, std::size_t length, std::uint8_t digest[16]) {
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
    return false;
  HCRYPTHASH hash = 0;
  bool done = false;
  if (::CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
    const auto* bytes = static_cast<const BYTE*>(data);
    done = true;
    while (done && length > 0) {
      DWORD chunk = length > 0x40000000 ? 0x40000000 : static_cast<DWORD>(length);
      done = ::CryptHashData(hash, bytes, chunk, 0) != 0;
      bytes += chunk;
      length -= chunk;
    }
    DWORD size = 16;
    done = done && ::CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) && size == 16;
    ::CryptDestroyHash(hash);
  }
  ::CryptReleaseContext(provider, 0);
  return done;
}

ClipboardResult ReadClipboard(std::uint32_t format, std::vector<std::uint8_t>& bytes) {
  if (::OpenClipboard(nullptr) == 0) return ClipboardResult::CannotOpen;
  ClipboardResult outcome = ClipboardResult::NoData;
  if (HANDLE data = ::GetClipboardData(format)) {
    const SIZE_T size = ::GlobalSize(data);
    if (const void* bytesAt = ::GlobalLock(data)) {
      try {
        bytes.assign(static_cast<const std::uint8_t*>(bytesAt),
                     static_cast<const std::uint8_t*>(bytesAt) + size);
        outcome = ClipboardResult::Done;
      } catch (const std::bad_alloc&) {
        outcome = ClipboardResult::NoMemory;
      }
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return outcome;
}

ClipboardResult WriteClipboard(std::uint32_t format, const void* data, std::size_t length) {
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, length == 0 ? 1 : length);
  if (block == nullptr) return ClipboardResult::NoMemory;
  if (void* to = ::GlobalLock(block)) {
    if (length > 0) std::memcpy(to, data, length);
    ::GlobalUnlock(block);
  }
  if (::OpenClipboard(nullptr) == 0) {
    ::GlobalFree(block);
    return ClipboardResult::CannotOpen;
  }
  ::EmptyClipboard();
  // The clipboard owns the block once it is set.
  const bool set = ::SetClipboardData(format, block) != nullptr;
  ::CloseClipboard();
  if (!set) {
    ::GlobalFree(block);
    return ClipboardResult::CannotSet;
  }
  return ClipboardResult::Done;
}

ClipboardResult ListClipboardFormats(std::vector<std::uint32_t>& formats) {
  formats.clear();
  if (::OpenClipboard(nullptr) == 0) return ClipboardResult::CannotOpen;
  ClipboardResult outcome = ClipboardResult::Done;
  try {
    for (UINT format = ::EnumClipboardFormats(0); format != 0;
         format = ::EnumClipboardFormats(format))
      formats.push_back(format);
  } catch (const std::bad_alloc&) {
    outcome = ClipboardResult::NoMemory;
  }
  ::CloseClipboard();
  return outcome;
}

}  // namespace kel::platform
