// The binary buffer services on Windows.
#include "platform/buffers.h"

#include <windows.h>
#include <wincrypt.h>

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

}  // namespace kel::platform
