// There is no registry on these systems: every service says so, and the registry functions
// report that they are not available.
#include "platform/registry.h"

namespace kel::platform {

bool RegistryAvailable() {
  return false;
}

bool SixtyFourBitSystem() {
  return sizeof(void*) == 8;
}

RegistryStatus OpenRegistryKey(RegistryKey, const std::u16string&, std::uint32_t, RegistryKey*) {
  return kRegistryUnavailable;
}

RegistryStatus CreateRegistryKey(RegistryKey, const std::u16string&, std::uint32_t, RegistryKey*) {
  return kRegistryUnavailable;
}

RegistryStatus CloseRegistryKey(RegistryKey) {
  return kRegistryUnavailable;
}

RegistryStatus ConnectRegistry(const std::u16string&, RegistryKey, RegistryKey*) {
  return kRegistryUnavailable;
}

RegistryStatus DeleteRegistryKey(RegistryKey, const std::u16string&, std::uint32_t) {
  return kRegistryUnavailable;
}

RegistryStatus DeleteRegistryValue(RegistryKey, const std::u16string&) {
  return kRegistryUnavailable;
}

RegistryStatus RegistryValueFacts(RegistryKey, const std::u16string&, std::uint32_t*,
                                  std::size_t*) {
  return kRegistryUnavailable;
}

RegistryStatus ReadRegistryValue(RegistryKey, const std::u16string&, std::uint32_t*, void*,
                                 std::size_t*) {
  return kRegistryUnavailable;
}

RegistryStatus WriteRegistryValue(RegistryKey, const std::u16string&, std::uint32_t, const void*,
                                  std::size_t) {
  return kRegistryUnavailable;
}

RegistryStatus RegistrySubkeyAt(RegistryKey, std::uint32_t, std::u16string*) {
  return kRegistryUnavailable;
}

RegistryStatus RegistryValueNameAt(RegistryKey, std::uint32_t, std::u16string*) {
  return kRegistryUnavailable;
}

RegistryStatus RegistryKeyLastWrite(RegistryKey, std::uint64_t*) {
  return kRegistryUnavailable;
}

RegistryStatus EnableRestorePrivilege() {
  return kRegistryUnavailable;
}

RegistryStatus LoadRegistryHive(RegistryKey, const std::u16string&, const std::u16string&) {
  return kRegistryUnavailable;
}

RegistryStatus UnloadRegistryHive(RegistryKey, const std::u16string&) {
  return kRegistryUnavailable;
}

std::u16string ExpandEnvironmentReferences(const std::u16string& text) {
  return text;
}

bool FindProgramOnSearchPath(const std::u16string&, std::u16string*) {
  return false;
}

}  // namespace kel::platform
