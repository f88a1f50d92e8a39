// The profile services against the system's recorded answers (recorded.txt, made by
// profile_recorder from questions.txt): every read gives the recorded text and every write
// leaves the recorded file behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "profile_table.h"

namespace {

namespace platform = kel::platform;
using profile_table::Escape;
using profile_table::Field;

class ProfileTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::filesystem::temp_directory_path() /
                 ("kel_profile_test_" + std::to_string(std::rand()));
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  // A file of its own for every case: no cached copy of an earlier one can answer.
  void Prepare(const Field& text, int number) {
    path_ = (directory_ / ("case" + std::to_string(number) + ".ini")).string();
    if (text.isNull) return;
    std::ofstream(path_, std::ios::binary) << text.text;
  }
  Field FileText() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return {"", true};
    return {std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
            false};
  }

  std::filesystem::path directory_;
  std::string path_;
};

TEST_F(ProfileTableTest, EveryRecordedAnswerIsReproduced) {
  std::ifstream table(KEL_PROFILE_TABLE, std::ios::binary);
  ASSERT_TRUE(table) << KEL_PROFILE_TABLE " not found";
  int cases = 0;
  for (std::string line; std::getline(table, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<Field> fields = profile_table::Split(line);
    ASSERT_EQ(fields.size(), 7u) << line;
    ++cases;
    Prepare(fields[1], cases);
    Field answer;
    if (fields[0].text == "get") {
      std::vector<char> buffer(65535);
      std::size_t length =
          platform::ReadProfileText(path_.c_str(), fields[2].pointer(), fields[3].pointer(),
                                    fields[4].pointer(), buffer.data(), buffer.size());
      answer.text.assign(buffer.data(), length);
    } else {
      answer.text = platform::WriteProfileText(path_.c_str(), fields[2].pointer(),
                                               fields[3].pointer(), fields[4].pointer())
                        ? "1"
                        : "0";
      platform::WriteProfileText(path_.c_str(), nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(Escape(answer), Escape(fields[5])) << line;
    EXPECT_EQ(Escape(FileText()), Escape(fields[6])) << line;
  }
  EXPECT_GT(cases, 100);
}

}  // namespace
