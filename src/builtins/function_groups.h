// The routines of the function families: each is one selection over the codes of its family.
#ifndef KEL_BUILTINS_FUNCTION_GROUPS_H
#define KEL_BUILTINS_FUNCTION_GROUPS_H

#include <cstdint>

#include "lang/value.h"

namespace kel {

struct BatchContext;

// Every family routine takes the same parameters: the function's code, the converted
// arguments and their number, the result (preset to the integer 0) and whether the call is in
// Unicode mode. A failure sets errNum.
#define KEL_FAMILY_ROUTINE(Routine)                                                     \
  void Routine(BatchContext& context, std::uint32_t code, int count, EvalValue& result, \
               EvalValue* arguments, bool unicode)

KEL_FAMILY_ROUTINE(CoreFunction);
KEL_FAMILY_ROUTINE(IntControlFunction);  // builtins/int_control.cpp
KEL_FAMILY_ROUTINE(DebugFunction);       // builtins/debug_functions.cpp
KEL_FAMILY_ROUTINE(MathFunction);        // functions/math
// functions/strings: the Str..., Item... and character functions.
KEL_FAMILY_ROUTINE(StringFunction);
KEL_FAMILY_ROUTINE(ItemFunction);
KEL_FAMILY_ROUTINE(CharacterFunction);
// functions/arrays: making, reshaping, sorting and searching arrays, and arrays from and to
// strings and files.
KEL_FAMILY_ROUTINE(ArrayFunction);
KEL_FAMILY_ROUTINE(ArrayShapeFunction);
KEL_FAMILY_ROUTINE(ArraySortFunction);
KEL_FAMILY_ROUTINE(ArrayFileFunction);
// functions/time: the clock, calendar arithmetic on YmdHms texts, and the waits.
KEL_FAMILY_ROUTINE(TimeFunction);
KEL_FAMILY_ROUTINE(TimeWaitFunction);
// functions/ini: the entries of profile (INI) files.
KEL_FAMILY_ROUTINE(IniFunction);
// functions/digests: digests of files and the keys of their keyed forms.
KEL_FAMILY_ROUTINE(DigestFunction);
// functions/files: copying, moving and deleting files, names, itemizing, text files,
// directories and disks.
KEL_FAMILY_ROUTINE(FileFunction);
KEL_FAMILY_ROUTINE(FileNameFunction);
KEL_FAMILY_ROUTINE(TextFileFunction);
KEL_FAMILY_ROUTINE(FileTimeFunction);
KEL_FAMILY_ROUTINE(FileInfoFunction);
KEL_FAMILY_ROUTINE(DirectoryFunction);
// functions/system: the environment variables, and facts about the system and the engine.
KEL_FAMILY_ROUTINE(EnvironmentFunction);
KEL_FAMILY_ROUTINE(SystemFunction);
// functions/binary: binary buffers: values, strings and ranges of bytes; searching; whole-buffer
// work (checksums, records, conversion, compression); tagged sections; files.
KEL_FAMILY_ROUTINE(BinaryFunction);
KEL_FAMILY_ROUTINE(BinarySearchFunction);
KEL_FAMILY_ROUTINE(BinaryRecordFunction);
KEL_FAMILY_ROUTINE(BinaryTagFunction);
KEL_FAMILY_ROUTINE(BinaryFileFunction);
KEL_FAMILY_ROUTINE(BinaryClipboardFunction);
// functions/registry: keys (opening, deleting, lists, hives, views) and values of every type.
KEL_FAMILY_ROUTINE(RegistryKeyFunction);
KEL_FAMILY_ROUTINE(RegistryValueFunction);
// functions/launch: starting programs and documents, and the programs that are running.
KEL_FAMILY_ROUTINE(LaunchFunction);
KEL_FAMILY_ROUTINE(RunningProgramFunction);
// functions/pipes: messages through named pipes.
KEL_FAMILY_ROUTINE(PipeFunction);
// functions/shortcuts: the shell's shortcut files and special folders.
KEL_FAMILY_ROUTINE(ShortcutFunction);
// functions/windows: the window functions on one window, and the listings of windows.
KEL_FAMILY_ROUTINE(WindowFunction);
KEL_FAMILY_ROUTINE(WindowListFunction);
// functions/clipboard: the text clipboard functions.
KEL_FAMILY_ROUTINE(ClipboardFunction);

}  // namespace kel

#endif  // KEL_BUILTINS_FUNCTION_GROUPS_H
