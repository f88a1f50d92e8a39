// Compiling an expression from the tokens a compiled line recorded, and computing it.
#include "lang/compiled_expressions.h"

#include <cstring>

#include "core/batch_context.h"
#include "core/hooks.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/math_error.h"
#include "lang/array_record.h"
#include "lang/compiled_lines.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"
#include "lang/tokenizer.h"
#include "lang/user_functions.h"
#include "lang/variables.h"
#include "lang/whole_numbers.h"
#include "loader/definitions.h"

namespace kel {
namespace {

constexpr std::uint32_t kNoNode = 0xFFFFFFFF;

// ExprNode shapes.
constexpr std::uint8_t kShapeGeneral = 0;
constexpr std::uint8_t kShapeVariableInteger = 1;
constexpr std::uint8_t kShapeVariableVariable = 2;

// The operators IntegerShortcut computes.
bool HasIntegerShortcut(std::uint16_t op) {
  switch (op) {
    case kKeywordPlus:
    case kKeywordMinus:
    case kKeywordAsterisk:
    case kKeywordMod:
    case kKeywordEqual:
    case kKeywordNotEqual:
    case kKeywordLessGreater:
    case kKeywordLess:
    case kKeywordLessEqual:
    case kKeywordGreater:
    case kKeywordGreaterEqual:
      return true;
    default:
      return false;
  }
}
// Parentheses, prefix operators and calls nested deeper than this are left to the evaluator,
// whose own depth limit then gives its error as it always did.
constexpr int kMaxNesting = 48;
constexpr int kMaxArguments = 16;

CompiledLine& ActiveLine(const BatchContext& context) {
  return *static_cast<CompiledLine*>(context.tokenizer.compiledLine);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Reads the recorded tokens of a line as the evaluator read them. A token the line has not
// recorded yet (the part of the line the evaluator never reached) makes the compiling stop for
// now; `retry` then says that it may succeed another time.
class TokenReader {
 public:
  explicit TokenReader(CompiledLine& line) : line_(line) {}

  bool Start(const CachedToken& first) {
    current_ = &first;
    return true;
  }
  const CachedToken& Current() const { return *current_; }
  bool Advance() {
    last_ = current_;
    std::size_t position = current_->end;
    const std::string& text = line_.text;
    while (position < text.size() && IsBlank(text[position]))
      ++position;
    if (position >= line_.tokenAt.size() || line_.tokenAt[position] == 0) {
      retry = true;
      return false;
    }
    current_ = &line_.tokens[line_.tokenAt[position] - 1u];
    return true;
  }
  bool IsKeyword(std::uint16_t code) const {
    return current_->kind == kTokenKeyword && current_->code == code;
  }
  const CachedToken* Last() const { return last_; }
  const char* Text(const CachedToken& token) const { return line_.pool.data() + token.textOffset; }

  bool retry = false;

 private:
  CompiledLine& line_;
  const CachedToken* current_ = nullptr;
  const CachedToken* last_ = nullptr;
};

class Compiler {
 public:
  Compiler(BatchContext& context, CompiledLine& line, TokenReader& reader)
      : context_(context), line_(line), reader_(reader) {}

  std::uint32_t Logical() {
    return Level(&Compiler::Bitwise,
                 [](std::uint16_t c) { return c == kKeywordLogicalAnd || c == kKeywordLogicalOr; });
  }

 private:
  template <typename IsOperator>
  std::uint32_t Level(std::uint32_t (Compiler::*tighter)(), IsOperator isOperator,
                      NodeKind kind = NodeKind::kBinary) {
    std::uint32_t left = (this->*tighter)();
    while (left != kNoNode && reader_.Current().kind == kTokenKeyword &&
           isOperator(reader_.Current().code)) {
      std::uint16_t op = reader_.Current().code;
      if (!reader_.Advance()) return kNoNode;
      std::uint32_t right = (this->*tighter)();
      if (right == kNoNode) return kNoNode;
      ExprNode node{};
      node.kind = kind;
      node.code = op;
      node.left = left;
      node.right = right;
      left = Add(node);
    }
    return left;
  }

  std::uint32_t Bitwise() {
    return Level(&Compiler::Comparison, [](std::uint16_t c) {
      return c == kKeywordAmpersand || c == kKeywordBar || c == kKeywordCaret;
    });
  }
  std::uint32_t Comparison() {
    std::uint32_t node = Level(
        &Compiler::Concat,
        [](std::uint16_t c) {
          return c == kKeywordEqual || c == kKeywordNotEqual || c == kKeywordLessGreater ||
                 c == kKeywordLess || c == kKeywordLessEqual || c == kKeywordGreater ||
                 c == kKeywordGreaterEqual;
        },
        NodeKind::kComparison);
    // "=" after a comparison is an error the evaluator reports.
    if (node != kNoNode && reader_.IsKeyword(kKeywordAssign)) return kNoNode;
    return node;
  }
  std::uint32_t Concat() {
    return Level(&Compiler::Shift, [](std::uint16_t c) { return c == kKeywordColon; });
  }
  std::uint32_t Shift() {
    return Level(&Compiler::Additive,
                 [](std::uint16_t c) { return c == kKeywordShiftLeft || c == kKeywordShiftRight; });
  }
  std::uint32_t Additive() {
    return Level(&Compiler::Multiplicative,
                 [](std::uint16_t c) { return c == kKeywordPlus || c == kKeywordMinus; });
  }
  std::uint32_t Multiplicative() {
    return Level(&Compiler::Power, [](std::uint16_t c) {
      return c == kKeywordAsterisk || c == kKeywordDivide || c == kKeywordMod;
    });
  }
  std::uint32_t Power() {
    return Level(&Compiler::Unary, [](std::uint16_t c) { return c == kKeywordPower; });
  }

  std::uint32_t Unary() {
    if (++nesting_ > kMaxNesting) return kNoNode;
    std::uint32_t node = UnaryBody();
    --nesting_;
    return node;
  }

  std::uint32_t UnaryBody() {
    const CachedToken& token = reader_.Current();
    if (token.kind != kTokenKeyword) return Primary();
    std::uint16_t code = token.code;
    if (code >= kDefinitionCodeBase && code <= kDefinitionCodeLast) return Call();
    const KelKeywordRow* row = TokenRow(context_, code);
    std::uint32_t kind = row ? (row->kind & 0xFF) : 0xFF;
    if (kind == kRowPrefixOperator) {
      // The address and dereference operators depend on the names around them.
      if (code == kKeywordAmpersand || code == kKeywordAsterisk) return kNoNode;
      if (!reader_.Advance()) return kNoNode;
      std::uint32_t operand = Unary();
      if (operand == kNoNode) return kNoNode;
      ExprNode node{};
      node.kind = NodeKind::kUnary;
      node.code = code;
      node.left = operand;
      return Add(node);
    }
    if (kind == kRowFunction) return Call();
    if (kind == kRowNameFunction) return kNoNode;
    return Primary();
  }

  // Built-in functions of the keyword table and user-defined functions, with their arguments
  // in parentheses; a function that reads its own arguments stays with the evaluator.
  std::uint32_t Call() {
    const CachedToken& token = reader_.Current();
    std::uint16_t code = token.code;
    ExprNode node{};
    node.kind = NodeKind::kCall;
    node.code = code;
    int required = 0, optional = 0;
    if (code >= kDefinitionCodeBase && code <= kDefinitionCodeLast) {
      const UdfRecord* record =
          DefinitionRecord(context_, static_cast<std::uint16_t>(code - kDefinitionCodeBase));
      if (record == nullptr) return kNoNode;
      required = record->paramCount;
      node.types = ~std::uint64_t{0};
    } else {
      if (code >= kKeywordCount || code == kObjectReferenceCode) return kNoNode;
      const KelKeywordRow* row = TokenRow(context_, code);
      if (row == nullptr || (row->kind & kRowNotAvailable) != 0) return kNoNode;
      if ((row->argCounts & 0xFF) == kReadsOwnArguments) return kNoNode;
      required = static_cast<int>(row->argCounts & 0xFF);
      optional = static_cast<int>((row->argCounts >> 8) & 0xFF);
      node.types = std::uint64_t{row->argTypesLow} | (std::uint64_t{row->argTypesHigh} << 32);
    }
    if (required + optional > kMaxArguments) return kNoNode;
    // The name as the dispatcher is given it.
    const char* name = reader_.Text(token);
    std::size_t length = strnlen(name, kNameBytes + 3);
    node.text = static_cast<std::uint32_t>(line_.pool.size());
    node.length = static_cast<std::uint32_t>(length);
    line_.pool.append(name, length);
    line_.pool.push_back('\0');
    if (!reader_.Advance() || !reader_.IsKeyword(kKeywordOpenParenthesis)) return kNoNode;
    if (!reader_.Advance()) return kNoNode;
    std::uint32_t arguments[kMaxArguments];
    int count = 0;
    for (int n = 1; n <= required + optional; ++n) {
      if (reader_.IsKeyword(kKeywordCloseParenthesis) && n > required) break;
      if (n > 1 && !reader_.Advance()) return kNoNode;
      std::uint32_t argument = Argument();
      if (argument == kNoNode) return kNoNode;
      arguments[count++] = argument;
      if (n < required && !reader_.IsKeyword(kKeywordComma)) return kNoNode;
      if (!reader_.IsKeyword(kKeywordComma)) break;
    }
    if (!reader_.IsKeyword(kKeywordCloseParenthesis) || count < required) return kNoNode;
    if (!reader_.Advance()) return kNoNode;
    node.count = static_cast<std::uint16_t>(count);
    for (int i = 0; i + 1 < count; ++i)
      line_.nodes[arguments[i]].nextArgument = &line_.nodes[arguments[i + 1]];
    std::uint32_t call = Add(node);
    if (count > 0) line_.nodes[call].leftNode = &line_.nodes[arguments[0]];
    return call;
  }

  // An argument or a parenthesised expression is a statement of its own to the evaluator, in
  // which "name =" would be an assignment it refuses.
  std::uint32_t Argument() {
    if (reader_.Current().kind == kTokenKeyword && reader_.Current().code == kObjectReferenceCode)
      return kNoNode;
    std::uint32_t node = Logical();
    if (node != kNoNode && reader_.IsKeyword(kKeywordAssign)) return kNoNode;
    return node;
  }

  std::uint32_t Primary() {
    const CachedToken& token = reader_.Current();
    ExprNode node{};
    switch (token.kind) {
      case kTokenKeyword: {
        if (token.code == kKeywordOpenParenthesis) {
          if (!reader_.Advance()) return kNoNode;
          std::uint32_t inner = Argument();
          if (inner == kNoNode || !reader_.IsKeyword(kKeywordCloseParenthesis)) return kNoNode;
          if (!reader_.Advance()) return kNoNode;
          return inner;
        }
        if (token.code >= kKeywordCount) return kNoNode;
        const KelKeywordRow* row = TokenRow(context_, token.code);
        if (row == nullptr || (row->kind & 0xFF) != kRowConstant) return kNoNode;
        node.kind = NodeKind::kConstant;
        node.code = token.code;
        break;
      }
      case kTokenVariable: {
        node.kind = NodeKind::kVariable;
        node.slotHint = token.slotHint;
        node.text = static_cast<std::uint32_t>(line_.pool.size());
        char name[kNameBytes] = {};
        std::memcpy(name, reader_.Text(token), strnlen(reader_.Text(token), kNameBytes - 1));
        line_.pool.append(name, kNameBytes);
        break;
      }
      case kTokenInteger:
        node.kind = NodeKind::kInteger;
        node.integer = ParseInteger(reader_.Text(token));
        break;
      case kTokenFloat:
        // A float literal is decoded by the evaluator the first time it runs (the decoding may
        // fail with an error of its own).
        if (token.numberState != 2) {
          reader_.retry = true;
          return kNoNode;
        }
        node.kind = NodeKind::kFloat;
        node.floating = token.floating;
        break;
      case kTokenString:
        node.kind = NodeKind::kText;
        node.text = token.textOffset;
        node.length = token.textLength;
        break;
      default:
        return kNoNode;
    }
    if (!reader_.Advance()) return kNoNode;
    return Add(node);
  }

  std::uint32_t Add(ExprNode node) {
    node.leftNode = nullptr;
    node.rightNode = nullptr;
    node.calls = node.kind == NodeKind::kCall;
    if (node.kind == NodeKind::kBinary || node.kind == NodeKind::kComparison ||
        node.kind == NodeKind::kUnary) {
      node.leftNode = &line_.nodes[node.left];
      node.calls = node.leftNode->calls;
    }
    node.shape = kShapeGeneral;
    if (node.kind == NodeKind::kBinary || node.kind == NodeKind::kComparison) {
      node.rightNode = &line_.nodes[node.right];
      node.calls = node.calls || node.rightNode->calls;
      if (node.leftNode->kind == NodeKind::kVariable && HasIntegerShortcut(node.code)) {
        if (node.rightNode->kind == NodeKind::kInteger) node.shape = kShapeVariableInteger;
        if (node.rightNode->kind == NodeKind::kVariable) node.shape = kShapeVariableVariable;
      }
    }
    line_.nodes.push_back(node);
    return static_cast<std::uint32_t>(line_.nodes.size() - 1);
  }

  BatchContext& context_;
  CompiledLine& line_;
  TokenReader& reader_;
  int nesting_ = 0;
};

// What may follow an expression where the statement runner and the evaluator call for one.
bool EndsExpression(const CachedToken& token) {
  if (token.kind == kTokenEnd) return true;
  if (token.kind != kTokenKeyword) return false;
  switch (token.code) {
    case kKeywordThen:
    case kKeywordTo:
    case kKeywordBy:
    case kKeywordComma:
    case kKeywordCloseParenthesis:
      return true;
    default:
      return false;
  }
}

// Compiles the expression that begins with `first`: its index + 1, -1 when it cannot be
// compiled, 0 when it may be compiled once more of the line has been read.
std::int32_t Compile(BatchContext& context, CompiledLine& line, const CachedToken& first) {
  TokenReader reader(line);
  reader.Start(first);
  Compiler compiler(context, line, reader);
  std::uint32_t root = compiler.Logical();
  if (root == kNoNode) return reader.retry ? 0 : -1;
  const CachedToken& end = reader.Current();
  if (!EndsExpression(end) || reader.Last() == nullptr) return -1;
  CompiledExpression expression{};
  expression.root = root;
  expression.rootNode = &line.nodes[root];
  expression.endPosition = end.start;
  expression.endKind = end.kind;
  expression.lastKind = reader.Last()->kind;
  expression.lastCode = reader.Last()->code;
  expression.endCode = end.code;
  expression.endEnd = end.end;
  line.expressions.push_back(expression);
  return static_cast<std::int32_t>(line.expressions.size());
}

// "name = expression" with nothing after the expression.
std::int32_t CompileAssignment(BatchContext& context, CompiledLine& line,
                               const CachedToken& first) {
  if (first.kind != kTokenVariable) return -1;
  TokenReader reader(line);
  reader.Start(first);
  if (!reader.Advance()) return 0;
  if (!reader.IsKeyword(kKeywordAssign)) return -1;
  if (!reader.Advance()) return 0;
  CachedToken& right = line.tokens[line.tokenAt[reader.Current().start] - 1u];
  if (right.expression == 0) right.expression = Compile(context, line, right);
  if (right.expression <= 0) return right.expression;
  if (line.expressions[static_cast<std::size_t>(right.expression - 1)].endKind != kTokenEnd)
    return -1;
  CompiledAssignment assignment{};
  const char* name = line.pool.data() + first.textOffset;
  std::memcpy(assignment.name, name, strnlen(name, kNameBytes - 1));
  assignment.slotHint = first.slotHint;
  assignment.expression = static_cast<std::uint32_t>(right.expression - 1);
  assignment.expressionAt = &line.expressions[assignment.expression];
  line.assignments.push_back(assignment);
  return static_cast<std::int32_t>(line.assignments.size());
}

// The slot of a variable node's name, remembered in the node. The name gets its slot when the
// expression reaches it, as when the tokenizer reads it: made without a value when the table
// has none. The slot it was read from last time is taken again while it still holds the name.
VariableSlot* VariableNodeSlotAt(BatchContext& context, ExprNode& node) {
  const char* name = ActiveLine(context).pool.data() + node.text;
  if (VariableSlot* cached = CachedNameSlot(context, node.slotCache, name)) return cached;
  std::uint16_t slot = NameSlot(context, context.varSlots, context.varCount, name, node.slotHint);
  if (slot == kNoSlot) return nullptr;
  node.slotHint = slot;
  node.slotCache = &context.varSlots[slot];
  return node.slotCache;
}

void ReadVariableNode(BatchContext& context, ExprNode& node, EvalValue& result) {
  VariableSlot* at = VariableNodeSlotAt(context, node);
  if (at == nullptr) return;
  auto slot = static_cast<std::uint16_t>(at - context.varSlots);
  const char* name = ActiveLine(context).pool.data() + node.text;
  // A name without a value is reported as the evaluator reports it.
  if ((context.varSlots[slot].value.flags & kValueHolding) == 0)
    slot = FindVariable(context, name, slot, true);
  if (slot == kNoSlot) return;
  BorrowVariable(context, context.varSlots[slot].value, slot, context.currentFrame, result);
}

void EvaluateAt(BatchContext& context, ExprNode& node, EvalValue& result);

// Makes the values that borrow a variable's text own a copy of it. False (with the error) when
// there is no memory for a copy.
bool OwnBorrowedTexts(BatchContext& context, EvalValue* values, int count) {
  for (int i = 0; i < count; ++i)
    if ((values[i].borrowed & (kValueText | kValueWideText)) != 0 && !OwnEval(context, values[i]))
      return false;
  return true;
}

void CallNode(BatchContext& context, const ExprNode& node, EvalValue& result) {
  if (node.code >= kDefinitionCodeBase &&
      DefinitionRecord(context, static_cast<std::uint16_t>(node.code - kDefinitionCodeBase)) ==
          nullptr)
    return SetError(context, kErrUndefinedVariable);
  EvalValue arguments[kMaxArguments];
  // An array passed in is held from the moment its argument is evaluated: a later argument (or
  // the function itself) may drop or reshape the variable it came from.
  bool held[kMaxArguments];
  int evaluated = 0;
  ExprNode* argumentAt = node.leftNode;
  for (; evaluated < node.count; ++evaluated, argumentAt = argumentAt->nextArgument) {
    ResetEval(arguments[evaluated]);
    ExprNode& argumentNode = *argumentAt;
    // A later argument that calls a function may drop or change a variable whose text an
    // earlier argument borrows: the earlier ones take copies of their own first.
    if (argumentNode.calls && !OwnBorrowedTexts(context, arguments, evaluated)) break;
    EvaluateAt(context, argumentNode, arguments[evaluated]);
    held[evaluated] = (arguments[evaluated].value.flags & kValueArray) != 0;
    if (held[evaluated])
      AddArrayHolder(reinterpret_cast<ArrayRecord*>(arguments[evaluated].value.textRef));
    if (HasError(context)) {
      ++evaluated;
      break;
    }
  }
  if (!HasError(context)) {
    // Only an element of an object reference reads the name, after its subscripts, whose calls
    // may add to the line's texts: it gets a copy. The others are handed the line's own.
    char copy[kNameBytes + 4];
    const char* name = ActiveLine(context).pool.data() + node.text;
    if (node.code == kObjectReferenceCode) {
      std::memcpy(copy, name, node.length + 1);
      name = copy;
    }
    // A user-defined function takes its arguments as they are: it is called here, without the
    // dispatcher's conversions.
    if (node.code >= kDefinitionCodeBase && node.code <= kDefinitionCodeLast)
      CallDefinition(context, static_cast<std::uint16_t>(node.code - kDefinitionCodeBase), result,
                     arguments, node.count);
    else
      Hooks().callBuiltin(context, name, false, node.code, result, arguments, false, node.count,
                          node.types);
  }
  for (int i = 0; i < evaluated; ++i) {
    if (held[i])
      ReleaseArrayHolder(context, reinterpret_cast<ArrayRecord*>(arguments[i].value.textRef));
    DiscardEval(context, arguments[i]);
  }
}

// `x op right` on two plain integers: the sums, differences, products and comparisons that
// loops compute all the time, with the operators' own results (32-bit wrap-around, 1 or 0).
// False for any operator HasIntegerShortcut does not name.
[[gnu::always_inline]] inline bool IntegerOperation(BatchContext& context, std::uint16_t op,
                                                    std::int32_t x, std::int32_t right,
                                                    std::int32_t& out) {
  const auto a = static_cast<std::uint32_t>(x);
  const auto b = static_cast<std::uint32_t>(right);
  switch (op) {
    case kKeywordPlus:
      out = WrapWholeNumber(a + b);
      break;
    case kKeywordMinus:
      out = WrapWholeNumber(a - b);
      break;
    case kKeywordAsterisk:
      out = WrapWholeNumber(a * b);
      break;
    case kKeywordMod:
      // Division by zero is left to the operator, which reports it.
      if (right == 0) return false;
      out = WholeNumberRemainder(x, right);
      break;
    case kKeywordEqual:
      out = x == right ? 1 : 0;
      break;
    case kKeywordNotEqual:
    case kKeywordLessGreater:
      out = x != right ? 1 : 0;
      break;
    case kKeywordLess:
      out = x < right ? 1 : 0;
      break;
    case kKeywordLessEqual:
      out = x <= right ? 1 : 0;
      break;
    case kKeywordGreater:
      out = x > right ? 1 : 0;
      break;
    case kKeywordGreaterEqual:
      out = x >= right ? 1 : 0;
      break;
    default:
      return false;
  }
  // The arithmetic routines hand over whatever the math-error slot holds after each operation.
  if (op == kKeywordPlus || op == kKeywordMinus || op == kKeywordAsterisk || op == kKeywordMod)
    TakeMathError(context);
  return true;
}

// An operation's whole-number result in `value`, a value of its own that comes from no variable.
void TakeResult(EvalValue& value, std::int32_t number) {
  value.value.intValue = number;
  value.originElement = 0;
  value.originSlot = kOriginNone;
  value.originFrame = kOriginNone;
  value.borrowed = 0;
}

// IntegerOperation on an operand value, which takes the result.
bool IntegerShortcut(BatchContext& context, std::uint16_t op, EvalValue& left, std::int32_t right) {
  std::int32_t out;
  if (!IntegerOperation(context, op, left.value.intValue, right, out)) return false;
  TakeResult(left, out);
  return true;
}

// The value of a variable node's slot, found as reading it finds it, when it holds a whole
// number and nothing else; null otherwise.
const Value* WholeNumberVariable(BatchContext& context, ExprNode& node) {
  VariableSlot* slot = VariableNodeSlotAt(context, node);
  if (slot == nullptr) return nullptr;
  return slot->value.flags == kValueInteger ? &slot->value : nullptr;
}

// "variable op number" and "variable op variable" on whole numbers: the left variable's value
// and the result of the operation. False, having only found the operands' slots (as reading
// them does), when an operand is anything else; the node is then computed the general way.
[[gnu::always_inline]] inline bool WholeNumbers(BatchContext& context, ExprNode& node,
                                                const Value*& left, std::int32_t& out) {
  left = WholeNumberVariable(context, *node.leftNode);
  if (left == nullptr) return false;
  std::int32_t right;
  if (node.shape == kShapeVariableInteger) {
    right = node.rightNode->integer;
  } else {
    const Value* variable = WholeNumberVariable(context, *node.rightNode);
    if (variable == nullptr) return false;
    right = variable->intValue;
  }
  return IntegerOperation(context, node.code, left->intValue, right, out);
}

// WholeNumbers leaving what reading the operands and the integer shortcut would leave: the left
// variable's value with the result in place of its number.
bool WholeNumbersInPlace(BatchContext& context, ExprNode& node, EvalValue& result) {
  const Value* left;
  std::int32_t out;
  if (!WholeNumbers(context, node, left, out)) return false;
  std::memcpy(&result.value, left, sizeof(Value));
  TakeResult(result, out);
  return true;
}

}  // namespace

const CompiledExpression* CurrentCompiledExpression(BatchContext& context) {
  TokenizerState& tokenizer = context.tokenizer;
  auto* token = static_cast<CachedToken*>(tokenizer.cachedToken);
  // The current token must be the one compiled (a statement that put a name back restores it
  // by hand).
  if (token == nullptr || tokenizer.compiledLine == nullptr ||
      tokenizer.tokenStart != tokenizer.compiledBase + token->start)
    return nullptr;
  CompiledLine& line = ActiveLine(context);
  if (token->expression == 0) token->expression = Compile(context, line, *token);
  if (token->expression <= 0) return nullptr;
  return &line.expressions[static_cast<std::size_t>(token->expression - 1)];
}

std::int32_t CompiledExpressionAt(BatchContext& context, CompiledLine& line, std::size_t position) {
  const std::string& text = line.text;
  while (position < text.size() && IsBlank(text[position]))
    ++position;
  if (position >= line.tokenAt.size() || line.tokenAt[position] == 0) return 0;
  CachedToken& token = line.tokens[line.tokenAt[position] - 1u];
  if (token.expression == 0) token.expression = Compile(context, line, token);
  return token.expression;
}

namespace {
// The recorded token that begins at `position` of the line or after the blanks there.
const CachedToken* TokenFrom(const CompiledLine& line, std::size_t position) {
  while (position < line.text.size() && IsBlank(line.text[position]))
    ++position;
  if (position >= line.tokenAt.size() || line.tokenAt[position] == 0) return nullptr;
  return &line.tokens[line.tokenAt[position] - 1u];
}

bool IsKeywordToken(const CachedToken* token, std::uint16_t code) {
  return token != nullptr && token->kind == kTokenKeyword && token->code == code;
}
}  // namespace

int StrCatAppendedPieces(BatchContext& context, const char* name, const CompiledExpression** pieces,
                         int most, std::uint16_t& endPosition) {
  TokenizerState& tokenizer = context.tokenizer;
  if (tokenizer.compiledLine == nullptr || tokenizer.tokenStart == nullptr) return 0;
  CompiledLine& line = ActiveLine(context);
  const CachedToken* call = TokenFrom(line, tokenizer.tokenStart - tokenizer.compiledBase);
  if (!IsKeywordToken(call, kKeywordStrCat)) return 0;
  const CachedToken* open = TokenFrom(line, call->end);
  if (!IsKeywordToken(open, kKeywordOpenParenthesis)) return 0;
  const CachedToken* first = TokenFrom(line, open->end);
  if (first == nullptr || first->kind != kTokenVariable ||
      std::strcmp(line.pool.data() + first->textOffset, name) != 0)
    return 0;
  const CachedToken* separator = TokenFrom(line, first->end);
  int count = 0;
  while (IsKeywordToken(separator, kKeywordComma)) {
    if (count == most) return 0;
    std::int32_t index = CompiledExpressionAt(context, line, separator->end);
    if (index <= 0) return 0;
    const CompiledExpression& piece = line.expressions[static_cast<std::size_t>(index - 1)];
    if (piece.endKind != kTokenKeyword || line.nodes[piece.root].calls) return 0;
    pieces[count++] = &piece;
    separator = TokenFrom(line, piece.endPosition);
  }
  if (count == 0 || !IsKeywordToken(separator, kKeywordCloseParenthesis)) return 0;
  const CachedToken* end = TokenFrom(line, separator->end);
  if (end == nullptr || end->kind != kTokenEnd) return 0;
  endPosition = end->start;
  return count;
}

CompiledAssignment* CompiledAssignmentAt(BatchContext& context, const char* position) {
  CachedToken* token = CompiledTokenAt(context, position);
  if (token == nullptr) return nullptr;
  CompiledLine& line = ActiveLine(context);
  if (token->assignment == 0) token->assignment = CompileAssignment(context, line, *token);
  if (token->assignment <= 0) return nullptr;
  return &line.assignments[static_cast<std::size_t>(token->assignment - 1)];
}

const CompiledExpression* AssignmentExpression(const BatchContext&,
                                               const CompiledAssignment& assignment) {
  return assignment.expressionAt;
}

namespace {

// The cases that do more than fill in a number are functions of their own, so that the
// dispatch the leaves go through stays small.
[[gnu::noinline]] void EvaluateText(BatchContext& context, const ExprNode& node,
                                    EvalValue& result) {
  std::uint32_t offset =
      HeapCopyText(context, ActiveLine(context).pool.data() + node.text, node.length);
  if (offset == 0) return SetError(context, kErrOutOfStringMemory);
  result.value.flags = kValueText;
  result.value.textRef = offset;
}

[[gnu::noinline]] void EvaluateOperator(BatchContext& context, ExprNode& node, EvalValue& result) {
  if (node.shape != kShapeGeneral && WholeNumbersInPlace(context, node, result)) return;
  const std::uint16_t op = node.code;
  const bool comparison = node.kind == NodeKind::kComparison;
  EvaluateAt(context, *node.leftNode, result);
  if (HasError(context)) return;
  if (node.rightNode->calls && !OwnBorrowedTexts(context, &result, 1)) return;
  EvalValue operand;
  ResetEval(operand);
  EvaluateAt(context, *node.rightNode, operand);
  if (!HasError(context) && result.value.flags == kValueInteger &&
      operand.value.flags == kValueInteger &&
      IntegerShortcut(context, op, result, operand.value.intValue))
    return;
  if (!HasError(context)) ApplyOperator(context, op, comparison, result, operand);
  DiscardEval(context, operand);
}

[[gnu::noinline]] void EvaluateUnary(BatchContext& context, ExprNode& node, EvalValue& result) {
  const std::uint16_t op = node.code;
  EvaluateAt(context, *node.leftNode, result);
  if (!HasError(context)) ApplyUnaryOp(context, op, result);
}

void EvaluateAt(BatchContext& context, ExprNode& node, EvalValue& result) {
  switch (node.kind) {
    case NodeKind::kInteger:
      result.value.flags = kValueInteger;
      result.value.intValue = node.integer;
      return;
    case NodeKind::kFloat:
      result.value.flags = kValueFloat;
      result.value.floatValue = node.floating;
      return;
    case NodeKind::kText:
      return EvaluateText(context, node, result);
    case NodeKind::kConstant:
      return ConstantValue(context, *KeywordRow(node.code), result);
    case NodeKind::kVariable:
      return ReadVariableNode(context, node, result);
    case NodeKind::kBinary:
    case NodeKind::kComparison:
      return EvaluateOperator(context, node, result);
    case NodeKind::kUnary:
      return EvaluateUnary(context, node, result);
    case NodeKind::kCall:
      return CallNode(context, node, result);
  }
}

}  // namespace

void EvaluateNode(BatchContext& context, std::uint32_t index, EvalValue& result) {
  EvaluateAt(context, ActiveLine(context).nodes[index], result);
}

void EvaluateNode(BatchContext& context, ExprNode& node, EvalValue& result) {
  EvaluateAt(context, node, result);
}

bool StoreWholeNumberExpression(BatchContext& context, ExprNode& node, Value& target) {
  const Value* left;
  std::int32_t out;
  if (node.shape == kShapeGeneral || !WholeNumbers(context, node, left, out)) return false;
  // An error the operation handed over leaves the target as it was.
  if (HasError(context)) return true;
  // The target takes the left operand's value with the result as its number (its own spare
  // field stays); copied before the number is written, so no fresh narrow store is read wide.
  const std::uint32_t keep = target.unused;
  if (left != &target) std::memcpy(&target, left, sizeof(Value));
  target.intValue = out;
  target.unused = keep;
  return true;
}

void FinishCompiledExpression(BatchContext& context, const CompiledExpression& expression) {
  TokenizerState& tokenizer = context.tokenizer;
  // The expression's last token goes before the one read now, as when the evaluator read them.
  tokenizer.tokenKind = expression.lastKind;
  tokenizer.tokenCode = expression.lastCode;
  tokenizer.putBack = 0;
  tokenizer.scan = tokenizer.compiledBase + expression.endPosition;
  get_token(context);
}

void EvaluateCompiledExpression(BatchContext& context, const CompiledExpression& expression,
                                EvalValue& result) {
  // A call inside may run other lines; the expression belongs to this one.
  void* line = context.tokenizer.compiledLine;
  const char* base = context.tokenizer.compiledBase;
  EvaluateAt(context, *expression.rootNode, result);
  if (HasError(context)) return;
  context.tokenizer.compiledLine = line;
  context.tokenizer.compiledBase = base;
  FinishCompiledExpression(context, expression);
}

namespace {
// A call may change any variable, the one being appended to among them.
bool CallsAnything(const CompiledLine& line, std::uint32_t index) {
  const ExprNode& node = line.nodes[index];
  switch (node.kind) {
    case NodeKind::kCall:
      return true;
    case NodeKind::kBinary:
    case NodeKind::kComparison:
      return CallsAnything(line, node.left) || CallsAnything(line, node.right);
    case NodeKind::kUnary:
      return CallsAnything(line, node.left);
    default:
      return false;
  }
}
}  // namespace

namespace {

// The token after a compiled expression (the end of the statement or a keyword) becomes the
// current one, as reading the expression's tokens would leave it.
void StandAfter(TokenizerState& tokenizer, const CompiledExpression& expression, const char* base) {
  tokenizer.previousKind = expression.lastKind;
  tokenizer.previousCode = expression.lastCode;
  tokenizer.putBack = 0;
  tokenizer.tokenKind = expression.endKind;
  tokenizer.tokenCode = expression.endCode;
  tokenizer.tokenStart = base + expression.endPosition;
  tokenizer.scan = base + expression.endEnd;
  tokenizer.cachedToken = nullptr;
  tokenizer.tokenSlot = kNoSlot;
  tokenizer.pendingPointer = 0;
  tokenizer.derefPending = 0;
}

}  // namespace

bool EvaluateWholeNumberAhead(BatchContext& context, std::int32_t& number) {
  TokenizerState& tokenizer = context.tokenizer;
  if (tokenizer.directExpression == nullptr) return false;
  const auto& expression = *static_cast<const CompiledExpression*>(tokenizer.directExpression);
  ExprNode& node = *expression.rootNode;
  if (node.shape != kShapeGeneral) {
    const Value* left;
    if (!WholeNumbers(context, node, left, number)) return false;
  } else if (node.kind == NodeKind::kInteger) {
    number = node.integer;
  } else if (node.kind == NodeKind::kVariable) {
    const Value* value = WholeNumberVariable(context, node);
    if (value == nullptr) return false;
    number = value->intValue;
  } else {
    return false;
  }
  tokenizer.directExpression = nullptr;
  ++context.evaluator.evaluations;
  if (!HasError(context)) StandAfter(tokenizer, expression, tokenizer.compiledBase);
  return true;
}

bool EvaluateCompiledAhead(BatchContext& context, EvalValue& result) {
  TokenizerState& tokenizer = context.tokenizer;
  if (tokenizer.directExpression != nullptr) {
    const auto& expression = *static_cast<const CompiledExpression*>(tokenizer.directExpression);
    tokenizer.directExpression = nullptr;
    ++context.evaluator.evaluations;
    void* line = tokenizer.compiledLine;
    const char* base = tokenizer.compiledBase;
    EvaluateAt(context, *expression.rootNode, result);
    if (HasError(context)) return true;
    tokenizer.compiledLine = line;
    tokenizer.compiledBase = base;
    StandAfter(tokenizer, expression, base);
    return true;
  }
  if (tokenizer.compiledLine == nullptr || tokenizer.scan == nullptr ||
      tokenizer.persistentName != 0 || tokenizer.derefPending != 0 || tokenizer.pendingPointer != 0)
    return false;
  const char* position = tokenizer.scan;
  while (IsBlank(*position))
    ++position;
  const CachedToken* token = CompiledTokenAt(context, position);
  if (token == nullptr || token->expression <= 0) return false;
  ++context.evaluator.evaluations;
  EvaluateCompiledExpression(
      context, ActiveLine(context).expressions[static_cast<std::size_t>(token->expression - 1)],
      result);
  return true;
}

bool AppendedPiece(const BatchContext& context, const CompiledExpression& expression,
                   const char* name, std::uint32_t& piece) {
  const CompiledLine& line = ActiveLine(context);
  const ExprNode& root = line.nodes[expression.root];
  if (root.kind != NodeKind::kBinary || root.code != kKeywordColon) return false;
  const ExprNode& left = line.nodes[root.left];
  if (left.kind != NodeKind::kVariable || std::strcmp(line.pool.data() + left.text, name) != 0)
    return false;
  piece = root.right;
  return !CallsAnything(line, piece);
}

}  // namespace kel
