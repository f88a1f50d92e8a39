// The `kel` command: a host that runs scripts through the engine's exported entry points,
// exactly as any other host would.
//
//   kel SCRIPT [ARG ...]    runs a script file
//   kel - [ARG ...]         runs the script read from standard input
//   kel -e STATEMENT        runs one line
//   kel                     on a terminal: an interactive session (README "The kel command")
//   kel --help | --version
//   kel --trace FILE ...    any of the above with the engine's debug trace written to FILE
//
// Exit status: 0 when the script ended normally, 1 when a reported error ended it, 2 when it
// could not be started (no script, or a text the engine refused to prepare).
#include <cstdio>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "cli/line_input.h"
#include "kel/kel_extender.h"
#include "kel/kel_host.h"
#include "platform/platform.h"

namespace {

using kel::platform::MemoryHandle;
namespace platform = kel::platform;

constexpr int kExitNormal = 0;
constexpr int kExitReportedError = 1;
constexpr int kExitNotStarted = 2;

// DLLServices requests the command uses.
constexpr std::int32_t kServiceSplitParameters = 11;
constexpr std::int32_t kServiceQuietMode = 23;
constexpr std::int32_t kServiceKeptReport = 25;
constexpr std::int32_t kServiceScriptPath = 40;

// The catalogue's text of a script file that cannot be found or read, and the export that
// fetches catalogue texts.
constexpr std::uint32_t kMsgScriptNotFound = 102;
using LoadMyStringFn = std::int32_t(KEL_CDECL*)(void* context, void* module, std::uint32_t id,
                                                char* buffer, std::int32_t size);

// The command's own functions, by their row in its keyword table.
enum HostFunction : std::int32_t { kHostStdOut = 0 };
constexpr std::size_t kHeapReservation = std::size_t{1} << 30;
constexpr std::size_t kHeapInitialCommit = 256 * 1024;

#if defined(_WIN32)
constexpr char kEngineLibrary[] = "kel.dll";
constexpr char kPathSeparator = '\\';
#else
constexpr char kEngineLibrary[] = "libkel.so";
constexpr char kPathSeparator = '/';
#endif

void Complain(const std::string& text) {
  std::string line = "kel: " + text + "\n";
  platform::WriteStandardError(line.data(), line.size());
}

// The engine library beside the program itself: a link to the command, or a copy of it on the
// path, still finds the library installed beside the real program.
std::string EnginePath() {
  char path[4096];
  std::size_t length = platform::ProgramPath(path, sizeof path);
  if (length == 0) {
    static const int anchor = 0;
    length = platform::ModulePathOf(&anchor, path, sizeof path);
  }
  std::string directory(path, length);
  std::size_t slash = directory.find_last_of(kPathSeparator == '/' ? "/" : "\\/");
  directory = slash == std::string::npos ? std::string(".") : directory.substr(0, slash);
  return directory + kPathSeparator + kEngineLibrary;
}

// Where the engine library is looked for, in turn: beside the real program (a build, or an
// installed Windows folder), in the library folder beside an installed program's folder
// (bin/../lib), and by its name alone, where the system's loader looks.
std::vector<std::string> EnginePaths() {
  std::string beside = EnginePath();
  std::string directory = beside.substr(0, beside.size() - sizeof kEngineLibrary + 1);
  std::vector<std::string> paths{beside};
  if (kPathSeparator == '/') {
    paths.push_back(directory + ".." + kPathSeparator + "lib" + kPathSeparator + kEngineLibrary);
    paths.push_back(kEngineLibrary);
  }
  return paths;
}

// The parameter text: each argument in double quotes when it holds a blank, joined by blanks.
std::string ParameterText(int first, int argc, char** argv) {
  std::string text;
  for (int i = first; i < argc; ++i) {
    if (!text.empty()) text += ' ';
    std::string arg = argv[i];
    bool quote = arg.find_first_of(" \t") != std::string::npos;
    text += quote ? "\"" + arg + "\"" : arg;
  }
  return text;
}

// The host's own functions, in the engine's keyword-row format.
KelKeywordRow HostRow(std::uint32_t id, const char* name, std::uint32_t argTypes,
                      std::uint32_t argCounts) {
  KelKeywordRow row{};
  row.id = id;
  row.kind = 2;
  row.argTypesLow = argTypes;
  row.argCounts = argCounts;
  row.nameLength = static_cast<std::uint16_t>(std::strlen(name));
  std::snprintf(row.name, sizeof row.name, "%s", name);
  return row;
}

// The entry of the command's own functions: the engine calls it like an extender and takes the
// answer through the callback it passes.
std::int32_t KEL_STDCALL HostEntry(void*, void*, std::uint32_t, std::int32_t request,
                                   KelAnswerFn answer, KelServicesBlock* services, std::uint32_t*,
                                   KelBoundaryValue* arguments, std::int32_t count,
                                   KelBoundaryValue*) {
  if (request < 0) return 0;  // notifications: the command asks for none
  KelBoundaryValue result{};
  result.flags = KEL_VALUE_INTEGER;
  switch (request) {
    case kHostStdOut: {
      // The engine has turned the argument into ANSI text (its row declares a string).
      const char* text =
          count > 0 && arguments[0].text ? static_cast<const char*>(arguments[0].text) : "";
      std::string line = std::string(text) + "\n";
      platform::WriteStandardOutput(line.data(), line.size());
      result.intValue = 1;
      break;
    }
    default:
      return -3;
  }
  return answer(0, 0, services, &result);
}

class Engine {
 public:
  ~Engine() {
    if (contextReady_) init_(nullptr, context_, 0, KEL_MODE_SHUTDOWN, 0, nullptr, 0);
    if (heap_ != nullptr) platform::ReleaseAddressSpace(heap_, kHeapReservation);
    if (table_ != nullptr) platform::GlobalFree(table_);
    if (context_ != nullptr) platform::GlobalFree(context_);
    if (library_ != nullptr) platform::FreeSharedLibrary(library_);
  }

