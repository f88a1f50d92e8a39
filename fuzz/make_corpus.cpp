// Makes the fuzz targets' seed inputs from the test scripts and the examples, and the dictionary
// of the keyword table's names and operators, at build time, so that both follow the sources.
//
//   kel_fuzz_corpus texts OUT FILE...                  each file as it stands
//   kel_fuzz_corpus tokens OUT FILE...                 each file behind a mode byte
//   kel_fuzz_corpus numbers OUT FILE...                the number-like words of the files
//   kel_fuzz_corpus functions OUT NAME,NAME... FILE... the calls of those functions whose
//                                                      arguments are all literals
//   kel_fuzz_corpus dictionary OUT KEYWORDS [EXTRA]    the names of the keyword list
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMostWords = 1000;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Output {
 public:
  explicit Output(const std::string& directory) : directory_(directory) {
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void Write(const std::string& stem, const std::string& bytes) {
    std::string name = stem + "-" + std::to_string(++count_);
    std::ofstream(directory_ / name, std::ios::binary) << bytes;
  }

 private:
  fs::path directory_;
  int count_ = 0;
};

std::string Stem(const std::string& path) {
  return fs::path(path).stem().string();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Lower(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Words that read as numbers: digits with signs, points, exponents and hexadecimal letters,
// inside quotes or out.
void Numbers(Output& out, const std::vector<std::string>& files) {
  std::set<std::string> words;
  for (const std::string& file : files) {
    std::string text = ReadFile(file);
    for (std::size_t i = 0; i < text.size() && words.size() < kMostWords;) {
      auto c = static_cast<unsigned char>(text[i]);
      if (!std::isdigit(c)) {
        ++i;
        continue;
      }
      std::size_t start = i;
      if (start > 0 && (text[start - 1] == '-' || text[start - 1] == '+' || text[start - 1] == '.'))
        --start;
      while (i < text.size() &&
             (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '.' ||
              ((text[i] == '-' || text[i] == '+') && (text[i - 1] == 'e' || text[i - 1] == 'E'))))
        ++i;
      words.insert(text.substr(start, i - start));
    }
  }
  for (const std::string& word : words)
    out.Write("number", word);
}

// One literal argument: a quoted text, a number or one of the text constants.
bool ReadLiteral(const std::string& line, std::size_t& at, std::string& value) {
  while (at < line.size() && line[at] == ' ')
    ++at;
  if (at >= line.size()) return false;
  char quote = line[at];
  if (quote == '"' || quote == '\'' || quote == '`') {
    std::size_t end = line.find(quote, at + 1);
    if (end == std::string::npos) return false;
    value = line.substr(at + 1, end - at - 1);
    at = end + 1;
    return true;
  }
  std::size_t end = at;
  while (end < line.size() && line[end] != ',' && line[end] != ')')
    ++end;
  std::string word = line.substr(at, end - at);
  while (!word.empty() && word.back() == ' ')
    word.pop_back();
  at = end;
  std::string lower = Lower(word);
  if (lower == "@tab") {
    value = "\t";
  } else if (lower == "@crlf") {
    value = "\r\n";
  } else if (lower == "@lf") {
    value = "\n";
  } else if (lower == "@cr") {
    value = "\r";
  } else if (!word.empty() && word.find_first_not_of("+-0123456789.") == std::string::npos) {
    value = word;
  } else {
    return false;  // a variable or an expression: not a literal
  }
  return true;
}

// The calls of the named functions whose arguments are all literals, in the function target's
// form: the function's place in the list, the number of arguments (and a second seed with the
// UTF-16 bit), then the arguments separated by zero bytes.
void Functions(Output& out, const std::string& list, const std::vector<std::string>& files) {
  std::vector<std::string> names;
  std::istringstream in(list);
  for (std::string name; std::getline(in, name, ',');)
    names.push_back(Lower(name));
  std::set<std::string> seeds;
  for (const std::string& file : files) {
    for (const std::string& line : Lines(ReadFile(file))) {
      std::string lower = Lower(line);
      for (std::size_t index = 0; index < names.size(); ++index) {
        std::string call = names[index] + "(";
        for (std::size_t at = lower.find(call); at != std::string::npos;
             at = lower.find(call, at + 1)) {
          if (at > 0 && std::isalnum(static_cast<unsigned char>(lower[at - 1]))) continue;
          std::size_t position = at + call.size();
          std::vector<std::string> arguments;
          std::string value;
          bool literal = true;
          while (literal && position < line.size() && line[position] != ')') {
            literal = ReadLiteral(line, position, value);
            if (!literal) break;
            arguments.push_back(value);
            while (position < line.size() && line[position] == ' ')
              ++position;
            if (position < line.size() && line[position] == ',') ++position;
          }
          if (!literal || position >= line.size() || arguments.size() > 15) continue;
          std::string bytes;
          bytes += static_cast<char>(index);
          bytes += static_cast<char>(arguments.size() << 1);
          for (std::size_t i = 0; i < arguments.size(); ++i) {
            if (i > 0) bytes += '\0';
            bytes += arguments[i];
          }
          seeds.insert(bytes);
          bytes[1] = static_cast<char>(bytes[1] | 1);
          seeds.insert(bytes);
        }
      }
    }
  }
  for (const std::string& seed : seeds)
    out.Write("call", seed);
}

// A dictionary entry in the fuzzer's quoting.
std::string Entry(const std::string& word) {
  std::string quoted = "\"";
  for (char c : word) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 127) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
      quoted += hex;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

// Every name of the keyword list (the first quoted text of each row), then the extra entries.
void Dictionary(const std::string& path, const std::string& keywords, const std::string& extra) {
  std::set<std::string> names;
  for (const std::string& line : Lines(ReadFile(keywords))) {
    if (line.rfind("KEL_", 0) != 0) continue;
    std::size_t open = line.find('"');
    std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
    if (close == std::string::npos) continue;
    names.insert(line.substr(open + 1, close - open - 1));
  }
  std::ofstream out(path, std::ios::binary);
  out << "# The names and operators of the keyword list, generated at build time.\n";
  for (const std::string& name : names)
    out << Entry(name) << "\n";
  if (!extra.empty()) out << ReadFile(extra);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: kel_fuzz_corpus MODE OUT ...\n");
    return 2;
  }
  std::string mode = argv[1], target = argv[2];
  if (mode == "dictionary") {
    if (argc < 4) return 2;
    Dictionary(target, argv[3], argc > 4 ? argv[4] : "");
    return 0;
  }
  int first = mode == "functions" ? 4 : 3;
  if (argc < first) return 2;
  std::vector<std::string> files(argv + first, argv + argc);
  std::sort(files.begin(), files.end());
  Output out(target);
  if (mode == "texts" || mode == "tokens") {
    int n = 0;
    for (const std::string& file : files) {
      std::string text = ReadFile(file);
      out.Write(Stem(file),
                mode == "tokens" ? std::string(1, static_cast<char>(n++ % 4)) + text : text);
    }
  } else if (mode == "numbers") {
    Numbers(out, files);
  } else if (mode == "functions") {
    Functions(out, argv[3], files);
  } else {
    std::fprintf(stderr, "kel_fuzz_corpus: unknown mode %s\n", mode.c_str());
    return 2;
  }
  return 0;
}
