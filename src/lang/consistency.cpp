// The checked build's consistency walk. It reads the context and changes nothing, and it stops
// the process at the first damage it finds: a run that went on would only spread it.
#include "lang/consistency.h"

#if defined(KEL_CHECKED)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "core/batch_context.h"
#include "lang/array_record.h"
#include "lang/string_heap.h"
#include "platform/platform.h"

namespace kel {
namespace {

[[noreturn]] void Broken(const BatchContext& context, const char* what, unsigned long detail) {
  char report[kLineBufferBytes + 256];
  int length = std::snprintf(
      report, sizeof report, "consistency check failed: %s (%lu)\n  after the statement: %.*s\n",
      what, detail, static_cast<int>(kLineBufferBytes - 1), context.lineBuffer);
  if (length > 0)
    platform::WriteStandardError(report, std::min(sizeof report - 1, std::size_t(length)));
  std::abort();
}

std::uint32_t HeapWord(const BatchContext& context, std::uint32_t offset) {
  std::uint32_t word;
  std::memcpy(&word, context.heapBase + offset, sizeof word);
  return word;
}

class Walk {
 public:
  explicit Walk(const BatchContext& context) : context_(context) {}

  void Run() {
    if (context_.heapBase != nullptr) WalkHeap();
    WalkVariables();
    WalkEnumerations();
    WalkRemembered();
    CheckOwners();
    CheckHolders();
  }

 private:
  // Every tag, both size copies and the free list, then the start of every used block in order.
  void WalkHeap() {
    if (HeapWalk(context_, nullptr, nullptr) < 0)
      Broken(context_, "a tag, size or free-list link of the string heap is damaged",
             context_.heapEnd);
    const KelHeapDescriptor* descriptor = context_.heapDescriptor;
    std::uint64_t committed =
        descriptor != nullptr ? descriptor->committedBytes : context_.heapCommitted;
    if (std::uint64_t{context_.heapEnd} + 4 > committed)
      Broken(context_, "the string heap ends past its committed memory", context_.heapEnd);
    usedBlocks_.clear();
    for (std::uint32_t block = kHeapHeaderBytes; block < context_.heapEnd;
         block += HeapWord(context_, block + 4)) {
      if (HeapWord(context_, block) == kTagUsed) usedBlocks_.push_back(block);
    }
  }

  // A text reference must be 0 or the start of a used block's text.
  void CheckText(std::uint32_t offset, const char* what) {
    if (offset == 0) return;
    if (context_.heapBase == nullptr || offset < 8 ||
        !std::binary_search(usedBlocks_.begin(), usedBlocks_.end(), offset - 8))
      Broken(context_, what, offset);
  }

  // The texts and the array a variable or an element holds as its own.
  void CheckValue(const Value& value) {
    if ((value.flags & kValueText) != 0) {
      auto offset = static_cast<std::uint32_t>(value.textRef);
      if (value.textRef > 0xFFFFFFFFu) Broken(context_, "a text offset beyond 32 bits", offset);
      CheckText(offset, "a variable's or element's text is not a used heap block");
      if (offset != 0) owned_.push_back(offset);
    }
    if ((value.flags & kValueWideText) != 0) {
      CheckText(value.wideRef, "a variable's or element's UTF-16 text is not a used heap block");
      if (value.wideRef != 0) owned_.push_back(value.wideRef);
    }
    if ((value.flags & kValueArray) != 0 && value.textRef != 0)
      HoldArray(reinterpret_cast<ArrayRecord*>(value.textRef));
  }

  // One more reference to an array; its record and elements are walked the first time.
  void HoldArray(ArrayRecord* record) {
    if (++references_[record] > 1) return;
    if (platform::GlobalHandleOf(record) == nullptr)
      Broken(context_, "a variable holds an array that is no movable block",
             static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(record)));
    if (record->dimensionCount > kMaxDimensions)
      Broken(context_, "an array has more than five dimensions", record->dimensionCount);
    std::uint64_t elements = record->dimensionCount == 0 ? 0 : 1;
    for (int i = 0; i < kMaxDimensions; ++i) {
      if (i < record->dimensionCount) {
        elements *= record->sizes[i];
      } else if (record->sizes[i] != 0) {
        Broken(context_, "an array has a size beyond its dimension count", record->sizes[i]);
      }
    }
    if (record->elements != reinterpret_cast<Value*>(record + 1) ||
        record->elementCount != elements || record->dataSize != elements * sizeof(Value))
      Broken(context_, "an array's header does not describe its elements", record->elementCount);
    std::size_t bytes = platform::GlobalSize(platform::GlobalHandleOf(record));
    if (bytes < sizeof(ArrayRecord) + std::uint64_t{record->dataSize})
      Broken(context_, "an array's elements run past its block", record->elementCount);
    for (std::uint32_t i = 0; i < record->elementCount; ++i)
      CheckValue(record->elements[i]);
  }

