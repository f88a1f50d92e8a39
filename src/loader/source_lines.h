// Marker lines, which carry the source file and line number of the lines after them through
// #include expansion, and the walk that turns a text offset into a file name and line number.
#ifndef KEL_LOADER_SOURCE_LINES_H
#define KEL_LOADER_SOURCE_LINES_H

#include <cstddef>
#include <cstdint>

#include "core/batch_context.h"
#include "core/loader_state.h"
#include "core/statement_position.h"

namespace kel {

// A marker line: ";", the control character 11, the tag (64 + tag), "@", the line number in four
// characters of 6 bits each (64 + bits, most significant first), the file path and a LF.
// Beginning with ";" makes the run loop skip it as a comment.
constexpr char kMarkerLead = ';';
constexpr char kMarkerKind = 11;
constexpr int kIncludeMarkerTag = 1;          // written by the #include expansion
constexpr std::size_t kMarkerFixedBytes = 9;  // everything but the path
constexpr std::uint32_t kMaxMarkerLine = 0xFFFFFF;

// Writes a marker (without a terminator) into `out`, which has room for kMarkerFixedBytes plus
// the path's length; returns the bytes written. Line numbers beyond 24 bits wrap.
std::size_t WriteMarker(char* out, std::uint32_t line, int tag, const char* path);

// Where an offset of a text comes from.
struct SourceLine {
  std::uint32_t line;     // 1-based
  int tag;                // the tag of the last marker passed; -1 when no marker precedes
  char file[kPathBytes];  // the script path when no marker precedes
};

// Walks a hidden text (or function body) from its start to `offset`: each LF adds a line, a
// marker line sets the file and the number of the line after it, and the walk ends early at the
// terminator or at Ctrl+Z.
void FindSourceLine(const BatchContext& context, const ScriptText& text, std::uint32_t offset,
                    SourceLine& out);
// The same for the text the innermost run loop is reading; false when none is running.
bool CurrentSourceLine(const BatchContext& context, std::uint32_t offset, SourceLine& out);

// Works out the position of the statement that failed in the text being run, for the error box:
// its line and file, and the user-defined function being run.
void LocateFailingStatement(BatchContext& context, SourcePosition& position);

}  // namespace kel

#endif  // KEL_LOADER_SOURCE_LINES_H
