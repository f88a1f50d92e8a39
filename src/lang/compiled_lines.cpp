// The compiled lines of the texts a context runs.
#include "lang/compiled_lines.h"

#include <cstring>

#include "core/batch_context.h"

namespace kel {
namespace {

// Transient texts (the host's text, called scripts) are kept while a run loop reads them; a
// text read by nested run loops (a handler run inside the loop) is shared by a count.
struct RunningText {
  const std::uint8_t* bytes;
  int users;
  std::unique_ptr<LineCache> cache;
};

struct LineCaches {
  std::vector<std::unique_ptr<LineCache>> bodies;  // by definition index
  std::vector<RunningText> running;
};

LineCaches& Caches(BatchContext& context) {
  if (context.lineCaches == nullptr) context.lineCaches = new LineCaches();
  return *static_cast<LineCaches*>(context.lineCaches);
}

CompiledLine* ActiveLine(const BatchContext& context) {
  return static_cast<CompiledLine*>(context.tokenizer.compiledLine);
}

// Index of `position` in the active line, or -1 when the tokenizer scans something else.
std::ptrdiff_t PositionInLine(const BatchContext& context, const char* position) {
  const CompiledLine* line = ActiveLine(context);
  if (line == nullptr) return -1;
  auto at = reinterpret_cast<std::uintptr_t>(position);
  auto base = reinterpret_cast<std::uintptr_t>(context.tokenizer.compiledBase);
  if (at < base || at - base > line->text.size()) return -1;
  return static_cast<std::ptrdiff_t>(at - base);
}

bool IsBlankLine(const char* line) {
  return line[0] == '\0' || line[0] == ';';
}

}  // namespace

CompiledLine* LineCache::Add(std::uint32_t readOffset, std::uint32_t lineStart,
                             std::uint32_t nextOffset, const char* line) {
  auto entry = std::make_unique<CompiledLine>();
  entry->lineStart = lineStart;
  entry->nextOffset = nextOffset;
  entry->text = line;
  if (IsBlankLine(line))
    entry->kind = LineKind::kBlank;
  else if (line[0] == '#' || std::strchr(line, '%') != nullptr)
    entry->kind = LineKind::kPreprocess;
  else
    entry->kind = LineKind::kStatement;
  CompiledLine* added = entry.get();
  auto& slot = lines_[readOffset];
  if (slot) {
    slot->retired = true;
    retired_.push_back(std::move(slot));
  }
  slot = std::move(entry);
  if (readOffset == 0) first_ = added;
  return added;
}

void LineCache::Forget() {
  for (auto& [offset, line] : lines_) {
    line->retired = true;
    retired_.push_back(std::move(line));
  }
  lines_.clear();
  first_ = nullptr;
}

LineCache* OpenLineCache(BatchContext& context, const ScriptText& text) {
  LineCaches& caches = Caches(context);
  if (text.bodyOf != 0) {
    std::size_t index = text.bodyOf - 1u;
    if (caches.bodies.size() <= index) caches.bodies.resize(index + 1);
    if (!caches.bodies[index]) caches.bodies[index] = std::make_unique<LineCache>();
    return caches.bodies[index].get();
  }
  for (RunningText& running : caches.running) {
    if (running.bytes == text.bytes) {
      ++running.users;
      return running.cache.get();
    }
  }
  caches.running.push_back(RunningText{text.bytes, 1, std::make_unique<LineCache>()});
  return caches.running.back().cache.get();
}

void CloseLineCache(BatchContext& context, const ScriptText& text, LineCache* cache) {
  if (text.bodyOf != 0 || cache == nullptr) return;
  LineCaches& caches = Caches(context);
  for (auto running = caches.running.begin(); running != caches.running.end(); ++running) {
    if (running->cache.get() != cache) continue;
    if (--running->users == 0) caches.running.erase(running);
    return;
  }
}

LineCache* RunningLineCache(BatchContext& context, const ScriptText& text) {
  if (context.lineCaches == nullptr) return nullptr;
  LineCaches& caches = Caches(context);
  if (text.bodyOf != 0) {
    std::size_t index = text.bodyOf - 1u;
    return index < caches.bodies.size() ? caches.bodies[index].get() : nullptr;
  }
  for (RunningText& running : caches.running)
    if (running.bytes == text.bytes) return running.cache.get();
  return nullptr;
}

void ReleaseLineCaches(BatchContext& context) {
  delete static_cast<LineCaches*>(context.lineCaches);
  context.lineCaches = nullptr;
  context.tokenizer.compiledLine = nullptr;
  context.tokenizer.cachedToken = nullptr;
}

void RelearnCompiledLine(BatchContext& context, CompiledLine* line) {
  // The old tokens stay allocated: a caller suspended in this same line may still hold one.
  line->vocabulary = CurrentVocabulary(context);
  line->tokenAt.clear();
  line->direct = DirectPlan{};
  line->tail = DirectPlan{};
}

CachedToken* CompiledTokenAt(BatchContext& context, const char* position) {
  std::ptrdiff_t at = PositionInLine(context, position);
  if (at < 0) return nullptr;
  CompiledLine* line = ActiveLine(context);
  if (static_cast<std::size_t>(at) >= line->tokenAt.size()) return nullptr;
  std::uint16_t index = line->tokenAt[static_cast<std::size_t>(at)];
  return index == 0 ? nullptr : &line->tokens[index - 1u];
}

CachedToken* RecordCompiledToken(BatchContext& context, const char* start) {
  TokenizerState& tokenizer = context.tokenizer;
  std::ptrdiff_t at = PositionInLine(context, start);
  std::ptrdiff_t end = PositionInLine(context, tokenizer.scan);
  if (at < 0 || end < at) return nullptr;
  CompiledLine* line = ActiveLine(context);
  if (line->tokenAt.empty()) line->tokenAt.assign(line->text.size() + 1, 0);
  if (line->tokens.size() >= 0xFFFE) return nullptr;
  std::size_t length = std::strlen(tokenizer.tokenText);
  CachedToken token{};
  token.start = static_cast<std::uint16_t>(at);
  token.end = static_cast<std::uint16_t>(end);
  token.matchedLength = tokenizer.matchedLength;
  token.code = tokenizer.tokenCode;
  token.kind = tokenizer.tokenKind;
  token.textOffset = static_cast<std::uint32_t>(line->pool.size());
  token.textLength = static_cast<std::uint16_t>(length);
  token.slotHint = tokenizer.tokenSlot;
  line->pool.append(tokenizer.tokenText, length + 1);
  line->tokens.push_back(token);
  line->tokenAt[static_cast<std::size_t>(at)] = static_cast<std::uint16_t>(line->tokens.size());
  return &line->tokens.back();
}

const char* CompiledTokenText(const BatchContext& context, const CachedToken& token) {
  return ActiveLine(context)->pool.data() + token.textOffset;
}

}  // namespace kel
