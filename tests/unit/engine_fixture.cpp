// The context fixture: the host's call order, through the engine's entry points.
#include "unit/engine_fixture.h"

#include "core/exports.h"
#include "errors/error_state.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/string_heap.h"
#include "lang/tokenizer.h"

namespace kel::testing {

void EngineFixture::SetUp() {
  contextHandle_ = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
  ASSERT_NE(contextHandle_, nullptr);
  ASSERT_EQ(DoDaDllInit(nullptr, contextHandle_, 0, KEL_MODE_CONTEXT, 0, "test", 0),
            static_cast<std::int32_t>(sizeof(VariableSlot)));
  table_ = platform::GlobalAllocate(kSlots * sizeof(VariableSlot), platform::Fill::Zero);
  ASSERT_EQ(DoDaDllInit(nullptr, contextHandle_, reinterpret_cast<std::intptr_t>(table_),
                        KEL_MODE_VARIABLES, kSlots, "test", 0),
            1);
  heap_ = platform::ReserveAddressSpace(kReservation);
  ASSERT_NE(heap_, nullptr);
  ASSERT_TRUE(platform::CommitMemory(heap_, kHeapBytes));
  descriptor_.active = 1;
  descriptor_.base = heap_;
  descriptor_.committedBytes = kHeapBytes;
  descriptor_.reservedBytes = kReservation;
  ASSERT_EQ(
      DoDaDllInit(nullptr, contextHandle_, reinterpret_cast<std::intptr_t>(heap_), KEL_MODE_HEAP,
                  kHeapBytes, nullptr, reinterpret_cast<std::intptr_t>(&descriptor_)),
      1);
  context_ = static_cast<BatchContext*>(platform::GlobalLock(contextHandle_));
}

void EngineFixture::TearDown() {
  if (context_ != nullptr) platform::GlobalUnlock(contextHandle_);
  EXPECT_EQ(DoDaDllInit(nullptr, contextHandle_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0), 1);
  platform::ReleaseAddressSpace(heap_, kReservation);
  platform::GlobalFree(table_);
  platform::GlobalFree(contextHandle_);
}

std::uint32_t EngineFixture::Text(const std::string& text) {
  return HeapCopyText(context(), text.data(), text.size());
}

void EngineFixture::ExpectHeapSound() {
  EXPECT_GT(HeapWalk(context(), nullptr, nullptr), 0) << "the heap's tags or free list are damaged";
}

std::uint32_t EngineFixture::EvaluateExpression(const std::string& expression, EvalValue& value,
                                                bool& atEnd) {
  context().errors.errNum = 0;
  ResetEval(value);
  BeginScan(context(), expression.c_str());
  get_token(context());
  if (!HasError(context())) ProcessSubExpression(context(), value, false);
  atEnd = context().tokenizer.tokenKind == kTokenEnd;
  return context().errors.errNum;
}

}  // namespace kel::testing
