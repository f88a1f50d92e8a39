// The process's environment variables and the facts about the system that scripts may ask for:
// the computer's name, the Windows version and measures, the processor and memory layout and
// the network. A fact that only Windows has is answered Unavailable elsewhere.
#ifndef KEL_PLATFORM_SYSTEM_INFO_H
#define KEL_PLATFORM_SYSTEM_INFO_H

#include <cstdint>
#include <string>
#include <vector>

namespace kel::platform {

// The value of the environment variable `name`; false when the process has no such variable.
bool EnvironmentValue(const char* name, std::string& value);
// Every variable of the process's environment as "NAME=value", in the order the system keeps
// them. The per-drive current directories that Windows keeps as variables whose names begin
// with "=" are no variables a script sets or reads and are left out.
std::vector<std::string> EnvironmentEntries();

// How a question about the system was answered.
enum class SystemFact {
  Answered,
  BadRequest,   // the request number is none the question knows
  Unavailable,  // the system has no such fact
};

// The computer's name in one of the forms of the system's naming: 0 the short (NetBIOS) name,
// 1 the host name, 2 the domain, 3 the fully qualified name; 4 to 7 the same of the physical
// computer where a cluster gives the computer a virtual name. A name the system cannot tell is
// answered empty.
SystemFact ComputerName(int request, std::string& name);

// The version of the MS-DOS that the system offers to old programs: request 0 the major
// number, 1 the minor.
SystemFact DosVersionPart(int request, std::int32_t& number);

// A system measure (GetSystemMetrics numbering: 0 the screen's width, 1 its height, ...).
SystemFact SystemMetric(int request, std::int32_t& number);

// The processor and memory layout, as the numbers a script can take apart: page size, lowest
// and highest application address, active processor mask, number of processors, processor
// type, allocation granularity, processor level, processor revision.
SystemFact ProcessorFacts(std::vector<std::uint64_t>& numbers);

// The version of the system: 0 minor, 1 major, 2 build, 4 platform (2 for the NT family) as
// `number`; 3 the service pack's name and 5 "major.minor.build" as `text`.
SystemFact WindowsVersionPart(int request, std::int32_t& number, std::string& text);

// The network: request 0 the kind of the system's own network, 1 the network providers
// installed, in the order the system asks them.
SystemFact NetworkFacts(int request, std::vector<std::string>& items);

// Facts about the program the process runs, for the trace's header: whether its file carries a
// valid code signature; the attributes of the requestedExecutionLevel entry of its manifest as
// written there ("" when the manifest has none); how far the process is elevated; whether the
// system's performance counters are switched off.
SystemFact ProgramSignatureValid(bool& valid);
SystemFact ProgramExecutionLevel(std::string& attributes);
enum class Elevation { StandardOrDisabled, Elevated, AdminNotElevated, Unknown };
SystemFact ProcessElevation(Elevation& level);
SystemFact PerformanceCountersDisabled(bool& disabled);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_SYSTEM_INFO_H
