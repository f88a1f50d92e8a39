// File digests and derived keys on POSIX systems, computed with the cryptographic library
// (libcrypto). What the library does not offer (MD2 in most builds) is reported as such. Keys
// are derived and exported as the system's default provider does it on Windows: the first
// bytes of the hash of the pass phrase, in a plain-text key blob.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/digest.h"
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

namespace kel::platform {
namespace {

constexpr std::uint32_t kNotSupported = 0x80090008;  // NTE_BAD_ALGID

DigestOutcome NotOffered() {
  return {DigestStatus::NotOffered, nullptr, kNotSupported};
}

}  // namespace
}  // namespace kel::platform

#if defined(KEL_HAVE_LIBCRYPTO)

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

namespace kel::platform {
namespace {

constexpr std::size_t kPieceBytes = 1 << 20;  // the file is hashed a megabyte at a time
// The system's error numbers of the failures its provider reports.
constexpr std::uint32_t kBadFlags = 0x80090009;    // NTE_BAD_FLAGS: a key length it refuses
constexpr std::uint32_t kBadKeyBlob = 0x80090005;  // NTE_BAD_DATA: a malformed key blob
// The plain-text key blob: type, version, a reserved word, the key's algorithm, its length in
// bytes, then the key.
constexpr std::uint8_t kPlainTextKeyBlob = 8;
constexpr std::uint8_t kBlobVersion = 2;
constexpr std::size_t kBlobHeaderBytes = 12;

const char* AlgorithmName(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::Md2:
      return "MD2";
    case DigestAlgorithm::Md5:
      return "MD5";
    case DigestAlgorithm::Sha1:
      return "SHA1";
  }
  return "";
}

DigestOutcome Failure(const char* step, std::uint32_t error) {
  return {DigestStatus::Failed, step, error};
}

// The path of a UTF-16 name.
std::string NativePath(const char16_t* path) {
  std::size_t length = 0;
  while (path[length] != 0)
    ++length;
  std::string out(length * 3 + 1, '\0');
  int written = WideToAnsi(65001, path, length, out.data(), out.size());
  out.resize(written < 0 ? 0 : static_cast<std::size_t>(written));
  return out;
}

std::uint32_t ReadWord(const std::uint8_t* bytes) {
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void AppendWord(std::vector<std::uint8_t>& out, std::uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<std::uint8_t>(word >> shift));
}

struct FileCloser {
  int descriptor;
  ~FileCloser() {
    if (descriptor >= 0) close(descriptor);
  }
};

// One incremental computation: a plain digest or an HMAC.
class Hasher {
 public:
  ~Hasher() {
    EVP_MD_CTX_free(digestContext_);
    EVP_MD_free(digest_);
    EVP_MAC_CTX_free(macContext_);
    EVP_MAC_free(mac_);
  }
  // False when the library does not offer the algorithm.
  bool Offered(DigestAlgorithm algorithm) {
    digest_ = EVP_MD_fetch(nullptr, AlgorithmName(algorithm), nullptr);
    return digest_ != nullptr;
  }
  bool Start(const std::uint8_t* key, std::size_t keyLength, bool keyed) {
    if (!keyed) {
      digestContext_ = EVP_MD_CTX_new();
      return digestContext_ != nullptr && EVP_DigestInit_ex2(digestContext_, digest_, nullptr);
    }
    mac_ = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (mac_ == nullptr || (macContext_ = EVP_MAC_CTX_new(mac_)) == nullptr) return false;
    OSSL_PARAM parameters[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST,
                                         const_cast<char*>(EVP_MD_get0_name(digest_)), 0),
        OSSL_PARAM_construct_end()};
    // The library wants a key of at least one byte; an empty HMAC key is a block of zeros.
    static const std::uint8_t kZero[1] = {0};
    return EVP_MAC_init(macContext_, keyLength != 0 ? key : kZero, keyLength != 0 ? keyLength : 1,
                        parameters);
  }
  bool Add(const void* data, std::size_t length) {
    return macContext_ != nullptr
               ? EVP_MAC_update(macContext_, static_cast<const unsigned char*>(data), length)
               : EVP_DigestUpdate(digestContext_, data, length);
  }
  bool Finish(std::vector<std::uint8_t>& value) {
    value.resize(EVP_MAX_MD_SIZE);
    if (macContext_ != nullptr) {
      std::size_t length = 0;
      if (!EVP_MAC_final(macContext_, value.data(), &length, value.size())) return false;
      value.resize(length);
      return true;
    }
    unsigned length = 0;
    if (!EVP_DigestFinal_ex(digestContext_, value.data(), &length)) return false;
    value.resize(length);
    return true;
  }

