// Starting programs on a POSIX system: the Windows command line is split into the program and
// its arguments by the rules Windows programs apply to their own command lines, and the program
// is spawned directly (no shell reads the line). Show commands have no meaning here; the shell's
// associations, verbs and registered application paths do not exist.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/launch.h"
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

extern char** environ;

namespace kel::platform {
namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorNotSupported = 50;
constexpr std::uint32_t kErrorBadDirectory = 267;
// How long one look at a program that has not ended yet sleeps.
constexpr std::uint32_t kEndLookMs = 10;

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// The program name: up to the first blank outside double quotes; the quotes only group.
std::u16string ProgramPart(const std::u16string& line, std::size_t& at) {
  std::u16string program;
  bool quoted = false;
  for (; at < line.size() && (quoted || !IsBlank(line[at])); ++at) {
    if (line[at] == u'"')
      quoted = !quoted;
    else
      program += line[at];
  }
  return program;
}

// One argument: blanks inside double quotes belong to it; 2n backslashes before a quote stand
// for n backslashes and the quote opens or closes, 2n + 1 for n backslashes and a quote
// character; a doubled quote inside quotes is one quote character. A missing closing quote
// runs the argument to the end of the line.
std::u16string ArgumentPart(const std::u16string& line, std::size_t& at) {
  std::u16string argument;
  bool quoted = false;
  while (at < line.size() && (quoted || !IsBlank(line[at]))) {
    std::size_t backslashes = 0;
    while (at < line.size() && line[at] == u'\\') {
      ++backslashes;
      ++at;
    }
    if (at < line.size() && line[at] == u'"') {
      argument.append(backslashes / 2, u'\\');
      if (backslashes % 2 == 1) {
        argument += u'"';
      } else if (quoted && at + 1 < line.size() && line[at + 1] == u'"') {
        argument += u'"';
        ++at;
      } else {
        quoted = !quoted;
      }
      ++at;
    } else {
      argument.append(backslashes, u'\\');
      if (at < line.size() && (quoted || !IsBlank(line[at]))) argument += line[at++];
    }
  }
  return argument;
}

std::vector<std::string> SplitCommandLine(const std::u16string& line) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < line.size() && IsBlank(line[at]))
    ++at;
  words.push_back(posix::Utf8Of(ProgramPart(line, at), posix::Backslashes::AsSlashes));
  for (;;) {
    while (at < line.size() && IsBlank(line[at]))
      ++at;
    if (at >= line.size()) break;
    words.push_back(posix::Utf8Of(ArgumentPart(line, at), posix::Backslashes::Keep));
  }
  return words;
}

// The Windows number of a failed spawn: a file that exists but is no program is 193, as a
// document handed to the system's process creation is on Windows.
std::uint32_t SpawnError(int error, const std::string& program) {
  struct stat status {};
  switch (error) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case ENOEXEC:
      return kErrorNotProgram;
    case EACCES:
      if (program.find('/') != std::string::npos && stat(program.c_str(), &status) == 0 &&
          S_ISREG(status.st_mode))
        return kErrorNotProgram;
      return kErrorAccessDenied;
    default:
      return kErrorNotSupported;
  }
}

// Children started without waiting are collected once they end, so that none lingers as a
// finished process; those still running when released are looked at again later.
std::vector<pid_t>& UncollectedChildren() {
  static std::vector<pid_t> children;
  return children;
}

void CollectEndedChildren() {
  std::vector<pid_t>& children = UncollectedChildren();
  for (std::size_t i = 0; i < children.size();) {
    int status = 0;
    pid_t answer = waitpid(children[i], &status, WNOHANG);
    if (answer == 0) {
      ++i;
    } else {
      children[i] = children.back();
      children.pop_back();
    }
  }
}

std::uint32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  return 0;
}

}  // namespace

bool LogonLaunchAvailable() {
  return false;
}

bool StartProgram(const std::u16string& commandLine, int, const std::u16string& directory,
                  const LogonAccount* account, StartedProgram* started) {
  CollectEndedChildren();
  if (account != nullptr) {
    posix::SetLastSystemError(kErrorNotSupported);
    return false;
  }
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words[0].empty()) {
    posix::SetLastSystemError(kErrorFileNotFound);
    return false;
  }
  std::string place;
  if (!directory.empty()) {
    place = posix::Utf8Of(directory, posix::Backslashes::AsSlashes);
    struct stat status {};
    if (stat(place.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
      posix::SetLastSystemError(kErrorBadDirectory);
      return false;
    }
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!place.empty()) posix_spawn_file_actions_addchdir_np(&actions, place.c_str());
  pid_t child = 0;
  // As on Windows, a bare name is looked for in the current folder before the search path.
  struct stat status {};
  if (words[0].find('/') == std::string::npos && stat(words[0].c_str(), &status) == 0 &&
      S_ISREG(status.st_mode))
    words[0] = "./" + words[0];
  // A relative program name is the caller's, not one in the folder the program starts in.
  if (!place.empty() && words[0].find('/') != std::string::npos && words[0][0] != '/') {
    char here[4096];
    if (getcwd(here, sizeof here) != nullptr) words[0] = std::string(here) + "/" + words[0];
  }
  const std::string& program = words[0];
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  int error = program.find('/') != std::string::npos
                  ? posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ)
                  : posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    posix::SetLastSystemError(SpawnError(error, program));
    return false;
  }
  *started = StartedProgram{};
  started->process = child;
  started->id = static_cast<std::uint32_t>(child);
  return true;
}

