// File digests and derived keys on Windows: the system's cryptographic services, through the
// default provider of the full RSA type, acquired for this one computation.
#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <new>

#include "platform/digest.h"

namespace kel::platform {
namespace {

constexpr DWORD kPieceBytes = 1 << 20;  // the file is hashed a megabyte at a time
constexpr DWORD kKeyBlobBytes = 2050;

// Every handle of one computation, released on every path.
struct Session {
  HCRYPTPROV provider = 0;
  HCRYPTKEY key = 0;
  HCRYPTHASH hash = 0;
  HANDLE file = INVALID_HANDLE_VALUE;
  ~Session() {
    if (hash != 0) ::CryptDestroyHash(hash);
    if (key != 0) ::CryptDestroyKey(key);
    if (provider != 0) ::CryptReleaseContext(provider, 0);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  }
};

DigestOutcome Failure(DigestStatus status, const char* step) {
  return {status, step, ::GetLastError()};
}

DigestOutcome Failure(const char* step) {
  return Failure(DigestStatus::Failed, step);
}

bool Acquire(Session& session) {
  return ::CryptAcquireContextA(&session.provider, nullptr, nullptr, PROV_RSA_FULL,
                                CRYPT_VERIFYCONTEXT) != FALSE;
}

// The name a failed export is recorded under: the error's own for the ones it is known by.
const char* ExportFailureName(DWORD error) {
  switch (error) {
    case ERROR_INVALID_HANDLE:
      return "ERROR_INVALID_HANDLE";
    case ERROR_INVALID_PARAMETER:
      return "ERROR_INVALID_PARAMETER";
    case static_cast<DWORD>(NTE_BAD_FLAGS):
      return "NTE_BAD_FLAGS";
    case static_cast<DWORD>(NTE_BAD_KEY):
      return "NTE_BAD_KEY";
    case static_cast<DWORD>(NTE_BAD_KEY_STATE):
      return "NTE_BAD_KEY_STATE";
    case static_cast<DWORD>(NTE_BAD_PUBLIC_KEY):
      return "NTE_BAD_PUBLIC_KEY";
    case static_cast<DWORD>(NTE_BAD_TYPE):
      return "NTE_BAD_TYPE";
    case static_cast<DWORD>(NTE_BAD_UID):
      return "NTE_BAD_UID";
    case static_cast<DWORD>(NTE_NO_KEY):
      return "NTE_NO_KEY";
    default:
      return "Error exporting key";
  }
}

}  // namespace

DigestOutcome DigestFile(const char16_t* path, DigestAlgorithm algorithm, bool keyed,
                         const std::uint8_t* keyBlob, std::size_t keyBlobSize,
                         std::vector<std::uint8_t>& digest) {
  Session session;
  session.file =
      ::CreateFileW(reinterpret_cast<const wchar_t*>(path), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (session.file == INVALID_HANDLE_VALUE) return Failure(DigestStatus::CannotOpen, "CreateFile");
  std::unique_ptr<BYTE[]> piece(new (std::nothrow) BYTE[kPieceBytes]);
  if (piece == nullptr) return {DigestStatus::NoMemory, nullptr, 0};
  if (!Acquire(session)) return Failure("Error opening key container");
  if (keyed && !::CryptImportKey(session.provider, keyBlob, static_cast<DWORD>(keyBlobSize), 0,
                                 CRYPT_IPSEC_HMAC_KEY, &session.key))
    return Failure("Error importing key");
  if (!::CryptCreateHash(session.provider, keyed ? CALG_HMAC : static_cast<ALG_ID>(algorithm),
                         session.key, 0, &session.hash))
    return Failure("Error creating hash");
  if (keyed) {
    HMAC_INFO information{};
    information.HashAlgid = static_cast<ALG_ID>(algorithm);
    if (!::CryptSetHashParam(session.hash, HP_HMAC_INFO,
                             reinterpret_cast<const BYTE*>(&information), 0))
      return Failure("Error setting hash parameters");
  }
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(session.file, piece.get(), kPieceBytes, &got, nullptr))
      return Failure(DigestStatus::CannotRead, "ReadFile");
    if (got == 0) break;
    if (!::CryptHashData(session.hash, piece.get(), got, 0)) return Failure("Error computing hash");
  }
  BYTE value[64];
  DWORD size = sizeof value;
  if (!::CryptGetHashParam(session.hash, HP_HASHVAL, value, &size, 0))
    return Failure("Error retrieving hash value");
  digest.assign(value, value + size);
  return {};
}

DigestOutcome DerivePassPhraseKey(DigestAlgorithm hash, KeyAlgorithm keyAlgorithm,
                                  std::uint32_t bits, const char* text, std::size_t length,
                                  std::vector<std::uint8_t>& blob) {
  Session session;
  if (!Acquire(session)) return Failure("Error opening key container");
  if (!::CryptCreateHash(session.provider, static_cast<ALG_ID>(hash), 0, 0, &session.hash))
    return Failure("Error creating hash");
  if (!::CryptHashData(session.hash, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>(length), 0))
    return Failure("Error computing hash");
  if (!::CryptDeriveKey(session.provider, static_cast<ALG_ID>(keyAlgorithm), session.hash,
                        (bits << 16) | CRYPT_EXPORTABLE, &session.key))
    return Failure("Error generating key");
  BYTE exported[kKeyBlobBytes];
  DWORD size = sizeof exported;
  if (!::CryptExportKey(session.key, 0, PLAINTEXTKEYBLOB, 0, exported, &size))
    return Failure(ExportFailureName(::GetLastError()));
  blob.assign(exported, exported + size);
  return {};
}

}  // namespace kel::platform
