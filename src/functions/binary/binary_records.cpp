// Whole-buffer work: checksums, hash records, sorting fixed-size records, translation through
// a table, code page and case conversion, and compression through zlib.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/binary/binary_support.h"
#include "functions/strings/text_units.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/buffers.h"
#include "platform/platform.h"

namespace kel {
namespace {

// CRC-16 with the reflected polynomial 0xA001, starting from 0, without a final inversion.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                           : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

void Checksum(BatchContext& context, EvalValue& result, const BufferSlot& buffer,
              std::int32_t request) {
  const std::size_t length = static_cast<std::size_t>(buffer.eod);
  char text[40];
  int written = 0;
  switch (request) {
    case 0: {
      std::uint8_t digest[16];
      if (!platform::Md5Digest(buffer.data, length, digest))
        return SetError(context, kErrNotAvailable);
      for (int i = 0; i < 16; ++i) {
        if (i != 0 && i % 4 == 0) text[written++] = '-';
        written += std::snprintf(text + written, sizeof text - written, "%02x", digest[i]);
      }
      break;
    }
    case 1:
      written = std::snprintf(text, sizeof text, "%04x", Crc16(buffer.data, length));
      break;
    case 2: {
      // zlib's CRC-32 takes at most 4 GB a call; a buffer is never larger.
      uLong crc = crc32(0L, Z_NULL, 0);
      crc = crc32(crc, buffer.data, static_cast<uInt>(length));
      written = std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(crc));
      break;
    }
    default:
      return SetError(context, kErrChecksumRequest);
  }
  SetTextResult<char>(context, result, text, static_cast<std::size_t>(written));
}

// The record checks that BinaryHashRec and BinarySort share (1474 .. 1478).
bool CheckRecords(BatchContext& context, const BufferSlot& buffer, std::int32_t recordSize,
                  std::int32_t keyOffset, std::int32_t keySize) {
  std::uint32_t error = 0;
  if (recordSize < 1)
    error = kErrRecordSize;
  else if (keyOffset < 0)
    error = kErrRecordKeyOffset;
  else if (keySize < 1)
    error = kErrRecordKeySize;
  else if (static_cast<std::int64_t>(keyOffset) + keySize > recordSize)
    error = kErrRecordKeyBeyond;
  else if (buffer.size < recordSize)
    error = kErrRecordLargerThanBuffer;
  if (error == 0) return true;
  SetError(context, error);
  return false;
}

// The length of a key field read as text of at most `size` bytes.
std::size_t FieldLength(const std::uint8_t* field, std::size_t size) {
  std::size_t length = 0;
  while (length < size && field[length] != 0)
    ++length;
  return length;
}

void HashRec(BatchContext& context, EvalValue& result, EvalValue* arguments, BufferSlot& buffer) {
  const std::int32_t recordSize = IntegerAt(arguments, 1), keyOffset = IntegerAt(arguments, 2);
  const std::int32_t keySize = IntegerAt(arguments, 3);
  if (!CheckRecords(context, buffer, recordSize, keyOffset, keySize)) return;
  const char* key = ValueText(context, arguments[4].value);
  const std::size_t keyLength = std::strlen(key);
  if (keyLength == 0) return SetError(context, kErrHashKeyMissing);
  if (keyLength > static_cast<std::size_t>(keySize)) return SetError(context, kErrHashKeyTooLong);
  // Only whole records take part; bytes past the last one are never touched.
  const std::uint32_t records = static_cast<std::uint32_t>(buffer.size / recordSize);
  std::uint32_t hash = 0;
  for (std::size_t i = 0; i < keyLength; ++i)
    hash = hash * 2 +
           static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(key[i])));
  const std::uint32_t home = records == 1 ? 0 : hash % (records - 1);
  for (std::uint32_t step = 0; step < records; ++step) {
    const std::uint32_t record = (home + step) % records;
    const std::size_t offset = static_cast<std::size_t>(record) * recordSize;
    std::uint8_t* field = buffer.data + offset + keyOffset;
    bool take = field[0] == 0;
    if (take) {
      // The key and its terminating zero, or exactly key size bytes for a key that fills it.
      std::memcpy(field, key, keyLength);
      if (keyLength < static_cast<std::size_t>(keySize)) field[keyLength] = 0;
    } else {
      std::size_t length = FieldLength(field, static_cast<std::size_t>(keySize));
      take = length == keyLength;
      for (std::size_t i = 0; take && i < length; ++i)
        take = platform::UpperAnsi(static_cast<char>(field[i])) == platform::UpperAnsi(key[i]);
    }
    if (take) {
      buffer.eod = buffer.size;
      return SetEvalInteger(context, result, static_cast<std::int32_t>(offset));
    }
  }
  SetError(context, kErrHashFull);
}

