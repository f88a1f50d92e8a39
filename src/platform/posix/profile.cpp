// Profile (INI) files on POSIX systems, read and written with the rules of the Windows
// profile services: names compared without case, values trimmed and unquoted, a missing file
// read as empty and created on the first write. A bare file name lives in the user's
// configuration directory ($XDG_CONFIG_HOME/kel, else ~/.config/kel).
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace kel::platform {
namespace {

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

std::string ResolveProfilePath(const char* file) {
  if (std::strchr(file, '/') != nullptr) return file;
  return SettingsDirectory() + "/" + file;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The section name of a "[name]" line, or nothing.
bool SectionName(std::string_view line, std::string_view* name) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return false;
  std::size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  *name = Trim(line.substr(1, close - 1));
  return true;
}

// The key and value of a "key=value" line.
bool KeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  *key = Trim(line.substr(0, equals));
  *value = Trim(line.substr(equals + 1));
  return true;
}

bool MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    mkdir(part.c_str(), 0755);
  }
  return true;
}

std::size_t CopyOut(std::string_view text, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  std::size_t length = text.size() < size ? text.size() : size - 1;
  std::memcpy(out, text.data(), length);
  out[length] = '\0';
  return length;
}

}  // namespace

std::size_t SettingsFilePath(const char* name, char* out, std::size_t size) {
  return CopyOut(ResolveProfilePath(name), out, size);
}

std::size_t ReadProfileText(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, std::size_t size) {
  std::string_view current;
  bool inSection = false;
  for (const std::string& line : ReadLines(ResolveProfilePath(file))) {
    std::string_view name, k, v;
    if (SectionName(line, &name)) {
      inSection = SameName(name, section);
    } else if (inSection && KeyValue(line, &k, &v) && SameName(k, key)) {
      // A value wrapped in a matching pair of quotes is read without them.
      if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
      return CopyOut(v, out, size);
    }
  }
  return CopyOut(fallback ? fallback : "", out, size);
}

int ReadProfileNumber(const char* file, const char* section, const char* key, int fallback) {
  char text[64];
  if (ReadProfileText(file, section, key, "", text, sizeof text) == 0) return fallback;
  return static_cast<int>(std::strtol(text, nullptr, 10));
}

bool WriteProfileText(const char* file, const char* section, const char* key, const char* value) {
  std::string path = ResolveProfilePath(file);
  std::vector<std::string> lines = ReadLines(path);
  std::vector<std::string> result;
  bool inSection = false, sectionSeen = false, written = false;
  std::size_t sectionEnd = 0;  // where a new key of the section goes
  for (const std::string& line : lines) {
    std::string_view name, k, v;
    if (SectionName(line, &name)) {
      if (inSection && !written && key != nullptr && value != nullptr) {
        result.insert(result.begin() + static_cast<std::ptrdiff_t>(sectionEnd),
                      std::string(key) + "=" + value);
        written = true;
      }
      inSection = SameName(name, section);
      if (inSection) sectionSeen = true;
      if (inSection && key == nullptr) continue;  // the whole section goes
      result.push_back(line);
      sectionEnd = result.size();
      continue;
    }
    if (inSection) {
      if (key == nullptr) continue;
      if (KeyValue(line, &k, &v) && SameName(k, key)) {
        if (value != nullptr && !written) {
          result.push_back(std::string(key) + "=" + value);
          written = true;
        }
        sectionEnd = result.size();
        continue;
      }
      result.push_back(line);
      if (!Trim(line).empty()) sectionEnd = result.size();
      continue;
    }
    result.push_back(line);
  }
  if (key != nullptr && value != nullptr && !written) {
    if (inSection) {
      result.insert(result.begin() + static_cast<std::ptrdiff_t>(sectionEnd),
                    std::string(key) + "=" + value);
    } else if (!sectionSeen || !inSection) {
      result.push_back(std::string("[") + section + "]");
      result.push_back(std::string(key) + "=" + value);
    }
  }
  MakeDirectories(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    posix::SetLastErrorFromErrno();
    return false;
  }
  for (const std::string& line : result)
    out << line << "\r\n";
  return static_cast<bool>(out);
}

}  // namespace kel::platform
