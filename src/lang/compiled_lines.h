// Compiled lines: what the run loop and the tokenizer learn about a line of a script text the
// first time it runs, kept so that the next run of the same line does not read it again.
//
// A line is kept by the offset it is read from. Its entry holds the line as the line reader
// gave it, the tokens get_token found in it (keyword codes, decoded numbers and strings, names
// with the slot they were last found in) and, for lines met while a structure skips code, where
// that skip ended the last time. Nothing here changes what a line means: a token is only taken
// from the entry when get_token is asked for a token at the very position it was found before,
// in a line whose text and vocabulary (user-defined functions, extender and host tables, code
// page) are the ones it was compiled with, and every effect of reading it (slots created,
// pointer flags, dereference parking) happens again as when it was first read.
//
// Lines that %name% substitution may change and definition lines are never compiled: they are
// read and preprocessed every time they run.
#ifndef KEL_LANG_COMPILED_LINES_H
#define KEL_LANG_COMPILED_LINES_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/batch_context.h"
#include "core/loader_state.h"
#include "lang/variables.h"

namespace kel {

// One token as get_token found it at a position of a compiled line.
struct CachedToken {
  std::uint16_t start;  // where the token begins, from the line's start
  std::uint16_t end;    // where the scan stands after the token
  std::uint16_t matchedLength;
  std::uint16_t code;
  std::uint8_t kind;
  // Numbers: 0 not decoded yet, 1 the integer, 2 the float (decoded by the evaluator once).
  std::uint8_t numberState;
  std::uint32_t textOffset;  // the token text in the line's pool (zero-terminated)
  std::uint16_t textLength;
  std::uint16_t slotHint;  // variables: the slot the name was last found in
  // The compiled expression that begins with this token: 0 not tried yet, -1 none can be
  // made, otherwise its index in the line's expressions + 1.
  std::int32_t expression;
  // The same for a compiled assignment statement that begins with this token.
  std::int32_t assignment;
  std::int32_t integer;
  double floating;
};

// A node of a compiled expression (compiled_expressions.cpp evaluates them).
enum class NodeKind : std::uint8_t {
  kInteger,
  kFloat,
  kText,      // a string literal: `text` and `length` in the line's pool
  kConstant,  // an @constant: `code` is its row
  kVariable,  // `text` is the name, zero-padded to a slot name; `slotHint` where it was found
  kBinary,    // `code` the operator, `left` and `right` the operands
  kComparison,
  kUnary,  // `code` the prefix operator, `left` the operand
  kCall,   // `code` the function, its name at `text`, `leftNode` the first of `count` arguments
};

struct ExprNode {
  NodeKind kind;
  std::uint16_t code;
  std::uint16_t slotHint;
  std::uint16_t count;
  std::uint32_t left;
  std::uint32_t right;
  // The operands as nodes (a deque's elements stay where they are while others are added).
  ExprNode* leftNode;
  ExprNode* rightNode;
  // The node calls a function somewhere below it: computing it may change any variable.
  bool calls;
  // A binary node whose operands are a variable and a whole-number literal or two variables,
  // with an operator the integer shortcut knows: two whole numbers are computed in place.
  std::uint8_t shape;
  std::uint32_t text;
  std::uint32_t length;
  std::int32_t integer;
  double floating;
  std::uint64_t types;
  // Variables: the slot the name was last read from, checked before use (CachedNameSlot).
  VariableSlot* slotCache = nullptr;
  // Calls: `leftNode` is the first argument, and each argument names the one after it.
  ExprNode* nextArgument = nullptr;
};
// A compiled expression: its root node, and the token that follows it.
struct CompiledExpression {
  std::uint32_t root;
  ExprNode* rootNode;         // the node at `root`, which stays where it is
  std::uint16_t endPosition;  // where the token after the expression begins
  std::uint8_t endKind;       // the kind of that token
  std::uint8_t lastKind;      // the expression's last token, which goes before that one
  std::uint16_t lastCode;
  std::uint16_t endCode;  // the code of the token after the expression
  std::uint16_t endEnd;   // where the scan stands after that token
};

// Where a skip that began at this line ended the last time, for an innermost structure at
// `depth` of `kind` in `state`. `ifState` is the If state the skipped lines left (-2: the one
// they found).
struct CompiledLine;

struct SkipMemo {
  std::uint16_t depth;
  std::uint16_t kind;
  std::uint8_t state;
  std::int8_t ifState;
  // The If state the skip began with. When the skipped lines seemed to leave it alone, the memo
  // holds only for a skip that begins with the same one: a line may have set it to the value it
  // already had.
  std::int8_t ifStateAtStart;
  // The skip passed over Case lines of a whole-number literal that did not match: it holds only
  // for a Switch of the same value (`value`).
  bool byValue;
  std::uint32_t value;
  std::uint32_t target;      // the offset to read next: the line that ended the skip
  CompiledLine* targetLine;  // that line's entry, found without a lookup
};

// A statement "name = expression" whose right side is compiled.
struct CompiledAssignment {
  char name[kNameBytes];  // zero-padded, as a slot name
  std::uint16_t slotHint;
  std::uint32_t expression;                // index in the line's expressions
  const CompiledExpression* expressionAt;  // that expression, which stays where it is
  VariableSlot* slotCache = nullptr;       // the target's slot when last stored, checked before use
};

// What else a line may need besides running its statement.
enum class LineKind : std::uint8_t {
  kBlank,       // empty or a comment: nothing to run
  kStatement,   // runs as it stands: its tokens are kept
  kPreprocess,  // a definition or include line, or one with %: read and preprocessed each time
};

// The vocabulary a line's keyword codes were looked up in.
struct Vocabulary {
  const void* hostKeywords;
  std::uint16_t definitions;
  std::uint16_t extenderRows;
  std::uint32_t codePage;
  bool operator==(const Vocabulary&) const = default;
};

// How a statement of a line runs without the statement runner reading its first word again,
// learnt the second time it runs (the first run records its tokens).
enum class DirectKind : std::uint8_t {
  kUnknown,     // not learnt yet
  kNone,        // through the statement runner every time
  kAssignment,  // "name = expression", compiled: `assignment`
  kStructure,   // a structure statement: `code` its keyword, run by its handler
  // A structure statement whose handler reads nothing but an expression, compiled (`expression`,
  // or none) and beginning after the keyword that ends at `after`.
  kStructureDirect,
};

struct DirectPlan {
  DirectKind kind = DirectKind::kUnknown;
  std::uint16_t at = 0;  // where the statement begins in the line
  std::uint16_t code = 0;
  std::uint16_t after = 0;
  CompiledAssignment* assignment = nullptr;
  const CompiledExpression* expression = nullptr;
  // A Case whose value is a whole-number literal: looking at it changes nothing but the
  // Switch's state, so a skip may pass over it when it does not match.
  bool constantCase = false;
};

struct CompiledLine {
  std::uint32_t lineStart;   // offset of the line's first non-blank character
  std::uint32_t nextOffset;  // where the line after it is read from
  LineKind kind;
  Vocabulary vocabulary;
  std::string text;                    // the line as read, without its line end
  std::vector<std::uint16_t> tokenAt;  // position in the line -> token index + 1 (0: none)
  std::deque<CachedToken> tokens;      // a deque: a token's address stays while tokens are added
  std::string pool;                    // the tokens' texts
  std::vector<SkipMemo> skips;
  // The lines read after this one the last two times, and the offsets they were read from: the
  // loop, the jump and the skip that run again and again find their line without a lookup, even
  // when the line goes on to two places in turn (a Case that matches or not, a loop's end).
  CompiledLine* followers[2] = {nullptr, nullptr};
  std::uint32_t followerOffsets[2] = {0, 0};

