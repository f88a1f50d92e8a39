// Comma-separated lines: counting their fields and extracting one, unquoted.
//
// A field may be enclosed in double quotes; inside them the delimiter is ordinary text and two
// double quotes stand for one. Outside quotes, spaces (and tabs, unless the tab is the
// delimiter) may surround a field. A quote that opens after other text of the field, text after
// a closing quote, and a quote still open at the end make the line invalid.
#include "functions/strings/item_csv.h"

#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/item_lists.h"
#include "functions/strings/text_units.h"
#include "lang/eval_value.h"

namespace kel {
namespace {

template <typename Unit>
class CsvLine {
 public:
  CsvLine(TextSpan<Unit> line, const Delimiter<Unit>& delimiter, const CharacterSteps& steps)
      : line_(line), delimiter_(delimiter), steps_(steps) {}

  std::size_t Length() const { return line_.length; }
  std::size_t Width() const { return delimiter_.width; }

  bool IsBlank(Unit unit) const {
    return unit == Unit(' ') || (unit == Unit('\t') && !IsDelimiter(unit));
  }
  bool IsDelimiter(Unit unit) const { return delimiter_.width == 1 && unit == delimiter_.units[0]; }
  bool DelimiterAt(std::size_t at, std::size_t width) const {
    return width == delimiter_.width &&
           std::memcmp(line_.data + at, delimiter_.units, width * sizeof(Unit)) == 0;
  }

  // Scans the field that starts at `from` up to the delimiter that ends it (or the line's end),
  // whose offset goes to `end`; false when the field breaks the quoting rules.
  bool ScanField(std::size_t from, std::size_t& end) const {
    enum class State { Leading, Plain, Quoted, Closed } state = State::Leading;
    for (std::size_t at = from, next; at < line_.length; at = next) {
      next = steps_.Next(line_.data, line_.length, at);
      Unit unit = line_.data[at];
      bool single = next - at == 1;
      switch (state) {
        case State::Quoted:
          if (single && unit == Unit('"')) {
            if (next < line_.length && line_.data[next] == Unit('"'))
              ++next;  // a doubled quote is one quote character
            else
              state = State::Closed;
          }
          continue;
        case State::Leading:
        case State::Plain:
        case State::Closed:
          if (DelimiterAt(at, next - at)) {
            end = at;
            return true;
          }
          if (single && IsBlank(unit)) continue;
          if (single && unit == Unit('"')) {
            if (state != State::Leading) return false;  // a quote after text of the field
            state = State::Quoted;
            continue;
          }
          if (state == State::Closed) return false;  // text after the closing quote
          state = State::Plain;
          continue;
      }
    }
    end = line_.length;
    return state != State::Quoted;
  }

  // The number of fields; false when a field breaks the quoting rules.
  bool CountFields(std::size_t& count) const {
    count = 0;
    if (line_.length == 0) return true;
    for (std::size_t from = 0, end;; from = end + Width()) {
      if (!ScanField(from, end)) return false;
      ++count;
      if (end >= line_.length) return true;
    }
  }

