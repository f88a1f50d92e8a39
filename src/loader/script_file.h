// Loading a script for a run: from the host's buffer or from a file, through to the hidden text
// the run loop reads.
#ifndef KEL_LOADER_SCRIPT_FILE_H
#define KEL_LOADER_SCRIPT_FILE_H

#include "core/loader_state.h"
#include "platform/platform.h"

namespace kel {

struct BatchContext;

// Prepares a plain text (ANSI, LF line ends) for a run in a block of the loader's own: refuses
// an encoded text, expands #include lines when includeMode bit 0 asks for it (`fileName` names
// the text in its markers, `directory` is tried first for relative names) and hides it. The
// block is returned locked with `prepared` describing it; release it with ReleaseScriptText.
// A failure is reported as a load error and gives null.
platform::MemoryHandle PrepareScriptText(BatchContext& context, const char* text,
                                         const char* fileName, const char* directory,
                                         ScriptText& prepared);
void ReleaseScriptText(platform::MemoryHandle handle);

// Loads a script file and prepares it like PrepareScriptText. A failure is reported as a load
// error and gives null (errNum then holds the load error's number).
platform::MemoryHandle ReadScriptFile(BatchContext& context, const char* fileName,
                                      ScriptText& prepared);

}  // namespace kel

#endif  // KEL_LOADER_SCRIPT_FILE_H