  bool Load() {
    std::vector<std::string> paths = EnginePaths();
    for (const std::string& path : paths) {
      library_ = platform::LoadSharedLibrary(path.c_str());
      if (library_ != nullptr) break;
    }
    if (library_ == nullptr) return Fail("cannot load the engine library " + paths.front());
    init_ = reinterpret_cast<KelDoDaDllInitFn>(platform::FindSymbol(library_, "DoDaDllInit"));
    services_ = reinterpret_cast<KelDllServicesFn>(platform::FindSymbol(library_, "DLLServices"));
    run_ = reinterpret_cast<KelProcessDaBatBufferFn>(
        platform::FindSymbol(library_, "ProcessDaBatBuffer"));
    if (init_ == nullptr || run_ == nullptr)
      return Fail("the engine library lacks its entry points");
    loadString_ = reinterpret_cast<LoadMyStringFn>(platform::FindSymbol(library_, "LoadMyString"));
    return true;
  }

  // A script file that cannot be read, reported as the engine reports one that Call cannot
  // find: the catalogue's headline, then the file's name.
  void ReportUnreadableScript(const std::string& file) {
    char text[1024] = {};
    if (loadString_ == nullptr ||
        loadString_(nullptr, nullptr, kMsgScriptNotFound, text, sizeof text) <= 0) {
      Complain("cannot read the script file " + file);
      return;
    }
    std::string line = std::to_string(kMsgScriptNotFound) + ":  " + text + ": " + file + "\n";
    platform::WriteStandardError(line.data(), line.size());
  }