 private:
  TextSpan<Unit> line_;
  Delimiter<Unit> delimiter_;
  const CharacterSteps& steps_;
};

// The delimiter argument: one character other than a space, a double quote, CR or LF.
template <typename Unit>
bool ReadCsvDelimiter(BatchContext& context, const EvalValue* arguments, int count, int position,
                      const CharacterSteps& steps, Delimiter<Unit>& delimiter) {
  static constexpr Unit kComma[] = {Unit(','), Unit(0)};
  TextSpan<Unit> text = count > position ? TextArgument<Unit>(context, arguments[position])
                                         : TextSpan<Unit>{kComma, 1};
  if (!ReadDelimiter(text, steps, false, Unit(0), delimiter)) return false;
  Unit unit = delimiter.units[0];
  return delimiter.width != 1 ||
         (unit != Unit(' ') && unit != Unit('"') && unit != Unit('\r') && unit != Unit('\n'));
}

template <typename Unit>
void CountCsv(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  CharacterSteps steps(context);
  Delimiter<Unit> delimiter;
  if (!ReadCsvDelimiter(context, arguments, count, 2, steps, delimiter))
    return SetError(context, kErrCountDelimiter);
  CsvLine<Unit> line(TextArgument<Unit>(context, arguments[0]), delimiter, steps);
  std::size_t fields;
  if (!line.CountFields(fields)) return SetError(context, kErrCountLine);
  SetEvalInteger(context, result,
                 fields > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<std::int32_t>(fields));
}

template <typename Unit>
void ExtractCsv(BatchContext& context, EvalValue& result, EvalValue* arguments, int count) {
  CharacterSteps steps(context);
  Delimiter<Unit> delimiter;
  if (!ReadCsvDelimiter(context, arguments, count, 3, steps, delimiter))
    return SetError(context, kErrExtractDelimiter);
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[1]);
  CsvLine<Unit> line(text, delimiter, steps);
  std::int64_t index = arguments[0].value.intValue;
  bool keepBlanks = (arguments[2].value.intValue & 1) != 0;
  if (index == -1) {
    std::size_t fields;
    if (!line.CountFields(fields)) return SetError(context, kErrExtractLine);
    index = static_cast<std::int64_t>(fields);
  }
  // Find the raw text of the field, going on from the field found last in the same line when
  // it does not stand after this one: the fields before it were found well-formed then.
  ItemMemo& memo = context.itemMemos[kItemMemoCsv];
  std::uint32_t textRef = TextRefOf<Unit>(arguments[1].value);
  std::int64_t known = 1;
  std::size_t knownStart = 0;
  RecallItem(memo, textRef, text, delimiter, context.codePage, known, knownStart);
  if (known > index) {
    known = 1;
    knownStart = 0;
  }
  std::size_t from = knownStart, end = 0;
  bool found = false;
  if (index >= 1 && text.length > 0) {
    for (std::int64_t field = known;; ++field, from = end + line.Width()) {
      if (!line.ScanField(from, end)) return SetError(context, kErrExtractLine);
      if (field == index) {
        found = true;
        break;
      }
      if (end >= text.length) break;
    }
  }
  if (!found) {
    SetEmptyResult<Unit>(context, result);
    return;
  }
  RememberItem(memo, textRef, text, delimiter, context.codePage, index, from);
  if (!keepBlanks) {
    while (from < end && line.IsBlank(text.data[from]))
      ++from;
    while (end > from && line.IsBlank(text.data[end - 1]))
      --end;
  }
  // Unquote: the first quote starts the quoted text (what came before it is dropped), a
  // doubled quote gives one, and the closing quote ends the field.
  WorkBuffer<Unit> field;
  if (!field.Allocate(end - from + 1)) return SetError(context, kErrUnableToAllocate);
  std::size_t length = 0;
  bool quoted = false;
  for (std::size_t at = from, next; at < end; at = next) {
    next = steps.Next(text.data, end, at);
    bool quote = next - at == 1 && text.data[at] == Unit('"');
    if (quote && !quoted) {
      quoted = true;
      length = 0;
      continue;
    }
    if (quote) {
      if (next < end && text.data[next] == Unit('"')) {
        field[length++] = Unit('"');
        ++next;
        continue;
      }
      break;
    }
    for (std::size_t i = at; i < next; ++i)
      field[length++] = text.data[i];
  }
  SetTextResult(context, result, field.data(), length);
}

}  // namespace

void CsvFieldCount(BatchContext& context, EvalValue& result, EvalValue* arguments, int count,
                   bool wide) {
  if (wide)
    CountCsv<char16_t>(context, result, arguments, count);
  else
    CountCsv<char>(context, result, arguments, count);
}

void CsvFieldExtract(BatchContext& context, EvalValue& result, EvalValue* arguments, int count,
                     bool wide) {
  if (wide)
    ExtractCsv<char16_t>(context, result, arguments, count);
  else
    ExtractCsv<char>(context, result, arguments, count);
}

}  // namespace kel
