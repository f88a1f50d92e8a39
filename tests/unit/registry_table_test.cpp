// The table of the registry keys a script opened: views remembered and looked up, free entries
// taken again, a key never listed twice, the table grown in steps, and a closed key's entry given
// back.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/registry_state.h"

namespace kel::testing {
namespace {

TEST(RegistryTable, RemembersViewsAndGrowsInSteps) {
  RegistryState state;
  InitialiseRegistryState(state);
  EXPECT_EQ(state.defaultView, kDefaultRegistryView);
  EXPECT_EQ(state.entries, nullptr);
  // The numbers stand for keys; none is handed to the system, as every one is forgotten before
  // the table is released.
  constexpr std::int32_t kKeys = 200;
  for (std::int32_t key = 1; key <= kKeys; ++key)
    ASSERT_TRUE(RememberRegistryKey(state, key, key % 3));
  EXPECT_EQ(state.used, 200u);
  EXPECT_EQ(state.capacity, 2 * kRegistryTableStep);
  EXPECT_EQ(RegistryViewOf(state, 150), kViewLocal);
  EXPECT_EQ(RegistryViewOf(state, 151), kViewRemote32);
  EXPECT_EQ(RegistryViewOf(state, 152), kViewRemote64);
  EXPECT_EQ(RegistryViewOf(state, 12345), kViewLocal);
  // Giving back the last entry shortens the table; one in the middle is taken by the next key.
  ForgetRegistryKey(state, kKeys);
  EXPECT_EQ(state.used, 199u);
  ForgetRegistryKey(state, 5);
  EXPECT_EQ(state.used, 199u);
  ASSERT_TRUE(RememberRegistryKey(state, 999, kViewRemote64));
  EXPECT_EQ(state.entries[4].handle, 999);
  EXPECT_EQ(RegistryViewOf(state, 999), kViewRemote64);
  EXPECT_EQ(RegistryViewOf(state, 5), kViewLocal);
  // A key remembered again keeps its one entry, with the view it was given last.
  ASSERT_TRUE(RememberRegistryKey(state, 999, kViewRemote32));
  EXPECT_EQ(state.used, 199u);
  EXPECT_EQ(RegistryViewOf(state, 999), kViewRemote32);
  ForgetRegistryKey(state, 999);
  for (std::int32_t key = 1; key < kKeys; ++key)
    ForgetRegistryKey(state, key);
  ReleaseRegistryKeys(state);
  EXPECT_EQ(state.entries, nullptr);
  EXPECT_EQ(state.used, 0u);
  EXPECT_EQ(state.defaultView, kDefaultRegistryView);
}

}  // namespace
}  // namespace kel::testing
