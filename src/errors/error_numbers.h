// Named error numbers for the errors the engine's own code raises. The texts are in the
// message catalogue under the same numbers.
#ifndef KEL_ERRORS_ERROR_NUMBERS_H
#define KEL_ERRORS_ERROR_NUMBERS_H

#include <cstdint>

namespace kel {

enum ErrorNumber : std::uint32_t {
  kErrExtenderMinor = 1213,  // Cmd Extender: Minor error occurred
  kErrMathDomain = 1341,     // FP Math: Argument to function outside domain of function
  kErrFloatTooLarge = 1342,  // FP Math: Result is too large to be represented
  kErrMathPartialLoss = 1343,
  kErrMathSingularity = 1344,
  kErrMathTotalLoss = 1345,
  kErrMathUndocumented = 1347,
  kErrUnableToAllocate = 1588,    // Unable to allocate or lock memory
  kErrFloatNan = 1599,            // FP Math: Function returned invalid floating point number
  kErrErrorEventSeverity = 1666,  // ErrorEvent: Invalid 'severity'
  kErrErrorEventCode = 1667,      // ErrorEvent: Invalid error code
  kErrUserMinor = 1668,           // Minor user-defined error
  kErrDefinitionMemory = 1733,    // Unable to allocate or lock memory for user-defined function ...
  kErrExtenderModerate = 2214,
  kErrUserModerate = 2669,
  kErrSubstitutionNameTooLong = 3047,  // Variable name over 30 chars. Too Long
  kErrSubstitutionUnclosed = 3048,     // Substitution %Variable% not followed by a % ...
  kErrUndefinedVariable = 3051,        // Undefined variable or function
  kErrUninitializedVariable = 3052,
  kErrStringTooLong = 3053,        // Character string too long (>2048 chars??)
  kErrUnrecognizableItem = 3054,   // Unrecognizable item found on line
  kErrVariableNameTooLong = 3055,  // Variable name over 30 chars. Too Long
  kErrNotString = 3056,
  kErrNotNumber = 3057,
  kErrOutOfStringMemory = 3096,
  kErrOutOfVariableMemory = 3097,
  kErrSubstitutionTooLong = 3101,  // Misuse of %substitution% (>2048 characters)
  kErrExtenderSevere = 3215,
  kErrTooManyDots = 3338,       // FP Math: Illegal floating point number.  Too many dots.
  kErrTooManyExponents = 3339,  // FP Math: Illegal floating point number.  Too many E's.
  kErrNotFloat = 3340,
  kErrNestedDefineFunction = 3623,
  kErrDefineFunctionSyntax = 3624,
  kErrEndFunctionUnmatched = 3625,
  kErrTooManyDefinitions = 3626,  // Maximum number of user-defined functions exceeded
  kErrUserSevere = 3670,
  kErrNestedDefineSubroutine = 3691,
  kErrDefineSubroutineSyntax = 3692,
  kErrEndSubroutineUnmatched = 3693,
  kErrLineTooLong = 3722,          // Line too long (>2048 characters)
  kErrDefinitionOpenAtEnd = 3723,  // #DefineFunction/Subroutine with no matching #End...
  kErrNotPointer = 3813,
  kErrInvalidPointer = 3814,
  kErrPointerAccess = 3815,
  kErrVariableTableAccess = 3816,
  kErrPointerUninitialized = 3817,
  kErrNotUnicode = 3820,
  // The statement runner's errors.
  kErrGotoInForEach = 1725,           // GoTo cannot be used within ForEach...Next loop
  kErrReturnValueFromGosub = 1760,    // Cannot return a value from GoSub
  kErrLabelNotFound = 3033,           // GoTo label not found
  kErrNoIfState = 3050,               // No IF to relate to THEN, ELSEIF or ELSE is currently valid
  kErrMissingStatement = 3071,        // Missing or incomplete statement
  kErrThenNotFound = 3072,            // THEN not found in IF or ELSEIF statement
  kErrLabelNotSpecified = 3073,       // GoTo Label not specified
  kErrStatementContinues = 3074,      // Expression continues past expected end.
  kErrCommandNotDefined = 3352,       // Internal Error: Command or Structop not defined
  kErrNestingTooDeep = 3353,          // Struct Error: Nesting of structures is too complex
  kErrNoMatchingEnd = 3354,           // END Error: No matching End found
  kErrBreakNotInStructure = 3355,     // STRUCT Error: 'Break' not in a Structure
  kErrContinueNotInStructure = 3356,  // STRUCT Error: 'Continue' not in a Structure
  kErrEndMismatch = 3357,             // End Error: No match  found
  kErrElseWithoutIf = 3358,           // Else Error: No matching If or ElseIf found
  kErrBreakOutsideLoop = 3359,        // Break/Continue: Not in a While, Switch, or For structure
  kErrForSyntax = 3360,               // For Error: Bad Syntax.  e.g. 'For x = 1 to 10'
  kErrForNotNumber = 3361,            // For Error: For counters must be numbers, not strings
  kErrToWithoutFor = 3362,            // Misplaced 'TO' found without a DoFor
  kErrEndUnidentified = 3363,         // Unidentified 'END': Must be followed by If, While, ...
  kErrSwitchNotInteger = 3364,        // SWITCH/CASE Error: Switch/Case can only accept integers
  kErrCaseWithoutSwitch = 3365,       // CASE Error: No matching Switch found
  kErrElseIfWithoutIf = 3368,         // ElseIf Error: No matching if found
  kErrCancelHandlerNesting = 3618,    // Unable to call Cancel Handler: Nesting of structures ...
  kErrErrorHandlerNesting = 3619,     // Unable to call Error Handler: Nesting of structures ...
  kErrVariableNotArray = 3650,        // Variable is not an array
  kErrForEachSyntax = 3729,           // ForEach Error: Bad Syntax, eg, 'ForEach x in y.z'
  kCompletionNormalEnd = 9000,
  kCompletionReported = 9013,             // an error was reported; userErrCode says why
  kCompletionExtenderReported = 9014,     // an extender error was reported
  kCompletionFunctionReported = 9015,     // an error inside a user-defined function was reported
  kCompletionUserReported = 9016,         // an ErrorEvent error was reported
  kCompletionHandledInAssignment = 9998,  // a handler took the error of an assignment
  kCompletionCancel = 9999,               // User requested Cancel
};

// Texts of the user interface and hints used with the errors above.
enum MessageNumber : std::uint32_t {
  kMsgHelpPageAddress = 61,  // the product's default help web address; none is configured
  kMsgScriptNotFound = 102,  // Specified menu/batch file not found
  kMsgExecutionError = 111,
  kMsgOkButton = 120,
  kMsgTerminatedByUser = 194,  // Execution terminated by user request
  kMsgScriptNoMemory = 203,
  kMsgScriptLockFailed = 204,
  kMsgScriptReadError = 206,
  kMsgUnicodeConversion = 215,
  kMsgIncludeNoMemory = 216,  // Could not allocate (or lock) work buffer
  kMsgIncludeFailed = 217,
  kMsgIncludeTooDeep = 218,
  kMsgEncodedScript = 219,  // an encoded script file, which this engine does not run
  kMsgNearLine = 226,
  kMsgOf = 227,
  kMsgRoutine = 228,
  kMsgIn = 229,
  kMsgErrorLabel = 230,  // Error:
  kMsgOnLine = 231,
  kMsgWebPageButton = 232,
  kMsgContinueButton = 233,
  kMsgExitButton = 234,
  kMsgMoreInfoButton = 245,
  kMsgMoreInfoTitle = 246,
  kMsgTracebackButton = 247,
  kMsgTracebackTitle = 248,
  kMsgEngineVersion = 849,  // KEL Version:
  kMsgUserDefinedError = 879,
  kMsgUninitializedVariable = 880,  // Uninitialized variable or undefined function:
  kMsgHintExtraPunctuation = 9501,  // Extra punctuation characters may be on command line
  kMsgHintExtraneousText = 9505,    // Check for extra ) on end or missing ; before a comment ...
};

}  // namespace kel

#endif  // KEL_ERRORS_ERROR_NUMBERS_H