  // The host's call order: check, context, variable table, heap.
  bool Start() {
    if (init_(nullptr, nullptr, KEL_INTERFACE_ARG, KEL_MODE_CHECK, 0, nullptr, 0) !=
        KEL_INTERFACE_OK)
      return Fail("the engine's interface version does not match");
    context_ = platform::GlobalAllocate(KEL_CONTEXT_BYTES, platform::Fill::Zero);
    if (context_ == nullptr) return Fail("out of memory");
    std::int32_t slotBytes = init_(nullptr, context_, 0, KEL_MODE_CONTEXT, 0, "kel", 0);
    if (slotBytes <= 0) return Fail("the engine refused the context");
    contextReady_ = true;
    table_ = platform::GlobalAllocate(std::size_t(slotBytes) * KEL_DEFAULT_VARIABLE_SLOTS,
                                      platform::Fill::Zero);
    if (table_ == nullptr || init_(nullptr, context_, reinterpret_cast<std::intptr_t>(table_),
                                   KEL_MODE_VARIABLES, KEL_DEFAULT_VARIABLE_SLOTS, "kel", 0) != 1)
      return Fail("the engine refused the variable table");
    heap_ = platform::ReserveAddressSpace(kHeapReservation);
    if (heap_ == nullptr || !platform::CommitMemory(heap_, kHeapInitialCommit))
      return Fail("cannot reserve the string heap");
    descriptor_.active = 1;
    descriptor_.base = heap_;
    descriptor_.committedBytes = kHeapInitialCommit;
    descriptor_.reservedBytes = static_cast<std::uint32_t>(kHeapReservation);
    if (init_(nullptr, context_, reinterpret_cast<std::intptr_t>(heap_), KEL_MODE_HEAP,
              kHeapInitialCommit, nullptr, reinterpret_cast<std::intptr_t>(&descriptor_)) != 1)
      return Fail("the engine refused the string heap");
    return true;
  }

  // Every statement of the runs that follow is traced into `file`.
  void Trace(const std::string& file) {
    services_(context_, KEL_SERVICE_TRACE, reinterpret_cast<std::intptr_t>(file.c_str()), 0, 0, 0);
  }

  // Runs the script text; the exit status. The error report goes to standard error: the
  // headline, then "FILE:LINE: statement"; a text that could not be prepared (an #include file
  // that cannot be read) is one line with its number and message.
  int Run(MemoryHandle script, const char* path, const std::string& parameters,
          const KelKeywordRow* keywords) {
    // Quiet mode: errors are kept for the command to print instead of shown in a box.
    services_(context_, kServiceQuietMode, reinterpret_cast<std::intptr_t>(""), 0, 1, 0);
    services_(context_, kServiceScriptPath, reinterpret_cast<std::intptr_t>(path), 0, 0, 0);
    services_(context_, kServiceSplitParameters,
              reinterpret_cast<std::intptr_t>(parameters.c_str()), 0, 0, 0);
    bool ran = run_(nullptr, context_, script, reinterpret_cast<void*>(&HostEntry), keywords) == 1;
    char line[2050] = {}, headline[2050] = {}, place[2050] = {};
    if (services_(context_, kServiceKeptReport, reinterpret_cast<std::intptr_t>(line),
                  reinterpret_cast<std::intptr_t>(headline), sizeof line, 0) != 1)
      return ran ? kExitNormal : kExitNotStarted;
    services_(context_, KEL_SERVICE_KEPT_PLACE, reinterpret_cast<std::intptr_t>(place), 0,
              sizeof place, 0);
    std::string report = headline;
    if (!ran) {
      report += std::string(": ") + line + "\n";
      platform::WriteStandardError(report.data(), report.size());
      return kExitNotStarted;
    }
    // The place is "FILE:LINE", then a line for each call that led there.
    std::string where = place, callers;
    if (std::size_t end = where.find('\n'); end != std::string::npos) {
      callers = where.substr(end + 1) + "\n";
      where.resize(end);
    }
    report += "\n" + where + ": " + line + "\n" + callers;
    platform::WriteStandardError(report.data(), report.size());
    return kExitReportedError;
  }

 private:
  bool Fail(const std::string& text) {
    Complain(text);
    return false;
  }

