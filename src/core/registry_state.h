// The registry functions' part of the context: the default view setting and the table of the
// keys the script opened, each with the view it was opened in, so that keys opened beneath it
// keep that view and every key still open is closed when the context shuts down. Plain data,
// as the context is.
#ifndef KEL_CORE_REGISTRY_STATE_H
#define KEL_CORE_REGISTRY_STATE_H

#include <cstdint>

namespace kel {

// The view a key was opened in: one of this computer (or not known), or of a remote 32-bit or
// 64-bit system.
enum RegistryView : std::int32_t {
  kViewLocal = 0,
  kViewRemote32 = 1,
  kViewRemote64 = 2,
};

// The default view setting: 0 or 2 the 64-bit view, 1 the 32-bit view, 32 and 64 the 32-bit and
// 64-bit views asked for explicitly.
constexpr std::int32_t kDefaultRegistryView = 2;

struct RegistryKeyEntry {
  std::int32_t view;
  std::int32_t handle;  // 0 marks a free entry
};

struct RegistryState {
  std::int32_t defaultView;
  // The table lives in engine memory and grows by kRegistryTableStep entries; null until the
  // first key is remembered.
  RegistryKeyEntry* entries;
  std::uint32_t used;      // entries up to the last one in use
  std::uint32_t capacity;  // entries allocated
};

constexpr std::uint32_t kRegistryTableStep = 128;

void InitialiseRegistryState(RegistryState& state);
// Remembers a key the script opened; false when the table cannot grow.
bool RememberRegistryKey(RegistryState& state, std::int32_t handle, std::int32_t view);
// The view a remembered key was opened in; kViewLocal for a key that is not in the table.
std::int32_t RegistryViewOf(const RegistryState& state, std::int32_t handle);
// Forgets a key the script closed.
void ForgetRegistryKey(RegistryState& state, std::int32_t handle);
// Closes every key the script left open and frees the table (context shutdown).
void ReleaseRegistryKeys(RegistryState& state);

}  // namespace kel

#endif  // KEL_CORE_REGISTRY_STATE_H
