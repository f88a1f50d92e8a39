// Environment variables and system facts on POSIX systems: the environment and the host name
// are real; the Windows version, measures, processor layout and network are facts this system
// does not have.
#include "platform/system_info.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace kel::platform {

bool EnvironmentValue(const char* name, std::string& value) {
  const char* found = std::getenv(name);
  if (found == nullptr) return false;
  value = found;
  return true;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
    if ((*entry)[0] != '=') entries.emplace_back(*entry);
  return entries;
}

SystemFact ComputerName(int request, std::string& name) {
  if (request < 0 || request > 7) return SystemFact::BadRequest;
  utsname names{};
  if (uname(&names) != 0) names.nodename[0] = '\0';
  // The node name is the host name, possibly qualified; the short forms end at its first dot
  // and the domain is what follows it.
  std::string full = names.nodename;
  std::size_t dot = full.find('.');
  switch (request % 4) {
    case 0:
    case 1:
      name = full.substr(0, dot);
      break;
    case 2:
      name = dot == std::string::npos ? std::string() : full.substr(dot + 1);
      break;
    default:
      name = full;
      break;
  }
  return SystemFact::Answered;
}

SystemFact DosVersionPart(int, std::int32_t&) {
  return SystemFact::Unavailable;
}

SystemFact SystemMetric(int, std::int32_t&) {
  return SystemFact::Unavailable;
}

SystemFact ProcessorFacts(std::vector<std::uint64_t>&) {
  return SystemFact::Unavailable;
}

SystemFact WindowsVersionPart(int, std::int32_t&, std::string&) {
  return SystemFact::Unavailable;
}

SystemFact NetworkFacts(int, std::vector<std::string>&) {
  return SystemFact::Unavailable;
}

// Programs here carry no signature or manifest of that kind, and there is no elevation of a
// token or switch for performance counters.
SystemFact ProgramSignatureValid(bool&) {
  return SystemFact::Unavailable;
}

SystemFact ProgramExecutionLevel(std::string&) {
  return SystemFact::Unavailable;
}

SystemFact ProcessElevation(Elevation&) {
  return SystemFact::Unavailable;
}

SystemFact PerformanceCountersDisabled(bool&) {
  return SystemFact::Unavailable;
}

}  // namespace kel::platform