  void* library_ = nullptr;
  KelDoDaDllInitFn init_ = nullptr;
  KelProcessDaBatBufferFn run_ = nullptr;
  KelDllServicesFn services_ = nullptr;
  LoadMyStringFn loadString_ = nullptr;
  MemoryHandle context_ = nullptr;
  MemoryHandle table_ = nullptr;
  void* heap_ = nullptr;
  KelHeapDescriptor descriptor_{};
  bool contextReady_ = false;
};

// The command's own functions. StdOut(value): one argument, declared as a string so the engine
// converts it.
constexpr std::uint32_t kStringArgument = 1;
const KelKeywordRow kKeywords[] = {HostRow(kHostStdOut, "stdout", kStringArgument, 1),
                                   KelKeywordRow{}};

// A block the engine reads as a script text: the text and two zero bytes.
MemoryHandle TextBlock(const std::string& text) {
  MemoryHandle block = platform::GlobalAllocate(text.size() + 2, platform::Fill::Zero);
  if (block == nullptr) return nullptr;
  auto* bytes = static_cast<char*>(platform::GlobalLock(block));
  if (bytes == nullptr) {
    platform::GlobalFree(block);
    return nullptr;
  }
  std::memcpy(bytes, text.data(), text.size());
  platform::GlobalUnlock(block);
  return block;
}

std::string ReadStandardInput() {
  std::string text;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0)
    text.append(chunk, got);
  return text;
}

int RunText(Engine& engine, const std::string& text, const char* path,
            const std::string& parameters) {
  MemoryHandle block = TextBlock(text);
  if (block == nullptr) {
    Complain("out of memory");
    return kExitNotStarted;
  }
  int status = engine.Run(block, path, parameters, kKeywords);
  platform::GlobalFree(block);
  return status;
}

// --- The interactive session ---

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string FirstWord(const std::string& line) {
  std::size_t end = 0;
  while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) ||
                               line[end] == '_' || line[end] == '#'))
    ++end;
  return Lower(line.substr(0, end));
}

// How a line changes the depth of the blocks being collected: +1 opens, -1 closes.
int BlockChange(const std::string& line) {
  const std::string word = FirstWord(line);
  for (const char* opener :
       {"while", "for", "foreach", "switch", "select", "#definefunction", "#definesubroutine"})
    if (word == opener) return 1;
  for (const char* closer :
       {"endif", "endwhile", "next", "endswitch", "endselect", "#endfunction", "#endsubroutine"})
    if (word == closer) return -1;
  if (word == "if") {
    // "If c Then statement" is whole on its line; "If c" and "If c Then" open a block.
    const std::string lower = Lower(line);
    std::size_t then = lower.rfind(" then");
    return then == std::string::npos || Trim(lower.substr(then + 5)).empty() ? 1 : 0;
  }
  return 0;
}

// A line whose value is worth showing: neither a statement nor an assignment.
bool IsExpression(const std::string& line) {
  if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == ':' || line[0] == '@')
    return false;
  const std::string word = FirstWord(line);
  for (const char* statement :
       {"if",      "else",     "elseif",   "endif",  "while",    "endwhile",  "for",
        "foreach", "next",     "switch",   "select", "case",     "endswitch", "endselect",
        "break",   "continue", "return",   "exit",   "gosub",    "goto",      "then",
        "end",     "drop",     "dropwild", "call",   "terminate"})
    if (word == statement) return false;
  // An assignment: a name (with an index) and "=" or an operator with "=", but not "==".
  std::size_t i = word.size();
  if (i == 0) return true;
  if (i < line.size() && line[i] == '[') {
    int depth = 0;
    for (; i < line.size(); ++i) {
      if (line[i] == '[') ++depth;
      if (line[i] == ']' && --depth == 0) {
        ++i;
        break;
      }
    }
  }
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
    ++i;
  std::size_t equals = line.find('=', i);
  if (equals == std::string::npos || (equals + 1 < line.size() && line[equals + 1] == '='))
    return true;
  const std::string between = line.substr(i, equals - i);
  return between.find_first_not_of("+-*/:<>&|^") != std::string::npos;
}

