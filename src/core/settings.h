// Names of the engine's settings file and its sections.
#ifndef KEL_CORE_SETTINGS_H
#define KEL_CORE_SETTINGS_H

namespace kel {

constexpr char kSettingsFile[] = "ZENTRIQ.INI";
constexpr char kSettingsMain[] = "MAIN";
constexpr char kSettingsErrorReporting[] = "Error Reporting";
constexpr char kSettingsCore[] = "KELCORE1";

}  // namespace kel

#endif  // KEL_CORE_SETTINGS_H
