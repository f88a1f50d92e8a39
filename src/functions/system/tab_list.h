// The tab-delimited item list that the environment and system functions answer with.
#ifndef KEL_FUNCTIONS_SYSTEM_TAB_LIST_H
#define KEL_FUNCTIONS_SYSTEM_TAB_LIST_H

#include <string>
#include <vector>

namespace kel {

inline std::string TabList(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) {
    if (!list.empty()) list += '\t';
    list += item;
  }
  return list;
}

}  // namespace kel

#endif  // KEL_FUNCTIONS_SYSTEM_TAB_LIST_H
