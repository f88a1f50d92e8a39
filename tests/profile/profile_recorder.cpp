// Records how the system's profile services answer a table of questions, so that the POSIX
// build can be held to the same answers (profile_test.cpp replays the recorded table).
//
// Usage (the Windows build, under Wine from the build tree):
//   profile_recorder questions.txt > recorded.txt
//
// Every question is one line of tab-separated fields (escapes: \\ \t \r \n \0, and \N for a
// null pointer or, as the file text, for a file that does not exist):
//   get   FILE-TEXT SECTION KEY DEFAULT   GetPrivateProfileStringA
//   put   FILE-TEXT SECTION KEY VALUE     WritePrivateProfileStringA
// Each answer is the question followed by two fields: what the call returned (the text with
// its length, for a read; 1 or 0 for a write) and the file's text afterwards. Lines that are
// empty or start with "#" are copied as they are.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "profile_table.h"

namespace {

using profile_table::Escape;
using profile_table::Field;

bool WriteFileText(const std::string& path, const Field& text) {
  DeleteFileA(path.c_str());
  if (text.isNull) return true;
  std::ofstream out(path, std::ios::binary);
  out << text.text;
  return static_cast<bool>(out);
}

Field ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {"", true};
  return {std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), false};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: profile_recorder QUESTIONS\n");
    return 2;
  }
  _setmode(_fileno(stdout), _O_BINARY);  // the table keeps its LF line ends
  std::ifstream questions(argv[1], std::ios::binary);
  if (!questions) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  char directory[MAX_PATH];
  GetTempPathA(sizeof directory, directory);
  std::string base = std::string(directory) + "kel_profile_recorder_";
  int number = 0;
  std::printf(
      "# The system's answers to questions.txt, recorded by profile_recorder (its header\n"
      "# describes the fields); do not edit by hand.\n");
  for (std::string line; std::getline(questions, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') {
      std::printf("%s\n", line.c_str());
      continue;
    }
    std::vector<Field> fields = profile_table::Split(line);
    if (fields.size() != 5) {
      std::fprintf(stderr, "malformed question: %s\n", line.c_str());
      return 1;
    }
    // A file of its own for every question: no cached copy of an earlier one can answer.
    std::string path = base + std::to_string(++number) + ".ini";
    WriteFileText(path, fields[1]);
    const char* section = fields[2].pointer();
    const char* key = fields[3].pointer();
    const char* third = fields[4].pointer();
    Field answer;
    if (fields[0].text == "get") {
      std::vector<char> buffer(65535);
      DWORD length = GetPrivateProfileStringA(section, key, third, buffer.data(),
                                              static_cast<DWORD>(buffer.size()), path.c_str());
      answer.text.assign(buffer.data(), length);
    } else if (fields[0].text == "put") {
      answer.text = WritePrivateProfileStringA(section, key, third, path.c_str()) ? "1" : "0";
      WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    } else {
      std::fprintf(stderr, "unknown question: %s\n", line.c_str());
      return 1;
    }
    Field after = ReadFileText(path);
    DeleteFileA(path.c_str());
    std::printf("%s\t%s\t%s\n", line.c_str(), Escape(answer).c_str(), Escape(after).c_str());
    std::fflush(stdout);
  }
  return 0;
}
