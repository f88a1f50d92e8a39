// Helpers shared by the loader tests: fixture paths, scratch files, and hidden texts.
#ifndef KEL_TESTS_UNIT_LOADER_SUPPORT_H
#define KEL_TESTS_UNIT_LOADER_SUPPORT_H

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/batch_context.h"
#include "loader/hidden_text.h"
#include "loader/line_reader.h"
#include "loader/source_lines.h"
#include "platform/platform.h"

namespace kel::testing {

// A file of tests/unit/fixtures/loader; the directory comes from the build, already in the form
// the test program's system understands.
inline std::string LoaderFixture(const std::string& name) {
  return std::string(KEL_LOADER_FIXTURES) + "/" + name;
}

// A directory of scratch files, removed with everything in it at the end of the test.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    static std::atomic<int> counter{0};
    path_ =
        std::filesystem::temp_directory_path() /
        ("kel-loader-" + std::to_string(platform::TickCount()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  // Writes the bytes as a file and returns its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::filesystem::path file = path_ / name;
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return file.string();
  }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A plain text hidden the way a loaded script is, with its terminator.
class HiddenText {
 public:
  HiddenText(BatchContext& context, const std::string& plain) : bytes_(plain.begin(), plain.end()) {
    bytes_.push_back('\0');
    HideText(context, reinterpret_cast<char*>(bytes_.data()), bytes_.size());
  }
  ScriptText text() {
    return ScriptText{bytes_.data(), static_cast<std::uint32_t>(bytes_.size() - 1), 0, 0};
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// One line as the reader gave it, with where it came from.
struct ReadLineResult {
  std::string text;
  std::uint32_t lineStart;
  std::uint32_t pendingError;
};

inline std::vector<ReadLineResult> ReadAllLines(BatchContext& context, const ScriptText& text) {
  std::vector<ReadLineResult> lines;
  char buffer[kLineBufferBytes];
  std::uint32_t next = 0, start = 0;
  while (ReadLine(context, buffer, sizeof buffer, text, start, next) != 0)
    lines.push_back({buffer, start, context.loader.pendingLineError});
  return lines;
}

}  // namespace kel::testing

#endif  // KEL_TESTS_UNIT_LOADER_SUPPORT_H