  // The line read from `offset` after this one, when it is one of the last two.
  CompiledLine* Follower(std::uint32_t offset) const {
    for (int i = 0; i < 2; ++i)
      if (followers[i] != nullptr && followerOffsets[i] == offset && !followers[i]->retired)
        return followers[i];
    return nullptr;
  }
  void Followed(std::uint32_t offset, CompiledLine* line) {
    followers[1] = followers[0];
    followerOffsets[1] = followerOffsets[0];
    followers[0] = line;
    followerOffsets[0] = offset;
  }
  bool retired = false;  // the text was rewritten: the line is kept only for suspended callers
  // The line's statement, and the statement after its Then or Else.
  DirectPlan direct;
  DirectPlan tail;
  // Compiled expressions and their nodes; deques, since an evaluation suspended in a call may
  // still index them while the line compiles another expression.
  std::deque<CompiledExpression> expressions;
  std::deque<CompiledAssignment> assignments;
  std::deque<ExprNode> nodes;
};

// The compiled lines of one script text.
class LineCache {
 public:
  CompiledLine* Find(std::uint32_t readOffset) {
    // Every run of a text (a function's body above all) begins with its first line.
    if (readOffset == 0) return first_;
    auto found = lines_.find(readOffset);
    return found == lines_.end() ? nullptr : found->second.get();
  }
  CompiledLine* Add(std::uint32_t readOffset, std::uint32_t lineStart, std::uint32_t nextOffset,
                    const char* line);
  // The text was rewritten in place (a cached jump): what was read from it is read again. The
  // entries themselves stay alive until the cache goes, because a suspended caller may still
  // be scanning one of them.
  void Forget();

