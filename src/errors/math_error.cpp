// The process-wide slot of math-library errors.
#include "errors/math_error.h"

#include <atomic>

#include "errors/error_numbers.h"
#include "errors/error_state.h"

namespace kel {
namespace {

constinit std::atomic<std::uint32_t> slot{0};

std::atomic<std::uint32_t>& Slot() {
  return slot;
}

}  // namespace

void ClearMathError() {
  Slot().store(0, std::memory_order_relaxed);
}

double RaiseMathError(MathErrorKind kind) {
  std::uint32_t number = 0;
  switch (kind) {
    case MathErrorKind::Underflow:
      return 0.0;
    case MathErrorKind::Domain:
      number = kErrMathDomain;
      break;
    case MathErrorKind::Overflow:
      number = kErrFloatTooLarge;
      break;
    case MathErrorKind::PartialLoss:
      number = kErrMathPartialLoss;
      break;
    case MathErrorKind::Singularity:
      number = kErrMathSingularity;
      break;
    case MathErrorKind::TotalLoss:
      number = kErrMathTotalLoss;
      break;
    case MathErrorKind::Other:
      number = kErrMathUndocumented;
      break;
  }
  Slot().store(number, std::memory_order_relaxed);
  return 1.0;
}

std::uint32_t PendingMathError() {
  return Slot().load(std::memory_order_relaxed);
}

bool TakeMathError(BatchContext& context) {
  // Nearly always empty: a plain read spares the locked exchange.
  if (Slot().load(std::memory_order_relaxed) == 0) return false;
  std::uint32_t number = Slot().exchange(0, std::memory_order_relaxed);
  if (number == 0) return false;
  SetError(context, number);
  return true;
}

}  // namespace kel
