// Starting programs, waiting for them, and the list of running programs. Command lines are
// UTF-16 texts in the Windows form: the program name (in double quotes when it holds blanks)
// followed by the arguments. win32/ hands them to the system as they are; posix/ splits them by
// the rules Windows programs split their own command lines and starts the program directly,
// without a shell. The shell's associations, verbs and registered application paths exist only
// on Windows; elsewhere their services answer "not found" or "unavailable".
//
// Every call that fails leaves LastSystemError() set in the Windows numbering: 2 file not
// found, 3 path not found, 5 access denied, 193 not a program the system can run.
#ifndef KEL_PLATFORM_LAUNCH_H
#define KEL_PLATFORM_LAUNCH_H

#include <cstdint>
#include <string>
#include <vector>

namespace kel::platform {

constexpr std::uint32_t kErrorNotProgram = 193;
constexpr std::uint32_t kErrorElevationRequired = 740;

// A started program: its handles on Windows (on POSIX `process` is the process id), its id, and
// once it has been seen to end, its exit code.
struct StartedProgram {
  std::intptr_t process = 0;
  std::intptr_t thread = 0;
  std::uint32_t id = 0;
  bool ended = false;
  std::uint32_t exitCode = 0;
};

// The account a program is started under by RunWithLogon. The password is handed to the system
// and to nothing else.
struct LogonAccount {
  const std::u16string* user;
  const std::u16string* domain;
  const std::u16string* password;
  std::uint32_t flags;
};

// Whether the system can start a program under another account.
bool LogonLaunchAvailable();

// Starts `commandLine` with a show command (SW_ values; no effect on POSIX), in `directory`
// (the current one when empty), under `account` when it is not null. False with the system's
// error when no program was started.
bool StartProgram(const std::u16string& commandLine, int showCommand,
                  const std::u16string& directory, const LogonAccount* account,
                  StartedProgram* started);
// Gives a started program up to `milliseconds` to become ready for input.
void WaitUntilIdle(const StartedProgram& program, std::uint32_t milliseconds);
// Waits until the program ends (true, with its exit code kept), or until input arrives for the
// thread or `milliseconds` have passed (false).
bool WaitForProgramOrInput(StartedProgram& program, std::uint32_t milliseconds);
// Lets go of a started program; one still running goes on running.
void ReleaseProgram(StartedProgram& program);

// The path registered for a program name under the system's application paths (its default
// value, expanded) and its "Path" value ("" when it has none). False when nothing is registered.
bool RegisteredAppPath(const std::u16string& keyName, std::u16string* path,
                       std::u16string* searchPath);
// The open command of a file extension (".txt"), through its class or the extension itself.
// False when there is none.
bool AssociatedOpenCommand(const std::u16string& extension, std::u16string* command);
// The program that opens `document` as the shell finds it. False when there is none.
bool ExecutableForDocument(const std::u16string& document, const std::u16string& directory,
                           std::u16string* executable);
// Whether the system has the shell's associations and verbs at all.
bool ShellVerbsAvailable();
// The shell's launch of `file` with a verb (null: the default one); the service's answer,
// above 32 on success.
std::intptr_t ShellLaunch(const char16_t* verb, const std::u16string& file,
                          const std::u16string& parameters, const std::u16string& directory,
                          int showCommand);
// The shell's launch of `file` that keeps the started process, without error boxes. False with
// the system's error.
bool ShellLaunchKeeping(const std::u16string& file, const std::u16string& parameters,
                        const std::u16string& directory, int showCommand, StartedProgram* started);
// A file found on the search path with `extension` added when the name has none ("" when none).
std::u16string SearchPathFor(const std::u16string& name, const char16_t* extension);

// The system's text for an error number, without the final line breaks ("" when it has none).
std::u16string SystemErrorText(std::uint32_t code);

// A running program: its id and its program file (the full name where the system tells it,
// else the bare file name).
struct RunningProgram {
  std::uint32_t id;
  std::u16string file;
};
std::vector<RunningProgram> RunningPrograms();
// The id of the engine's own process.
std::uint32_t CurrentProcessId();
// Ends a running program at once; false when it cannot be ended.
bool EndProgram(std::uint32_t id);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_LAUNCH_H
