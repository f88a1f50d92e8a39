// State shared by every context of the process: written once, then only read.
#ifndef KEL_CORE_PROCESS_STATE_H
#define KEL_CORE_PROCESS_STATE_H

#include <atomic>

#include "platform/platform.h"

namespace kel {

struct ProcessState {
  void* moduleInstance;
  platform::SystemInfo system;
  bool classesRegistered;
  std::atomic<int> entryBusy;
};

ProcessState& Process();

}  // namespace kel

#endif  // KEL_CORE_PROCESS_STATE_H
