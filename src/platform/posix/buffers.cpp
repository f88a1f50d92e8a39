// The binary buffer services on POSIX systems.
#include "platform/buffers.h"

#include <sys/types.h>
#include <unistd.h>

#if KEL_HAVE_LIBCRYPTO
#include <openssl/evp.h>
#endif

#include "platform/posix/posix_internal.h"

namespace kel::platform {
namespace {

// The engine's file handles count from 1 (0 marks a free slot): descriptor + 1.
int Descriptor(FileHandle file) {
  return static_cast<int>(file - 1);
}

bool Fail() {
  posix::SetLastErrorFromErrno();
  return false;
}

}  // namespace

bool SeekFile(FileHandle file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return ::lseek(Descriptor(file), static_cast<off_t>(offset), SEEK_SET) >= 0 || Fail();
}

bool TruncateFileHere(FileHandle file) {
  off_t here = ::lseek(Descriptor(file), 0, SEEK_CUR);
  if (here < 0) return Fail();
  return ::ftruncate(Descriptor(file), here) == 0 || Fail();
}

std::uint32_t OemCodePage() {
  // The code page of the original PC console, which Windows systems in the west use as theirs.
  return 437;
}

bool Md5Digest(const void* data, std::size_t length, std::uint8_t digest[16]) {
#if KEL_HAVE_LIBCRYPTO
  unsigned int size = 16;
  return EVP_Digest(data, length, digest, &size, EVP_md5(), nullptr) == 1 && size == 16;
#else
  (void)data;
  (void)length;
  (void)digest;
  return false;
#endif
}

// There is no system clipboard to talk to.
ClipboardResult ReadClipboard(std::uint32_t, std::vector<std::uint8_t>&) {
  return ClipboardResult::Unavailable;
}

ClipboardResult WriteClipboard(std::uint32_t, const void*, std::size_t) {
  return ClipboardResult::Unavailable;
}

ClipboardResult ListClipboardFormats(std::vector<std::uint32_t>& formats) {
  formats.clear();
  return ClipboardResult::Unavailable;
}

}  // namespace kel::platform