void WaitUntilIdle(const StartedProgram&, std::uint32_t) {}

bool WaitForProgramOrInput(StartedProgram& program, std::uint32_t milliseconds) {
  if (program.ended) return true;
  std::uint32_t start = TickCount();
  for (;;) {
    int status = 0;
    pid_t answer = waitpid(static_cast<pid_t>(program.process), &status, WNOHANG);
    if (answer != 0) {
      program.ended = true;
      program.exitCode = answer > 0 ? ExitCodeOf(status) : 0;
      return true;
    }
    std::uint32_t elapsed = TickCount() - start;
    if (elapsed >= milliseconds) return false;
    SleepMilliseconds(milliseconds - elapsed < kEndLookMs ? milliseconds - elapsed : kEndLookMs);
  }
}

void ReleaseProgram(StartedProgram& program) {
  if (program.process != 0 && !program.ended)
    UncollectedChildren().push_back(static_cast<pid_t>(program.process));
  program = StartedProgram{};
  CollectEndedChildren();
}

bool RegisteredAppPath(const std::u16string&, std::u16string*, std::u16string*) {
  return false;
}

bool AssociatedOpenCommand(const std::u16string&, std::u16string*) {
  return false;
}

bool ExecutableForDocument(const std::u16string&, const std::u16string&, std::u16string*) {
  posix::SetLastSystemError(kErrorNotSupported);
  return false;
}

bool ShellVerbsAvailable() {
  return false;
}

std::intptr_t ShellLaunch(const char16_t*, const std::u16string&, const std::u16string&,
                          const std::u16string&, int) {
  return 0;
}

bool ShellLaunchKeeping(const std::u16string&, const std::u16string&, const std::u16string&, int,
                        StartedProgram*) {
  posix::SetLastSystemError(kErrorNotSupported);
  return false;
}

std::u16string SearchPathFor(const std::u16string&, const char16_t*) {
  return std::u16string();
}

std::u16string SystemErrorText(std::uint32_t code) {
  switch (code) {
    case kErrorFileNotFound:
      return u"The file was not found.";
    case kErrorPathNotFound:
      return u"The path was not found.";
    case kErrorAccessDenied:
      return u"Access is denied.";
    case kErrorNotProgram:
      return u"The file is not a program this system can run.";
    case kErrorBadDirectory:
      return u"The directory name is invalid.";
    default:
      return std::u16string();
  }
}

std::vector<RunningProgram> RunningPrograms() {
  CollectEndedChildren();
  std::vector<RunningProgram> programs;
  DIR* processes = opendir("/proc");
  if (processes == nullptr) return programs;
  while (dirent* entry = readdir(processes)) {
    char* end = nullptr;
    unsigned long id = std::strtoul(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0') continue;
    std::string base = std::string("/proc/") + entry->d_name;
    // A process that has ended but is not yet collected (state Z) is not running.
    char stat[512] = {};
    int file = open((base + "/stat").c_str(), O_RDONLY);
    if (file < 0) continue;
    ssize_t length = read(file, stat, sizeof stat - 1);
    close(file);
    const char* state = length > 0 ? std::strrchr(stat, ')') : nullptr;
    if (state == nullptr || state[1] == '\0' || state[2] == 'Z') continue;
    char path[4096];
    ssize_t pathLength = readlink((base + "/exe").c_str(), path, sizeof path - 1);
    if (pathLength > 0) {
      path[pathLength] = '\0';
    } else {
      // Another user's program: only its short name can be read.
      std::FILE* comm = std::fopen((base + "/comm").c_str(), "r");
      if (comm == nullptr) continue;
      bool read = std::fgets(path, sizeof path, comm) != nullptr;
      std::fclose(comm);
      if (!read) continue;
      path[std::strcspn(path, "\n")] = '\0';
    }
    programs.push_back(RunningProgram{static_cast<std::uint32_t>(id), posix::Utf16Of(path)});
  }
  closedir(processes);
  return programs;
}

std::uint32_t CurrentProcessId() {
  return static_cast<std::uint32_t>(getpid());
}

bool EndProgram(std::uint32_t id) {
  if (kill(static_cast<pid_t>(id), SIGKILL) != 0) {
    posix::SetLastErrorFromErrno();
    return false;
  }
  return true;
}

}  // namespace kel::platform