constexpr std::int32_t kSortDescending = 16;

// The key width that the sort flags choose: 1, 2, 4 or 8, or 0 for text.
int SortKeyWidth(std::int32_t flags) {
  for (int width : {1, 2, 4, 8})
    if ((flags & width) != 0) return width;
  return 0;
}

void Sort(BatchContext& context, EvalValue& result, EvalValue* arguments, BufferSlot& buffer) {
  const std::int32_t recordSize = IntegerAt(arguments, 1), keyOffset = IntegerAt(arguments, 2);
  const std::int32_t flags = IntegerAt(arguments, 4);
  const int width = SortKeyWidth(flags);
  const std::int32_t keySize = width != 0 ? width : IntegerAt(arguments, 3);
  if (!CheckRecords(context, buffer, recordSize, keyOffset, keySize)) return;
  const std::size_t records = static_cast<std::size_t>(buffer.size / recordSize);
  const std::size_t record = static_cast<std::size_t>(recordSize);
  std::vector<std::uint32_t> order;
  std::vector<std::uint8_t> sorted;
  std::vector<std::string> texts;
  std::vector<double> numbers;
  try {
    order.resize(records);
    sorted.resize(records * record);
    if (width == 0)
      texts.resize(records);
    else
      numbers.resize(records);
  } catch (const std::bad_alloc&) {
    return SetError(context, kErrRecordMemory);
  }
  for (std::size_t i = 0; i < records; ++i) {
    order[i] = static_cast<std::uint32_t>(i);
    const std::uint8_t* field = buffer.data + i * record + keyOffset;
    if (width == 0) {
      texts[i].assign(reinterpret_cast<const char*>(field),
                      FieldLength(field, static_cast<std::size_t>(keySize)));
    } else if (width == 8) {
      std::memcpy(&numbers[i], field, sizeof(double));
    } else {
      std::uint32_t value = 0;
      for (int b = width - 1; b >= 0; --b)
        value = (value << 8) | field[b];
      numbers[i] = value;
    }
  }
  const bool descending = (flags & kSortDescending) != 0;
  auto before = [&](std::uint32_t a, std::uint32_t b) {
    int order = 0;
    if (width == 0) {
      order = platform::CompareLocaleText(texts[a].c_str(), texts[b].c_str(), true);
      if (order == 0) order = std::strcmp(texts[a].c_str(), texts[b].c_str());
    } else {
      order = numbers[a] < numbers[b] ? -1 : numbers[b] < numbers[a] ? 1 : 0;
    }
    return descending ? order > 0 : order < 0;
  };
  std::sort(order.begin(), order.end(), before);
  for (std::size_t i = 0; i < records; ++i)
    std::memcpy(sorted.data() + i * record, buffer.data + order[i] * record, record);
  if (!sorted.empty()) std::memcpy(buffer.data, sorted.data(), sorted.size());
  RaiseEod(buffer, static_cast<std::int64_t>(records * record));
  SetEvalInteger(context, result, 1);
}