  void WalkSlots(const VariableSlot* slots, std::uint16_t count, std::uint16_t capacity) {
    if (count > capacity)
      Broken(context_, "a variable table holds more slots than it has room for", count);
    for (std::uint16_t i = 0; i < count; ++i) {
      if (slots[i].slotName[kNameBytes - 1] != '\0')
        Broken(context_, "a variable's name is not terminated", i);
      CheckValue(slots[i].value);
    }
  }

  // Every open frame: the current one through its locked table, the others locked for the walk.
  void WalkVariables() {
    if (context_.currentFrame > kMaxLocalFrames)
      Broken(context_, "the current frame number is out of range", context_.currentFrame);
    for (int frame = 0; frame <= kMaxLocalFrames; ++frame) {
      const FrameEntry& entry = context_.frames[frame];
      if (frame == context_.currentFrame) {
        if (context_.varSlots != nullptr)
          WalkSlots(context_.varSlots, context_.varCount, context_.varCapacity);
        continue;
      }
      if (entry.handle == nullptr) continue;
      auto* slots = static_cast<const VariableSlot*>(platform::GlobalLock(entry.handle));
      if (slots == nullptr) Broken(context_, "a frame's variable table cannot be locked", frame);
      if (platform::GlobalSize(entry.handle) < std::size_t{entry.capacity} * sizeof(VariableSlot))
        Broken(context_, "a frame's variable table is smaller than its capacity", frame);
      WalkSlots(slots, entry.count, entry.capacity);
      platform::GlobalUnlock(entry.handle);
    }
  }

  // A running ForEach holds its collection and owns the text its line wrote.
  void WalkEnumerations() {
    const ControlFlowState& flow = context_.flow;
    if (flow.depth > kMaxStructures)
      Broken(context_, "the structure stack is deeper than its room", flow.depth);
    for (const Enumeration& enumeration : flow.enumerations) {
      if (enumeration.active == 0) continue;
      if (enumeration.array != nullptr) HoldArray(enumeration.array);
      CheckText(enumeration.collectionText, "a ForEach collection text is not a used heap block");
    }
  }

  // What the item functions and the in-place append remember of a text is forgotten when the
  // text is freed, so it always names a live block.
  void WalkRemembered() {
    for (const ItemMemo& memo : context_.itemMemos)
      CheckText(memo.textRef, "an item memo names a freed text");
    CheckText(context_.appendText, "the in-place append names a freed text");
    for (std::uint32_t constant : context_.constantTexts)
      CheckText(constant, "a text constant's copy was freed");
    // The constants' copies are lent, never owned: one in a variable would be freed with it.
    for (std::uint32_t constant : context_.constantTexts)
      if (constant != 0) owned_.push_back(constant);
  }

  // A text belongs to one holder: two holders of one block would free it twice.
  void CheckOwners() {
    std::sort(owned_.begin(), owned_.end());
    auto twice = std::adjacent_find(owned_.begin(), owned_.end());
    if (twice != owned_.end())
      Broken(context_, "two variables or elements own the same heap text", *twice);
  }

  // Every reference the walk found is counted among the array's holders; the statement's own
  // value and the arguments of running calls may hold it more often.
  void CheckHolders() {
    for (const auto& [record, found] : references_) {
      unsigned holders = ArrayHolderCount(record);
      if (holders < found)
        Broken(context_, "an array has fewer holders than references to it", holders);
    }
  }

  const BatchContext& context_;
  std::vector<std::uint32_t> usedBlocks_;
  std::vector<std::uint32_t> owned_;
  std::unordered_map<ArrayRecord*, unsigned> references_;
};

}  // namespace

namespace {
StatementWatcher watcher = nullptr;
}  // namespace

void CheckConsistency(BatchContext& context) {
  Walk(context).Run();
  if (watcher != nullptr) watcher(context);
}

void WatchStatements(StatementWatcher newWatcher) {
  watcher = newWatcher;
}

}  // namespace kel

#endif  // KEL_CHECKED
