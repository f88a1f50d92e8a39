// The error state of a context and the small helpers every routine uses to raise and test
// errors: a failing routine stores a number and returns; its caller tests and unwinds.
#ifndef KEL_ERRORS_ERROR_STATE_H
#define KEL_ERRORS_ERROR_STATE_H

#include <cstddef>
#include <cstdint>

#include "core/error_record.h"
#include "platform/platform.h"

namespace kel {

struct BatchContext;

// Error modes, as `ErrorMode` and the scripts' @OFF, @CANCEL and @NOTIFY name them.
constexpr std::int32_t kErrorModeOff = 0;
constexpr std::int32_t kErrorModeCancel = 1;
constexpr std::int32_t kErrorModeNotify = 2;

// Error classes as the error box receives them.
constexpr int kClassMinor = 1;
constexpr int kClassModerate = 0;
constexpr int kClassSevere = 13;
int ErrorClass(std::uint32_t number);

void SetError(BatchContext& context, std::uint32_t number);
bool HasError(const BatchContext& context);

// Adds a text to the "more error information" block (a separator line between texts;
// at most 1024 characters in all).
void AppendMoreErrorInfo(BatchContext& context, const char* text);
void DiscardMoreErrorInfo(BatchContext& context);
// The current more-error-information text ("" when there is none); valid until it changes.
std::size_t MoreErrorInfoText(BatchContext& context, char* out, std::size_t size);
// Records a failed system call in the settings file and, with `append`, in the more-info text.
void RecordApiError(BatchContext& context, std::uint32_t code, const char* callName, bool append);

}  // namespace kel

#endif  // KEL_ERRORS_ERROR_STATE_H