 private:
  EVP_MD* digest_ = nullptr;
  EVP_MD_CTX* digestContext_ = nullptr;
  EVP_MAC* mac_ = nullptr;
  EVP_MAC_CTX* macContext_ = nullptr;
};

}  // namespace

DigestOutcome DigestFile(const char16_t* path, DigestAlgorithm algorithm, bool keyed,
                         const std::uint8_t* keyBlob, std::size_t keyBlobSize,
                         std::vector<std::uint8_t>& digest) {
  FileCloser file{open(NativePath(path).c_str(), O_RDONLY)};
  if (file.descriptor < 0) {
    posix::SetLastErrorFromErrno();
    return {DigestStatus::CannotOpen, "CreateFile", LastSystemError()};
  }
  std::unique_ptr<std::uint8_t[]> piece(new (std::nothrow) std::uint8_t[kPieceBytes]);
  if (piece == nullptr) return {DigestStatus::NoMemory, nullptr, 0};
  Hasher hasher;
  if (!hasher.Offered(algorithm)) return NotOffered();
  const std::uint8_t* key = nullptr;
  std::size_t keyLength = 0;
  if (keyed) {
    if (keyBlobSize < kBlobHeaderBytes || keyBlob[0] != kPlainTextKeyBlob ||
        (keyLength = ReadWord(keyBlob + 8)) > keyBlobSize - kBlobHeaderBytes)
      return Failure("Error importing key", kBadKeyBlob);
    key = keyBlob + kBlobHeaderBytes;
  }
  if (!hasher.Start(key, keyLength, keyed)) return Failure("Error creating hash", kNotSupported);
  for (;;) {
    ssize_t got = read(file.descriptor, piece.get(), kPieceBytes);
    if (got < 0) {
      posix::SetLastErrorFromErrno();
      return {DigestStatus::CannotRead, "ReadFile", LastSystemError()};
    }
    if (got == 0) break;
    if (!hasher.Add(piece.get(), static_cast<std::size_t>(got)))
      return Failure("Error computing hash", kNotSupported);
  }
  if (!hasher.Finish(digest)) return Failure("Error retrieving hash value", kNotSupported);
  return {};
}

DigestOutcome DerivePassPhraseKey(DigestAlgorithm hash, KeyAlgorithm keyAlgorithm,
                                  std::uint32_t bits, const char* text, std::size_t length,
                                  std::vector<std::uint8_t>& blob) {
  Hasher hasher;
  if (!hasher.Offered(hash)) return NotOffered();
  // The default provider's key lengths: DES 56 bits (in 8 bytes; 64 is taken as 56), RC2 and
  // RC4 40 to 128 bits in whole bytes, 128 by default. No length exceeds the shortest hash, so
  // the key is always the first bytes of the hash.
  std::uint32_t keyBytes = 0;
  if (keyAlgorithm == KeyAlgorithm::Des) {
    if (bits != 0 && bits != 56 && bits != 64) return Failure("Error generating key", kBadFlags);
    keyBytes = 8;
  } else {
    if (bits == 0) bits = 128;
    if (bits < 40 || bits > 128 || bits % 8 != 0) return Failure("Error generating key", kBadFlags);
    keyBytes = bits / 8;
  }
  std::vector<std::uint8_t> value;
  if (!hasher.Start(nullptr, 0, false)) return Failure("Error creating hash", kNotSupported);
  if (!hasher.Add(text, length)) return Failure("Error computing hash", kNotSupported);
  if (!hasher.Finish(value)) return Failure("Error generating key", kNotSupported);
  blob = {kPlainTextKeyBlob, kBlobVersion, 0, 0};
  AppendWord(blob, static_cast<std::uint32_t>(keyAlgorithm));
  AppendWord(blob, keyBytes);
  blob.insert(blob.end(), value.begin(), value.begin() + keyBytes);
  return {};
}

}  // namespace kel::platform

#else

namespace kel::platform {

DigestOutcome DigestFile(const char16_t*, DigestAlgorithm, bool, const std::uint8_t*, std::size_t,
                         std::vector<std::uint8_t>&) {
  return NotOffered();
}

DigestOutcome DerivePassPhraseKey(DigestAlgorithm, KeyAlgorithm, std::uint32_t, const char*,
                                  std::size_t, std::vector<std::uint8_t>&) {
  return NotOffered();
}

}  // namespace kel::platform

#endif
