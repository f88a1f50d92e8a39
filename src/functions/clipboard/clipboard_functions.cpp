// The text clipboard functions: ClipGet, ClipGetEx, ClipPut, ClipAppend and ClipHasFormat. Text
// moves in the clipboard's three text formats, 8-bit (CF_TEXT and CF_OEMTEXT) and 16-bit
// (CF_UNICODETEXT), converted with the script's code page when the widths differ. The bytes
// themselves go through the same clipboard services as the binary buffers'.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "builtins/arguments.h"
#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "core/process_state.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/text_units.h"
#include "host/pump.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/buffers.h"
#include "platform/platform.h"

namespace kel {
namespace {

using platform::ClipboardResult;

constexpr std::uint32_t kText = 1;
constexpr std::uint32_t kOemText = 7;
constexpr std::uint32_t kUnicodeText = 13;
// A clipboard that another program holds open is tried this often, a second apart.
constexpr int kOpenAttempts = 30;
constexpr std::uint32_t kOpenPauseMs = 1000;

// Runs a clipboard service until it finds the clipboard open to it, or gives up.
template <typename Service>
ClipboardResult WithClipboard(BatchContext& context, Service&& service) {
  ClipboardResult outcome = service();
  for (int attempt = 1; outcome == ClipboardResult::CannotOpen && attempt < kOpenAttempts;
       ++attempt) {
    TimedWait(context, kOpenPauseMs);
    if (context.stopRequested != 0) break;
    outcome = service();
  }
  return outcome;
}

// False with the error set for an outcome other than Done.
bool Succeeded(BatchContext& context, ClipboardResult outcome) {
  switch (outcome) {
    case ClipboardResult::Done:
      return true;
    case ClipboardResult::Unavailable:
      SetError(context, kErrNotAvailable);
      return false;
    case ClipboardResult::CannotOpen:
      SetError(context, kErrClipboardOwned);
      return false;
    case ClipboardResult::NoData:
      SetError(context, kErrClipboardNoText);
      return false;
    default:
      SetError(context, kErrClipboardNoMemory);
      return false;
  }
}

bool Formats(BatchContext& context, std::vector<std::uint32_t>& formats) {
  return Succeeded(context,
                   WithClipboard(context, [&] { return platform::ListClipboardFormats(formats); }));
}

// The first of `wanted` in the clipboard's own order; 0 when none is there.
std::uint32_t FirstOf(const std::vector<std::uint32_t>& formats,
                      std::initializer_list<std::uint32_t> wanted) {
  for (std::uint32_t format : formats)
    if (std::find(wanted.begin(), wanted.end(), format) != wanted.end()) return format;
  return 0;
}

bool Has(const std::vector<std::uint32_t>& formats, std::uint32_t format) {
  return std::find(formats.begin(), formats.end(), format) != formats.end();
}

// The code page of a conversion to or from `format`: the script's, or where that is the
// system's and the format is the OEM one, the OEM code page.
std::uint32_t CodePageFor(const BatchContext& context, std::uint32_t format) {
  if (context.codePage == 0 && format == kOemText) return platform::OemCodePage();
  return context.codePage;
}

// A clipboard text in either width: 8-bit texts in `narrow`, 16-bit ones in `wide`.
struct ClipText {
  bool isWide = false;
  std::string narrow;
  std::u16string wide;
};

// The text of one format, up to its terminator.
bool ReadText(BatchContext& context, std::uint32_t format, ClipText& text) {
  std::vector<std::uint8_t> bytes;
  if (!Succeeded(context,
                 WithClipboard(context, [&] { return platform::ReadClipboard(format, bytes); })))
    return false;
  text.isWide = format == kUnicodeText;
  if (text.isWide) {
    std::size_t units = bytes.size() / 2;
    text.wide.assign(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
      text.wide[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    text.wide.resize(std::min(text.wide.find(u'\0'), units));
  } else {
    text.narrow.assign(bytes.begin(), bytes.end());
    text.narrow.resize(std::min(text.narrow.find('\0'), text.narrow.size()));
  }
  return true;
}

std::u16string Widen(const std::string& text, std::uint32_t codePage) {
  std::u16string wide(text.size(), u'\0');
  int units = text.empty() ? 0
                           : platform::AnsiToWide(codePage, text.data(), text.size(), wide.data(),
                                                  wide.size());
  wide.resize(units > 0 ? static_cast<std::size_t>(units) : 0);
  return wide;
}

std::string Narrow(const std::u16string& text, std::uint32_t codePage) {
  // A UTF-16 unit needs at most two bytes of a double-byte code page.
  std::string narrow(text.size() * 2, '\0');
  int bytes = text.empty() ? 0
                           : platform::WideToAnsi(codePage, text.data(), text.size(), narrow.data(),
                                                  narrow.size());
  narrow.resize(bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
  return narrow;
}

// The clipboard's text in format `wanted`, read directly or converted from the other width.
bool ReadAs(BatchContext& context, const std::vector<std::uint32_t>& formats, std::uint32_t wanted,
            ClipText& text) {
  if (Has(formats, wanted)) return ReadText(context, wanted, text);
  const std::uint32_t source = wanted == kUnicodeText
                                   ? FirstOf(formats, {kText, kOemText})
                                   : (Has(formats, kUnicodeText) ? kUnicodeText : 0);
  if (source == 0) {
    SetError(context, kErrClipboardNoText);
    return false;
  }
  if (!ReadText(context, source, text)) return false;
  if (wanted == kUnicodeText) {
    text.wide = Widen(text.narrow, CodePageFor(context, source));
    text.isWide = true;
  } else {
    text.narrow = Narrow(text.wide, CodePageFor(context, wanted));
    text.isWide = false;
  }
  return true;
}

void SetClipResult(BatchContext& context, EvalValue& result, const ClipText& text) {
  if (text.isWide)
    SetTextResult<char16_t>(context, result, text.wide.data(), text.wide.size());
  else
    SetAnsiResult(context, result, text.narrow.data(), text.narrow.size());
}

void Get(BatchContext& context, EvalValue& result, std::uint32_t wanted) {
  std::vector<std::uint32_t> formats;
  if (!Formats(context, formats)) return;
  if (wanted == 0) {
    wanted = FirstOf(formats, {kText, kUnicodeText});
    if (wanted == 0) wanted = kText;
  }
  ClipText text;
  text.isWide = wanted == kUnicodeText;
  if (!formats.empty() && !ReadAs(context, formats, wanted, text)) return;
  SetClipResult(context, result, text);
}

bool Write(BatchContext& context, std::uint32_t format, const void* data, std::size_t bytes) {
  return Succeeded(context, WithClipboard(context, [&] {
                     return platform::WriteClipboard(format, data, bytes);
                   }));
}

void Put(BatchContext& context, EvalValue& result, const EvalValue& argument, bool append) {
  SetEvalInteger(context, result, 0);
  const bool wideArgument =
      (argument.value.flags & kValueWideText) != 0 && Process().system.unicodePlatform;
  ClipText text;
  text.isWide = wideArgument;
  if (append) {
    std::vector<std::uint32_t> formats;
    if (!Formats(context, formats)) return;
    if (!formats.empty()) {
      const std::uint32_t format = FirstOf(formats, {kText, kOemText, kUnicodeText});
      if (!ReadAs(context, formats, format == 0 ? kText : format, text)) return;
    }
  }
  // The argument in the width of the content it joins.
  if (wideArgument) {
    TextSpan<char16_t> added = WideArgument(context, argument);
    if (text.isWide)
      text.wide.append(added.data, added.length);
    else
      text.narrow += Narrow(std::u16string(added.data, added.length), context.codePage);
  } else {
    TextSpan<char> added = AnsiArgument(context, argument);
    if (text.isWide)
      text.wide += Widen(std::string(added.data, added.length), context.codePage);
    else
      text.narrow.append(added.data, added.length);
  }
  const bool done = text.isWide
                        ? Write(context, kUnicodeText, text.wide.c_str(),
                                (text.wide.size() + 1) * sizeof(char16_t))
                        : Write(context, kText, text.narrow.c_str(), text.narrow.size() + 1);
  if (done) SetEvalInteger(context, result, 1);
}

}  // namespace

KEL_FAMILY_ROUTINE(ClipboardFunction) {
  (void)unicode;
  (void)count;
  switch (code) {
    case kKeywordClipGet:
      return Get(context, result, 0);
    case kKeywordClipGetEx: {
      const std::int32_t format = arguments[0].value.intValue;
      if (format != kText && format != kOemText && format != kUnicodeText)
        return SetError(context, kErrClipGetExFormat);
      return Get(context, result, static_cast<std::uint32_t>(format));
    }
    case kKeywordClipPut:
    case kKeywordClipAppend:
      return Put(context, result, arguments[0], code == kKeywordClipAppend);
    case kKeywordClipHasFormat: {
      std::vector<std::uint32_t> formats;
      if (!Formats(context, formats)) return;
      return SetEvalInteger(
          context, result,
          Has(formats, static_cast<std::uint32_t>(arguments[0].value.intValue)) ? 1 : 0);
    }
    default:
      return SetError(context, kErrNotAvailable);
  }
}

}  // namespace kel