 private:
  std::unordered_map<std::uint32_t, std::unique_ptr<CompiledLine>> lines_;
  CompiledLine* first_ = nullptr;  // the line read from offset 0
  std::vector<std::unique_ptr<CompiledLine>> retired_;
};

// The line caches of a context: one per function body for as long as the context lives, and one
// for each other text while a run loop reads it.
LineCache* OpenLineCache(BatchContext& context, const ScriptText& text);
void CloseLineCache(BatchContext& context, const ScriptText& text, LineCache* cache);
// The cache of a text that is being run, if any (for forgetting after a rewrite).
LineCache* RunningLineCache(BatchContext& context, const ScriptText& text);
// Frees every cache of the context (at shutdown).
void ReleaseLineCaches(BatchContext& context);

// The vocabulary the context's tokenizer looks words up in now.
inline Vocabulary CurrentVocabulary(const BatchContext& context) {
  return Vocabulary{context.hostKeywords, context.loader.udfCount,
                    context.tokenizer.extenderRowCount, context.codePage};
}

// Forgets what a line learnt in another vocabulary and takes the current one.
void RelearnCompiledLine(BatchContext& context, CompiledLine* line);

// Makes the line the one get_token takes its tokens from while it scans `base` (the line
// buffer holding the line's text); null stops taking tokens from any line. Done twice for every
// statement, so it is inline.
inline void ActivateCompiledLine(BatchContext& context, CompiledLine* line, const char* base) {
  TokenizerState& tokenizer = context.tokenizer;
  tokenizer.compiledLine = line;
  tokenizer.compiledBase = base;
  tokenizer.cachedToken = nullptr;
  // A word read as a variable may name a function defined since, and the reverse.
  if (line != nullptr && !(line->vocabulary == CurrentVocabulary(context)))
    RelearnCompiledLine(context, line);
}

// The tokenizer's side: the token recorded at `position` of the active line, or null.
CachedToken* CompiledTokenAt(BatchContext& context, const char* position);
// Records the token just read (from `start` to the scan position) in the active line.
CachedToken* RecordCompiledToken(BatchContext& context, const char* start);
// The text of a recorded token.
const char* CompiledTokenText(const BatchContext& context, const CachedToken& token);

}  // namespace kel

#endif  // KEL_LANG_COMPILED_LINES_H
