// The escaped, tab-separated fields of the profile question table (questions.txt and the
// recorded table): \\ \t \r \n \0 stand for themselves and \N for a null pointer, or for a
// file that does not exist.
#ifndef KEL_TESTS_PROFILE_PROFILE_TABLE_H
#define KEL_TESTS_PROFILE_PROFILE_TABLE_H

#include <string>
#include <vector>

namespace profile_table {

struct Field {
  std::string text;
  bool isNull = false;
  const char* pointer() const { return isNull ? nullptr : text.c_str(); }
  bool operator==(const Field& other) const { return isNull == other.isNull && text == other.text; }
};

inline Field Unescape(const std::string& raw) {
  if (raw == "\\N") return {"", true};
  Field field;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\\' && i + 1 < raw.size()) {
      switch (raw[++i]) {
        case 't':
          c = '\t';
          break;
        case 'r':
          c = '\r';
          break;
        case 'n':
          c = '\n';
          break;
        case '0':
          c = '\0';
          break;
        default:
          c = raw[i];
          break;
      }
    }
    field.text.push_back(c);
  }
  return field;
}

inline std::string Escape(const Field& field) {
  if (field.isNull) return "\\N";
  std::string out;
  for (char c : field.text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        out.push_back(c);
        break;
    }
  }
  return out;
}

inline std::vector<Field> Split(const std::string& line) {
  std::vector<Field> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    fields.push_back(Unescape(line.substr(start, tab - start)));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

}  // namespace profile_table

#endif  // KEL_TESTS_PROFILE_PROFILE_TABLE_H
