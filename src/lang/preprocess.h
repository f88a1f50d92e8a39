// Line preprocessing: %name% substitution and run-time #include lines.
#ifndef KEL_LANG_PREPROCESS_H
#define KEL_LANG_PREPROCESS_H

namespace kel {

struct BatchContext;

constexpr int kPreprocessFailed = 0;
constexpr int kPreprocessUnchanged = 1;
constexpr int kPreprocessSubstituted = 2;

// Rewrites `line` (a buffer of kLineBufferBytes) in place before it runs: "%%" becomes "%",
// "%name%" the text of that variable (or of @crlf, @tab, @cr, @lf), and with includeMode bit 1 a
// line "#include name" becomes a Call of that file. Returns kPreprocessSubstituted when a
// %name% was replaced, kPreprocessUnchanged when none was, kPreprocessFailed with errNum set
// (3047, 3048, 3101); a failed line is left as it was.
int PreprocessLine(BatchContext& context, char* line);

}  // namespace kel

#endif  // KEL_LANG_PREPROCESS_H