// Each line, or each block once it closes, runs as a text of its own in the same context, so
// variables and functions live on from one to the next. An error is shown and the session
// goes on; the end of input ends it.
int Interactive(Engine& engine, bool prompt) {
  std::string pending;
  int depth = 0;
  std::string line;
  for (;;) {
    const char* promptText = depth > 0 ? "...> " : "kel> ";
    if (!kel::cli::ReadInputLine(prompt ? promptText : nullptr, line)) break;
    const std::string statement = Trim(line);
    depth += BlockChange(statement);
    pending += line + "\n";
    if (depth > 0) continue;
    depth = 0;
    std::string text = pending;
    pending.clear();
    if (text.find('\n') == text.size() - 1 && IsExpression(statement))
      text = "stdout(" + statement + ")\n";
    RunText(engine, text, "<stdin>", "");
  }
  if (prompt) platform::WriteStandardOutput("\n", 1);
  return kExitNormal;
}

void Print(const std::string& text) {
  platform::WriteStandardOutput(text.data(), text.size());
}

constexpr char kUsage[] =
    "usage: kel SCRIPT [ARG ...]   run a script file\n"
    "       kel - [ARG ...]        run the script read from standard input\n"
    "       kel -e STATEMENT       run one line\n"
    "       kel                    an interactive session (on a terminal)\n"
    "       kel --help | --version\n"
    "       kel --trace FILE ...   any of these, tracing every statement into FILE\n";

std::string VersionText() {
#if defined(_WIN64)
  const char* system = "win64";
#elif defined(_WIN32)
  const char* system = "win32";
#else
  const char* system = "linux";
#endif
#if defined(__SANITIZE_ADDRESS__)
  const char* kind = "sanitizer build";
#elif defined(NDEBUG)
  const char* kind = "release build";
#else
  const char* kind = "debug build";
#endif
  return std::string("kel ") + KEL_VERSION + " (" + system + ", " + kind + ")\n";
}

}  // namespace

int main(int argc, char** argv) {
  // --trace FILE comes before everything else and is taken out of the arguments.
  std::string traceFile;
  std::vector<char*> arguments(argv, argv + argc);
  if (argc > 1 && std::string(argv[1]) == "--trace") {
    if (argc < 3) {
      Complain("--trace needs a file name");
      return kExitNotStarted;
    }
    traceFile = argv[2];
    arguments.erase(arguments.begin() + 1, arguments.begin() + 3);
    argc = static_cast<int>(arguments.size());
    argv = arguments.data();
  }
  const std::string first = argc > 1 ? argv[1] : "";
  if (first == "--help" || first == "-h") {
    Print(kUsage);
    return kExitNormal;
  }
  if (first == "--version") {
    Print(VersionText());
    return kExitNormal;
  }
  // --interactive: the session even when standard input is no terminal (its tests feed it).
  bool interactive = first == "--interactive" || (argc < 2 && platform::StandardInputIsTerminal());
  if (argc < 2 && !interactive) {
    // Without a terminal to talk to, a script comes by name or as "kel -".
    Complain("usage: kel SCRIPT [ARG ...] (kel --help tells more)");
    return kExitNotStarted;
  }
  if (first == "-e" && argc < 3) {
    Complain("-e needs a statement");
    return kExitNotStarted;
  }
  Engine engine;
  if (!engine.Load()) return kExitNotStarted;
  std::string text;
  std::string path = first;
  if (first == "-") {
    text = ReadStandardInput();
    path = "<stdin>";
  } else if (first == "-e") {
    text = std::string(argv[2]) + "\n";
    path = "<command line>";
  } else if (!interactive) {
    std::size_t size = 0;
    MemoryHandle script = platform::ReadWholeFile(first.c_str(), &size);
    if (script == nullptr) {
      engine.ReportUnreadableScript(first);
      return kExitNotStarted;
    }
    auto* bytes = static_cast<const char*>(platform::GlobalLock(script));
    text.assign(bytes != nullptr ? bytes : "", bytes != nullptr ? size : 0);
    platform::GlobalUnlock(script);
    platform::GlobalFree(script);
  }
  if (!engine.Start()) return kExitNotStarted;
  if (!traceFile.empty()) engine.Trace(traceFile);
  if (interactive) return Interactive(engine, platform::StandardInputIsTerminal());
  return RunText(engine, text, path.c_str(), ParameterText(first == "-e" ? 3 : 2, argc, argv));
}