// BinaryXlate: each element of the data indexes the table; modes 0 .. 3 take bytes or 16-bit
// values and give bytes or 16-bit values.
void Xlate(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  BufferSlot* data = BufferArgument(context, arguments[0]);
  if (data == nullptr) return;
  BufferSlot* table = BufferArgument(context, arguments[1]);
  if (table == nullptr) return;
  const std::int32_t mode = IntegerAt(arguments, 2);
  static constexpr std::int32_t kTableBytes[] = {256, 512, 65536, 131072};
  static constexpr std::uint32_t kTableErrors[] = {kErrXlateTable0, kErrXlateTable1,
                                                   kErrXlateTable2, kErrXlateTable3};
  if (mode < 0 || mode > 3) return SetError(context, kErrXlateMode);
  if (table->eod != kTableBytes[mode]) return SetError(context, kTableErrors[mode]);
  const bool wideIn = mode >= 2, wideOut = mode == 1 || mode == 3;
  if (wideIn && data->eod % 2 != 0) return SetError(context, kErrXlateOdd);
  const std::size_t elements = static_cast<std::size_t>(data->eod) / (wideIn ? 2 : 1);
  const std::size_t length = elements * (wideOut ? 2 : 1);
  if (length > static_cast<std::size_t>(data->size)) return SetError(context, kErrXlateSpace);
  std::vector<std::uint8_t> out;
  try {
    out.resize(length);
  } catch (const std::bad_alloc&) {
    return SetError(context, kErrXlateMemory);
  }
  for (std::size_t i = 0; i < elements; ++i) {
    std::size_t index = wideIn ? (data->data[2 * i] | data->data[2 * i + 1] << 8) : data->data[i];
    if (wideOut) {
      out[2 * i] = table->data[2 * index];
      out[2 * i + 1] = table->data[2 * index + 1];
    } else {
      out[i] = table->data[index];
    }
  }
  if (length > 0) std::memcpy(data->data, out.data(), length);
  data->eod = static_cast<std::int32_t>(length);
  SetEvalInteger(context, result, data->eod);
}

enum ConvertType : std::int32_t { kAnsi = 0, kOem = 1, kCodePage = 2, kUnicode = 3 };

std::uint32_t CodePageOf(std::int32_t type, std::int32_t codePage) {
  if (type == kOem) return platform::OemCodePage();
  if (type == kCodePage) return static_cast<std::uint32_t>(codePage);
  return 0;
}

void Convert(BatchContext& context, EvalValue& result, EvalValue* arguments, BufferSlot& buffer) {
  const std::int32_t from = IntegerAt(arguments, 1), to = IntegerAt(arguments, 2);
  const std::int32_t codePage = IntegerAt(arguments, 3), flags = IntegerAt(arguments, 4);
  if (from < 0 || from > 3 || to < 0 || to > 3) return SetError(context, kErrConvertType);
  if (flags == 3) return SetError(context, kErrConvertFlagCombination);
  if (flags < 0 || flags > 3) return SetError(context, kErrConvertFlags);
  const std::size_t size = static_cast<std::size_t>(buffer.size);
  std::size_t length = static_cast<std::size_t>(buffer.eod);
  std::vector<std::uint8_t> out;
  const bool eightBitPair = (from == kAnsi && to == kOem) || (from == kOem && to == kAnsi);
  if (length > 0 && (eightBitPair || (from != kUnicode && to == kUnicode) ||
                     (from == kUnicode && to != kUnicode))) {
    // Through UTF-16 in every case; 8-bit data becomes at most one unit a byte.
    std::u16string wide;
    if (from == kUnicode) {
      wide.resize(length / 2);
      std::memcpy(wide.data(), buffer.data, wide.size() * 2);
    } else {
      if (to == kUnicode && length * 2 > size) return SetError(context, kErrConvertSpace);
      wide.resize(length);
      int units = platform::AnsiToWide(CodePageOf(from, codePage),
                                       reinterpret_cast<const char*>(buffer.data), length,
                                       wide.data(), wide.size());
      if (units < 0) return SetError(context, kErrConvertFailed);
      wide.resize(static_cast<std::size_t>(units));
    }
    if (to == kUnicode) {
      out.resize(wide.size() * 2);
      if (!wide.empty()) std::memcpy(out.data(), wide.data(), out.size());
    } else {
      // A double-byte code page may need two bytes a unit; never more than the buffer holds.
      out.resize(size);
      int bytes = wide.empty()
                      ? 0
                      : platform::WideToAnsi(CodePageOf(to, codePage), wide.data(), wide.size(),
                                             reinterpret_cast<char*>(out.data()), size);
      if (bytes < 0) return SetError(context, kErrConvertFailed);
      out.resize(static_cast<std::size_t>(bytes));
    }
  } else {
    out.assign(buffer.data, buffer.data + length);
  }
  if (out.size() > size) return SetError(context, kErrConvertSpace);
  if (flags != 0 && !out.empty()) {
    if (to == kUnicode) {
      std::u16string wide(out.size() / 2, u'\0');
      std::memcpy(wide.data(), out.data(), wide.size() * 2);
      if (flags == 1)
        platform::UpperWideText(wide.data(), wide.size());
      else
        platform::LowerWideText(wide.data(), wide.size());
      std::memcpy(out.data(), wide.data(), wide.size() * 2);
    } else if (flags == 1) {
      platform::UpperAnsiText(reinterpret_cast<char*>(out.data()), out.size());
    } else {
      platform::LowerAnsiText(reinterpret_cast<char*>(out.data()), out.size());
    }
  }
  if (!out.empty()) std::memcpy(buffer.data, out.data(), out.size());
  buffer.eod = static_cast<std::int32_t>(out.size());
  SetEvalInteger(context, result, buffer.eod);
}

