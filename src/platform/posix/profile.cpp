// Profile (INI) files on POSIX systems. The file is read whole on every call and, when a write
// changes it, written whole again, with the rules of the Windows profile services: lines are
// trimmed and blank ones dropped, "[name]" opens a section (up to its last "]"), "key=value"
// sets a key and a line without "=" is a key without value; names compare without regard to
// case; the first of several equal sections or keys is the one that answers; lines before the
// first section form a section without name. A bare file name lives in the user's
// configuration directory ($XDG_CONFIG_HOME/kel, else ~/.config/kel); in any other name a
// backslash separates directories as a slash does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

namespace kel::platform {
namespace {

struct ProfileKey {
  std::string name;
  std::string value;
  bool hasValue;  // false for a line without "="
};

struct ProfileSection {
  std::string name;
  std::vector<ProfileKey> keys;
};

// The sections in file order; the first holds the lines before any section header.
struct Profile {
  std::vector<ProfileSection> sections;
};

constexpr char kSystemProfile[] = "WIN.INI";

std::string SettingsDirectory() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg != nullptr && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home && *home ? home : ".") + "/.config";
  }
  return base + "/kel";
}

bool IsBareName(const char* file) {
  return std::strpbrk(file, "/\\") == nullptr;
}

// A name with a directory is a path, whichever of the two separators it uses.
std::string ResolveProfilePath(const char* file) {
  if (IsBareName(file)) return SettingsDirectory() + "/" + file;
  std::string path = file;
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// The blanks the profile services trim: white space and the old end-of-file mark.
bool IsProfileBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0x1A;
}

std::string_view TrimLeading(std::string_view text) {
  while (!text.empty() && IsProfileBlank(text.front()))
    text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimLeading(text);
  while (!text.empty() && IsProfileBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && UpperAnsi(a[i]) != UpperAnsi(b[i])) return false;
  return true;
}

Profile Parse(std::string_view text) {
  Profile profile;
  profile.sections.emplace_back();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty()) continue;
    if (line.front() == '[') {
      std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        profile.sections.push_back({std::string(Trim(line.substr(1, close - 1))), {}});
        continue;
      }
    }
    std::vector<ProfileKey>& keys = profile.sections.back().keys;
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      keys.push_back({std::string(line), {}, false});
    } else {
      keys.push_back({std::string(Trim(line.substr(0, equals))),
                      std::string(Trim(line.substr(equals + 1))), true});
    }
  }
  return profile;
}

Profile Load(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return Parse({});
  std::string text;
  char chunk[16384];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    text.append(chunk, got);
  std::fclose(file);
  return Parse(text);
}

std::string Serialise(const Profile& profile) {
  std::string text;
  for (const ProfileSection& section : profile.sections) {
    if (!section.name.empty()) text.append("[").append(section.name).append("]\r\n");
    for (const ProfileKey& key : section.keys) {
      text += key.name;
      if (key.hasValue) text.append("=").append(key.value);
      text += "\r\n";
    }
  }
  return text;
}

// Replaces the file through a new one beside it, so that a failed write leaves the old text.
bool Save(const std::string& path, bool bareName, const Profile& profile) {
  if (bareName) mkdir(SettingsDirectory().c_str(), 0755);
  std::string text = Serialise(profile);
  std::string temporary = path + ".XXXXXX";
  int descriptor = mkstemp(temporary.data());
  if (descriptor < 0) {
    posix::SetLastErrorFromErrno();
    return false;
  }
  struct stat old;
  fchmod(descriptor, stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644);
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t written = write(descriptor, text.data() + done, text.size() - done);
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  bool ok = done == text.size();
  if (close(descriptor) != 0) ok = false;
  if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
  posix::SetLastErrorFromErrno();
  unlink(temporary.c_str());
  return false;
}

ProfileSection* FindSection(Profile& profile, const char* name) {
  std::string_view wanted = Trim(name);
  for (ProfileSection& section : profile.sections)
    if (SameName(section.name, wanted)) return &section;
  return nullptr;
}

ProfileKey* FindKey(ProfileSection& section, const char* name) {
  std::string_view wanted = Trim(name);
  for (ProfileKey& key : section.keys)
    if (SameName(key.name, wanted)) return &key;
  return nullptr;
}

std::size_t CopyOut(std::string_view text, char* out, std::size_t size) {
  std::size_t length = text.size() < size ? text.size() : size - 1;
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return length;
}

