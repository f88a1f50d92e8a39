// The table of the registry keys a script opened, and their closing at shutdown.
#include "core/registry_state.h"

#include <cstdlib>
#include <cstring>

#include "platform/registry.h"

namespace kel {

void InitialiseRegistryState(RegistryState& state) {
  std::memset(&state, 0, sizeof state);
  state.defaultView = kDefaultRegistryView;
}

bool RememberRegistryKey(RegistryState& state, std::int32_t handle, std::int32_t view) {
  // A key the table holds already keeps one entry: the system may answer an open with the very
  // handle it was given, and a second entry would close that handle twice at shutdown.
  RegistryKeyEntry* free = nullptr;
  for (std::uint32_t i = 0; i < state.used; ++i) {
    if (state.entries[i].handle == handle) {
      state.entries[i].view = view;
      return true;
    }
    if (free == nullptr && state.entries[i].handle == 0) free = &state.entries[i];
  }
  if (free != nullptr) {
    *free = RegistryKeyEntry{view, handle};
    return true;
  }
  if (state.used == state.capacity) {
    std::uint32_t capacity = state.capacity + kRegistryTableStep;
    void* grown = std::realloc(state.entries, capacity * sizeof(RegistryKeyEntry));
    if (grown == nullptr) return false;
    state.entries = static_cast<RegistryKeyEntry*>(grown);
    state.capacity = capacity;
  }
  state.entries[state.used++] = RegistryKeyEntry{view, handle};
  return true;
}

std::int32_t RegistryViewOf(const RegistryState& state, std::int32_t handle) {
  if (handle == 0) return kViewLocal;
  for (std::uint32_t i = 0; i < state.used; ++i)
    if (state.entries[i].handle == handle) return state.entries[i].view;
  return kViewLocal;
}

void ForgetRegistryKey(RegistryState& state, std::int32_t handle) {
  if (handle == 0) return;
  for (std::uint32_t i = 0; i < state.used; ++i) {
    if (state.entries[i].handle != handle) continue;
    state.entries[i] = RegistryKeyEntry{kViewLocal, 0};
    if (i + 1 == state.used) --state.used;
    return;
  }
}

void ReleaseRegistryKeys(RegistryState& state) {
  for (std::uint32_t i = 0; i < state.used; ++i)
    if (state.entries[i].handle != 0) platform::CloseRegistryKey(state.entries[i].handle);
  std::free(state.entries);
  InitialiseRegistryState(state);
}

}  // namespace kel