// BinaryComp and BinaryUncomp: the whole target is available; zlib never writes past the
// length it is given, and corrupt or truncated input is an error, never a longer write.
void Compression(BatchContext& context, std::uint32_t code, EvalValue& result,
                 EvalValue* arguments) {
  BufferSlot* source = BufferArgument(context, arguments[0]);
  if (source == nullptr) return;
  BufferSlot* target = BufferArgument(context, arguments[1]);
  if (target == nullptr) return;
  const bool compress = code == kKeywordBinaryComp;
  const std::uint32_t failure = compress ? kErrCompressFailed : kErrUncompressFailed;
  // zlib writes into the output before it knows whether it fails; the output is made aside so
  // that a failure leaves the target as it was.
  std::vector<std::uint8_t> out;
  try {
    out.resize(static_cast<std::size_t>(target->size) + 1);
  } catch (const std::bad_alloc&) {
    return SetError(context, failure);
  }
  uLongf produced = static_cast<uLongf>(target->size);
  int status =
      compress ? compress2(out.data(), &produced, source->data, static_cast<uLong>(source->eod),
                           IntegerAt(arguments, 2))
               : uncompress(out.data(), &produced, source->data, static_cast<uLong>(source->eod));
  if (status != Z_OK || produced > static_cast<uLongf>(target->size))
    return SetError(context, failure);
  if (produced > 0) std::memcpy(target->data, out.data(), produced);
  target->eod = static_cast<std::int32_t>(produced);
  SetEvalInteger(context, result, target->eod);
}

}  // namespace

KEL_FAMILY_ROUTINE(BinaryRecordFunction) {
  (void)unicode;
  (void)count;
  if (code == kKeywordBinaryXlate) return Xlate(context, result, arguments);
  if (code == kKeywordBinaryComp || code == kKeywordBinaryUncomp)
    return Compression(context, code, result, arguments);
  BufferSlot* buffer = BufferArgument(context, arguments[0]);
  if (buffer == nullptr) return;
  switch (code) {
    case kKeywordBinaryChecksum:
      return Checksum(context, result, *buffer, IntegerAt(arguments, 1));
    case kKeywordBinaryHashRec:
      return HashRec(context, result, arguments, *buffer);
    case kKeywordBinarySort:
      return Sort(context, result, arguments, *buffer);
    default:
      return Convert(context, result, arguments, *buffer);
  }
}

}  // namespace kel
