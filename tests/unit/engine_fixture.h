// A context set up the way a host sets one up, for tests of the engine's internal routines.
#ifndef KEL_TESTS_UNIT_ENGINE_FIXTURE_H
#define KEL_TESTS_UNIT_ENGINE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/batch_context.h"
#include "kel/kel_host.h"
#include "lang/value.h"
#include "platform/platform.h"

namespace kel::testing {

class EngineFixture : public ::testing::Test {
 protected:
  // Small enough that growth and "table full" are quick to reach.
  static constexpr std::uint32_t kHeapBytes = 64 * 1024;
  static constexpr std::size_t kReservation = 16 * 1024 * 1024;
  static constexpr std::int32_t kSlots = 64;

  void SetUp() override;
  void TearDown() override;

  BatchContext& context() { return *context_; }
  // A heap text made from a C string.
  std::uint32_t Text(const std::string& text);
  // Heap consistency: every tag in place, every free block on the free list.
  void ExpectHeapSound();
  // Evaluates one expression as an argument is evaluated into `value` (which the caller
  // releases); the error number it left, and whether the whole text was read.
  std::uint32_t EvaluateExpression(const std::string& expression, EvalValue& value, bool& atEnd);

  platform::MemoryHandle contextHandle_ = nullptr;
  platform::MemoryHandle table_ = nullptr;
  void* heap_ = nullptr;
  KelHeapDescriptor descriptor_{};
  BatchContext* context_ = nullptr;
};

}  // namespace kel::testing

#endif  // KEL_TESTS_UNIT_ENGINE_FIXTURE_H
