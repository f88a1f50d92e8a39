// Profile (INI) files: the private profiles a script names, the system's own profile (WIN.INI)
// and the engine's settings file. On Windows these are the system's profile services; the
// POSIX build reads and writes the files itself and gives the same answers, down to the odd
// cases (recorded from the system's services in tests/profile).
#ifndef KEL_PLATFORM_PROFILE_H
#define KEL_PLATFORM_PROFILE_H

#include <cstddef>
#include <cstdint>

namespace kel::platform {

// A file name without a directory means a file in the profiles' usual place.
//
// Reads a value into `out` (at most size - 1 characters and a terminator) and returns its
// length. A missing key gives `fallback` (trailing blanks removed; null means empty). A null
// key lists the key names of the section instead, a null section the section names: each name
// is followed by a NUL and the list by one more, which the returned length does not count; an
// empty list of keys gives `fallback`, an empty list of sections gives nothing.
std::size_t ReadProfileText(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, std::size_t size);
int ReadProfileNumber(const char* file, const char* section, const char* key, int fallback);
// Writes a value; a null value deletes the key, a null key the whole section; all three null
// only makes sure the file is up to date on disk. False with LastSystemError() when the file
// cannot be written.
bool WriteProfileText(const char* file, const char* section, const char* key, const char* value);
// The same on the system's own profile, WIN.INI.
std::size_t ReadSystemProfileText(const char* section, const char* key, const char* fallback,
                                  char* out, std::size_t size);
bool WriteSystemProfileText(const char* section, const char* key, const char* value);
// Tells the running programs that a section of the system's profile changed (a no-op where
// programs are not told).
void AnnounceSystemProfileChange(const char* section);
// The size in bytes of a profile file (null: the system's own), 0 when it does not exist.
std::uint64_t ProfileFileSize(const char* file);
// Where a bare settings-file name resolves to (written into `out`, zero-terminated).
std::size_t SettingsFilePath(const char* name, char* out, std::size_t size);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_PROFILE_H
