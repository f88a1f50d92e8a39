// The facts of many files at once, as an array (FileInfoToArray, DirInfoToArray), and the texts
// of a file's version resource (FileVerInfo).
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/arrays/array_support.h"
#include "functions/files/file_lists.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace kel {
namespace {

// The columns of an information array.
enum InfoColumn {
  kInfoName,
  kInfoSize,
  kInfoWritten,
  kInfoAccessed,
  kInfoCreated,
  kInfoAttributes
};
constexpr std::int32_t kInfoColumns = 6;

// The flags of the information functions.
constexpr std::int32_t kInfoFullNames = 1;
constexpr std::int32_t kInfoSizeDigits = 2;

struct FoundItem {
  std::u16string name;
  platform::FileFacts facts;
};

bool StoreInteger(Value& element, std::int32_t number) {
  element.flags = kValueInteger;
  element.intValue = number;
  return true;
}

// Marks an element as holding a text the heap copied: `reference` is its offset, 0 when the
// heap is full, which leaves the element empty.
bool StoreReference(Value& element, std::uint32_t flag, std::uint32_t reference) {
  element.flags = reference != 0 ? flag : 0;
  return reference != 0;
}

bool StoreText(BatchContext& context, Value& element, const std::string& text) {
  element.textRef = HeapCopyText(context, text.data(), text.size());
  return StoreReference(element, kValueText, static_cast<std::uint32_t>(element.textRef));
}

bool StoreName(BatchContext& context, Value& element, const std::u16string& name) {
  element.wideRef = HeapCopyWide(context, name.data(), name.size());
  return StoreReference(element, kValueWideText, element.wideRef);
}

// A byte count: a number while it fits, else (or with `digits`) its decimal digits.
bool StoreByteCount(BatchContext& context, Value& element, std::uint64_t bytes, bool digits) {
  if (!digits && bytes <= 0x7FFFFFFF)
    return StoreInteger(element, static_cast<std::int32_t>(bytes));
  if (!digits) {
    element.flags = kValueFloat;
    element.floatValue = static_cast<double>(bytes);
    return true;
  }
  return StoreText(context, element, std::to_string(bytes));
}

// A two-dimensional array with one row per file and, in row 0, the count and the total size:
// name, size, last-write, last-access and creation times (YmdHms, local time) and attributes.
void InfoToArray(BatchContext& context, int count, EvalValue& result, EvalValue* arguments,
                 ListKind kind) {
  std::u16string list;
  if (!NameArgument(context, arguments[0], &list)) return;
  std::int32_t flags = count > 1 ? arguments[1].value.intValue : 0;
  std::vector<FoundItem> items;
  bool ok =
      ForEachItem(context, list, kind, [&](const std::u16string& directory, const char16_t* name) {
        FoundItem item;
        item.name = directory + name;
        if (!platform::QueryFile(item.name, &item.facts)) return;
        if ((flags & kInfoFullNames) == 0) item.name = name;
        items.push_back(std::move(item));
      });
  if (!ok) return;
  std::int32_t sizes[2] = {static_cast<std::int32_t>(items.size() + 1), kInfoColumns};
  ArrayRecord* array = NewResultArray(context, result, sizes, 2);
  if (array == nullptr) return;
  const bool digits = (flags & kInfoSizeDigits) != 0;
  std::uint64_t total = 0;
  for (const FoundItem& item : items)
    total += item.facts.size;
  Value* row = array->elements;
  StoreInteger(row[kInfoName], static_cast<std::int32_t>(items.size()));
  ok = StoreByteCount(context, row[kInfoSize], total, digits);
  for (std::int32_t column = kInfoWritten; column < kInfoColumns; ++column)
    StoreInteger(row[column], 0);
  for (std::size_t i = 0; ok && i < items.size(); ++i) {
    const platform::FileFacts& facts = items[i].facts;
    row = array->elements + (i + 1) * kInfoColumns;
    ok = StoreName(context, row[kInfoName], items[i].name) &&
         StoreByteCount(context, row[kInfoSize], facts.size, digits) &&
         StoreText(context, row[kInfoWritten], LocalYmdHms(context, facts.lastWrite)) &&
         StoreText(context, row[kInfoAccessed], LocalYmdHms(context, facts.lastAccess)) &&
         StoreText(context, row[kInfoCreated], LocalYmdHms(context, facts.creation)) &&
         StoreInteger(row[kInfoAttributes], static_cast<std::int32_t>(facts.attributes));
  }
  if (!ok) SetError(context, kErrOutOfStringMemory);
}

void VersionText(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string name, language, item, text;
  if (!NameArgument(context, arguments[0], &name) ||
      !NameArgument(context, arguments[1], &language) ||
      !NameArgument(context, arguments[2], &item))
    return;
  platform::FileFacts facts;
  if (!platform::QueryFile(name, &facts) || (facts.attributes & platform::kAttributeDirectory) != 0)
    return SetError(context, kErrFunctionFailed);
  if (!platform::FileVersionText(name, language, item, &text)) {
    // Where files carry no version resources the function has nothing to read.
    if (platform::LastSystemError() == 50) return SetError(context, kErrNotAvailable);
    text.clear();
  }
  SetNameResult(context, result, text);
}

}  // namespace

KEL_FAMILY_ROUTINE(FileInfoFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordFileInfoToArray:
      return InfoToArray(context, count, result, arguments, ListKind::Files);
    case kKeywordDirInfoToArray:
      return InfoToArray(context, count, result, arguments, ListKind::Directories);
    case kKeywordFileVerInfo:
      return VersionText(context, result, arguments);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
