// The registry: keys, values, enumeration, remote registries and hives. On Windows these are
// the system's registry services in their UTF-16 form; elsewhere there is no registry, and
// every service answers kRegistryUnavailable.
//
// Every service answers a status: 0 for success, else the system's error number (the numbering
// of GetLastError: 2 not found, 5 access denied, 6 invalid handle, 259 no more items ...).
#ifndef KEL_PLATFORM_REGISTRY_H
#define KEL_PLATFORM_REGISTRY_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kel::platform {

// A key: one of the predefined roots (0x80000000 and up, sign-extended as the system's handle
// type is) or a handle the system gave out.
using RegistryKey = std::intptr_t;
using RegistryStatus = std::uint32_t;

constexpr RegistryStatus kRegistryOk = 0;
constexpr RegistryStatus kRegistryNoMoreItems = 259;
// What every service answers where there is no registry ("not supported").
constexpr RegistryStatus kRegistryUnavailable = 50;

// Access rights and view bits, in the system's numbering.
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyEnumerateSubkeys = 0x0008;
constexpr std::uint32_t kKeyDelete = 0x10000;
constexpr std::uint32_t kKeyReadWrite = 0x2001F;  // read and write access together
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyWrite = 0x20006;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;
constexpr std::uint32_t kKeyView64 = 0x100;
constexpr std::uint32_t kKeyView32 = 0x200;

// Value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegString = 1;
constexpr std::uint32_t kRegExpandString = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegDwordBigEndian = 5;
constexpr std::uint32_t kRegMultiString = 7;
constexpr std::uint32_t kRegQword = 11;

// Whether this system has a registry at all.
bool RegistryAvailable();
// Whether the system is a 64-bit one (whatever the width of this program), so that it keeps
// two views of parts of its registry.
bool SixtyFourBitSystem();

// Opens (or creates) a subkey of `parent`. An `access` of 0 asks the plain service, which
// grants whatever the caller may have and sees the default view.
RegistryStatus OpenRegistryKey(RegistryKey parent, const std::u16string& subkey,
                               std::uint32_t access, RegistryKey* key);
RegistryStatus CreateRegistryKey(RegistryKey parent, const std::u16string& subkey,
                                 std::uint32_t access, RegistryKey* key);
RegistryStatus CloseRegistryKey(RegistryKey key);
// The predefined key `root` of another computer's registry (an empty name: this computer's).
RegistryStatus ConnectRegistry(const std::u16string& computer, RegistryKey root, RegistryKey* key);

// Deletes one subkey that has no subkeys of its own; with view bits, in that view where the
// system can be told one.
RegistryStatus DeleteRegistryKey(RegistryKey parent, const std::u16string& subkey,
                                 std::uint32_t viewBits);
RegistryStatus DeleteRegistryValue(RegistryKey key, const std::u16string& name);

// The type and size in bytes of a value.
RegistryStatus RegistryValueFacts(RegistryKey key, const std::u16string& name, std::uint32_t* type,
                                  std::size_t* size);
// Reads a value into `data` (`size`: its room in, the bytes read out).
RegistryStatus ReadRegistryValue(RegistryKey key, const std::u16string& name, std::uint32_t* type,
                                 void* data, std::size_t* size);
RegistryStatus WriteRegistryValue(RegistryKey key, const std::u16string& name, std::uint32_t type,
                                  const void* data, std::size_t size);

// The name of the subkey, or of the value, at a 0-based index; kRegistryNoMoreItems past the
// last one.
RegistryStatus RegistrySubkeyAt(RegistryKey key, std::uint32_t index, std::u16string* name);
RegistryStatus RegistryValueNameAt(RegistryKey key, std::uint32_t index, std::u16string* name);
// When the key was last written, as a file time (100 ns steps since 1601, universal time).
RegistryStatus RegistryKeyLastWrite(RegistryKey key, std::uint64_t* fileTime);

// Hives: a registry file loaded as a subkey of `key`, and unloaded again. Both need the restore
// privilege, which EnableRestorePrivilege turns on for the process.
RegistryStatus EnableRestorePrivilege();
RegistryStatus LoadRegistryHive(RegistryKey key, const std::u16string& subkey,
                                const std::u16string& file);
RegistryStatus UnloadRegistryHive(RegistryKey key, const std::u16string& subkey);

// Environment references ("%NAME%") of a text replaced by their values.
std::u16string ExpandEnvironmentReferences(const std::u16string& text);
// A program found on the system's search path, ".EXE" being added to a name without an
// extension; false when there is none.
bool FindProgramOnSearchPath(const std::u16string& name, std::u16string* fullPath);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_REGISTRY_H