// A value that starts and ends with the same quote (single or double) is read without them.
std::size_t CopyValue(std::string_view value, char* out, std::size_t size) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return CopyOut(value, out, size);
}

std::size_t CopyFallback(const char* fallback, char* out, std::size_t size) {
  std::string_view text = fallback != nullptr ? fallback : "";
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  return CopyOut(text, out, size);
}

// Names, each followed by a NUL, and one more NUL; a list that does not fit is cut and still
// ends with two NULs, and its length is then size - 2.
std::size_t CopyList(const std::vector<std::string_view>& names, char* out, std::size_t size) {
  if (size < 2) {
    if (size == 1) out[0] = '\0';
    return 0;
  }
  std::size_t at = 0;
  for (std::string_view name : names) {
    if (at + name.size() + 1 > size - 1) {
      std::size_t room = size - 2 - at;
      std::memcpy(out + at, name.data(), room < name.size() ? room : name.size());
      out[size - 2] = '\0';
      out[size - 1] = '\0';
      return size - 2;
    }
    std::memcpy(out + at, name.data(), name.size());
    at += name.size();
    out[at++] = '\0';
  }
  out[at] = '\0';
  return at;
}

}  // namespace

std::size_t SettingsFilePath(const char* name, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  return CopyOut(ResolveProfilePath(name), out, size);
}

std::size_t ReadProfileText(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  Profile profile = Load(ResolveProfilePath(file));
  std::vector<std::string_view> names;
  if (section == nullptr) {
    for (const ProfileSection& each : profile.sections)
      if (!each.name.empty()) names.emplace_back(each.name);
    return CopyList(names, out, size);
  }
  ProfileSection* found = FindSection(profile, section);
  if (key == nullptr) {
    if (found != nullptr) {
      // Comments and lines without "=" are not keys to list.
      for (const ProfileKey& each : found->keys)
        if (each.hasValue && (each.name.empty() || each.name.front() != ';'))
          names.emplace_back(each.name);
    }
    if (names.empty()) return CopyFallback(fallback, out, size);
    return CopyList(names, out, size);
  }
  ProfileKey* entry = found != nullptr ? FindKey(*found, key) : nullptr;
  if (entry == nullptr || !entry->hasValue) return CopyFallback(fallback, out, size);
  return CopyValue(entry->value, out, size);
}

int ReadProfileNumber(const char* file, const char* section, const char* key, int fallback) {
  char text[64];
  if (ReadProfileText(file, section, key, "", text, sizeof text) == 0) return fallback;
  return static_cast<int>(std::strtol(text, nullptr, 10));
}

bool WriteProfileText(const char* file, const char* section, const char* key, const char* value) {
  // Every write goes straight to the file: there is nothing to bring up to date.
  if (section == nullptr) return key == nullptr && value == nullptr;
  std::string path = ResolveProfilePath(file);
  Profile profile = Load(path);
  ProfileSection* found = FindSection(profile, section);
  if (key == nullptr) {
    if (found == nullptr) return true;
    profile.sections.erase(profile.sections.begin() + (found - profile.sections.data()));
  } else if (value == nullptr) {
    ProfileKey* entry = found != nullptr ? FindKey(*found, key) : nullptr;
    if (entry == nullptr) return true;
    found->keys.erase(found->keys.begin() + (entry - found->keys.data()));
  } else {
    // New names and values lose their leading blanks only.
    std::string_view text = TrimLeading(value);
    if (found == nullptr) {
      profile.sections.push_back({std::string(TrimLeading(section)), {}});
      found = &profile.sections.back();
    }
    ProfileKey* entry = FindKey(*found, key);
    if (entry == nullptr) {
      found->keys.push_back({std::string(TrimLeading(key)), std::string(text), true});
    } else if (entry->hasValue && entry->value == text) {
      return true;
    } else {
      entry->value = text;
      entry->hasValue = true;
    }
  }
  return Save(path, IsBareName(file), profile);
}

std::size_t ReadSystemProfileText(const char* section, const char* key, const char* fallback,
                                  char* out, std::size_t size) {
  return ReadProfileText(kSystemProfile, section, key, fallback, out, size);
}

bool WriteSystemProfileText(const char* section, const char* key, const char* value) {
  return WriteProfileText(kSystemProfile, section, key, value);
}

void AnnounceSystemProfileChange(const char*) {}

std::uint64_t ProfileFileSize(const char* file) {
  struct stat status;
  std::string path = ResolveProfilePath(file != nullptr ? file : kSystemProfile);
  return stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

}  // namespace kel::platform
