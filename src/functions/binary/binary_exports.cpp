// The buffer services the engine exports: UncompressBuffer, which restores zlib data in place,
// and DllBinaryServices, through which extenders use the script's buffer table.
#include <zlib.h>

#include <cstring>
#include <vector>

#include "core/batch_context.h"
#include "core/exports.h"
#include "errors/entry_boundary.h"

using namespace kel;

extern "C" std::int32_t KEL_CDECL UncompressBuffer(void* buffer, std::int32_t compressedLength,
                                                   std::int32_t bufferSize) {
  if (buffer == nullptr || compressedLength < 0 || bufferSize < 0 || compressedLength > bufferSize)
    return -1;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  // The compressed data is moved aside: zlib reads its input apart from its output.
  std::vector<std::uint8_t> input(bytes, bytes + compressedLength);
  uLongf produced = static_cast<uLongf>(bufferSize);
  if (uncompress(bytes, &produced, input.data(), static_cast<uLong>(input.size())) != Z_OK) {
    // A failure leaves the block as it was.
    if (!input.empty()) std::memcpy(bytes, input.data(), input.size());
    return -1;
  }
  return static_cast<std::int32_t>(produced);
}

extern "C" std::intptr_t KEL_CDECL DllBinaryServices(void* context, std::int32_t handle,
                                                     std::int32_t size, std::int32_t request) {
  BatchContext* record = InitialisedContext(context);
  if (record == nullptr) return -3;
  if (record->varSlots == nullptr) return -4;
  BufferState& buffers = record->buffers;
  if (request == 1) {
    std::int32_t made = AllocateBuffer(buffers, size);
    return made == -1 ? -5 : made < 0 ? -6 : made;
  }
  if (request < 2 || request > 6) return -8;
  BufferSlot* buffer = BufferOfHandle(buffers, handle);
  if (buffer == nullptr) return -2;
  switch (request) {
    case 2:
      ReleaseBuffer(*buffer);
      return 0;
    case 3:
      return reinterpret_cast<std::intptr_t>(buffer->data);
    case 4:
      return buffer->eod;
    case 5:
      return buffer->size;
    default: {
      if (size < 0 || size > buffer->size) return -7;
      std::int32_t previous = buffer->eod;
      buffer->eod = size;
      return previous;
    }
  }
}
