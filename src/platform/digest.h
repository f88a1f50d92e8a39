// Message digests of files (MD2, MD5, SHA-1 and their keyed HMAC forms) and keys derived from
// pass phrases, for the file digest functions. On Windows these are the system's cryptographic
// services (the default full RSA provider); elsewhere a cryptographic library computes what it
// offers, and the same derivation and key format are followed.
#ifndef KEL_PLATFORM_DIGEST_H
#define KEL_PLATFORM_DIGEST_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kel::platform {

// The values are the system's algorithm identifiers.
enum class DigestAlgorithm : std::uint32_t { Md2 = 0x8001, Md5 = 0x8003, Sha1 = 0x8004 };
enum class KeyAlgorithm : std::uint32_t { Des = 0x6601, Rc2 = 0x6602, Rc4 = 0x6801 };

enum class DigestStatus {
  Done,
  NotOffered,  // the algorithm is not available on this system
  CannotOpen,  // the file could not be opened
  CannotRead,  // reading the file failed
  NoMemory,    // the work buffer could not be had
  Failed,      // a step of the computation failed
};

struct DigestOutcome {
  DigestStatus status = DigestStatus::Done;
  // For a failure: the name the failure is recorded under ("CreateFile", "ReadFile", or the
  // step of the computation, such as "Error creating hash") and the system's error number.
  const char* step = nullptr;
  std::uint32_t systemError = 0;
};

// The digest of a file's contents. With `keyed`, the HMAC of the file with the key in
// `keyBlob`, a plain-text key blob as DerivePassPhraseKey exports it.
DigestOutcome DigestFile(const char16_t* path, DigestAlgorithm algorithm, bool keyed,
                         const std::uint8_t* keyBlob, std::size_t keyBlobSize,
                         std::vector<std::uint8_t>& digest);

// Derives an exportable key of `keyAlgorithm`, `bits` long (0: the algorithm's default), from
// the hash of `text`, and answers it as a plain-text key blob.
DigestOutcome DerivePassPhraseKey(DigestAlgorithm hash, KeyAlgorithm keyAlgorithm,
                                  std::uint32_t bits, const char* text, std::size_t length,
                                  std::vector<std::uint8_t>& blob);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_DIGEST_H
