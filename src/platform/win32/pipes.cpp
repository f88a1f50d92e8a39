// Named pipes on Windows. The server end is overlapped: each operation is started once and then
// waited for in slices, on an event of the handle's own, waking also for the thread's messages.
// The client end works with plain blocking calls and polls for the answer.
#include <windows.h>

#include <map>
#include <string>

#include "platform/pipes.h"
#include "platform/platform.h"

namespace kel::platform {
namespace {

constexpr DWORD kInstances = 100;
constexpr DWORD kBufferBytes = 512;
constexpr DWORD kDefaultTimeoutMs = 1000;

enum class Operation { None, Connect, Read, Write };

// What a server handle has under way.
struct ServerState {
  OVERLAPPED overlapped{};
  HANDLE event = nullptr;
  Operation pending = Operation::None;
  char firstByte = 0;
  std::string writing;  // the bytes of a pending write, kept until it completes
};

std::map<HANDLE, ServerState>& Servers() {
  static std::map<HANDLE, ServerState> servers;
  return servers;
}

HANDLE HandleOf(PipeHandle pipe) {
  return reinterpret_cast<HANDLE>(pipe);
}

ServerState* StateOf(PipeHandle pipe) {
  auto found = Servers().find(HandleOf(pipe));
  if (found == Servers().end()) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return &found->second;
}

// Starts an operation on the handle's overlapped record.
void Begin(ServerState& state, Operation operation) {
  ::ResetEvent(state.event);
  HANDLE event = state.event;
  state.overlapped = OVERLAPPED{};
  state.overlapped.hEvent = event;
  state.pending = operation;
}

// Waits up to `milliseconds` for the pending operation, or for a message for the thread.
// Done with the bytes moved, Waiting, or Failed with the system's error.
PipeStep Finish(PipeHandle pipe, ServerState& state, std::uint32_t milliseconds, DWORD* moved) {
  DWORD wait = ::MsgWaitForMultipleObjects(1, &state.event, FALSE, milliseconds, QS_ALLINPUT);
  if (wait != WAIT_OBJECT_0) return PipeStep::Waiting;
  state.pending = Operation::None;
  if (::GetOverlappedResult(HandleOf(pipe), &state.overlapped, moved, FALSE)) return PipeStep::Done;
  return ::GetLastError() == ERROR_MORE_DATA ? PipeStep::Done : PipeStep::Failed;
}

// The rest of a message whose first byte has been read.
PipeStep ReadRest(PipeHandle pipe, ServerState& state, std::string* message) {
  DWORD left = 0;
  if (!::PeekNamedPipe(HandleOf(pipe), nullptr, 0, nullptr, nullptr, &left))
    return PipeStep::FailedInMessage;
  message->assign(1, state.firstByte);
  if (left == 0) return PipeStep::Done;
  std::string rest(left, '\0');
  Begin(state, Operation::Read);
  DWORD moved = 0;
  if (!::ReadFile(HandleOf(pipe), rest.data(), left, nullptr, &state.overlapped) &&
      ::GetLastError() != ERROR_IO_PENDING) {
    state.pending = Operation::None;
    return PipeStep::FailedInMessage;
  }
  if (Finish(pipe, state, INFINITE, &moved) != PipeStep::Done) return PipeStep::FailedInMessage;
  message->append(rest.data(), moved);
  return PipeStep::Done;
}

}  // namespace

bool CreatePipeServer(const std::u16string& name, PipeHandle* pipe) {
  // An access list that is present but empty of rules lets every user connect.
  SECURITY_DESCRIPTOR descriptor;
  if (!::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
    return false;
  SECURITY_ATTRIBUTES security{sizeof security, &descriptor, FALSE};
  HANDLE handle = ::CreateNamedPipeW(
      reinterpret_cast<const wchar_t*>(name.c_str()), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, kInstances, kBufferBytes, kBufferBytes,
      kDefaultTimeoutMs, &security);
  if (handle == INVALID_HANDLE_VALUE) return false;
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) {
    ::CloseHandle(handle);
    return false;
  }
  Servers()[handle].event = event;
  *pipe = reinterpret_cast<PipeHandle>(handle);
  return true;
}

PipeStep AwaitPipeClient(PipeHandle pipe, std::uint32_t milliseconds) {
  ServerState* state = StateOf(pipe);
  if (state == nullptr) return PipeStep::Failed;
  if (state->pending == Operation::None) {
    Begin(*state, Operation::Connect);
    if (::ConnectNamedPipe(HandleOf(pipe), &state->overlapped)) {
      state->pending = Operation::None;
      return PipeStep::Done;
    }
    DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
      state->pending = Operation::None;
      return error == ERROR_PIPE_CONNECTED ? PipeStep::Done : PipeStep::Failed;
    }
  }
  DWORD moved = 0;
  return Finish(pipe, *state, milliseconds, &moved);
}

PipeStep ReadPipeMessage(PipeHandle pipe, std::uint32_t milliseconds, std::string* message) {
  ServerState* state = StateOf(pipe);
  if (state == nullptr) return PipeStep::Failed;
  if (state->pending == Operation::None) {
    Begin(*state, Operation::Read);
    if (::ReadFile(HandleOf(pipe), &state->firstByte, 1, nullptr, &state->overlapped)) {
      state->pending = Operation::None;
      return ReadRest(pipe, *state, message);
    }
    DWORD error = ::GetLastError();
    if (error == ERROR_MORE_DATA || error == ERROR_HANDLE_EOF) {
      state->pending = Operation::None;
      return ReadRest(pipe, *state, message);
    }
    if (error != ERROR_IO_PENDING) {
      state->pending = Operation::None;
      return PipeStep::Failed;
    }
  }
  DWORD moved = 0;
  PipeStep step = Finish(pipe, *state, milliseconds, &moved);
  if (step != PipeStep::Done) return step;
  return ReadRest(pipe, *state, message);
}

PipeStep WritePipeMessage(PipeHandle pipe, const std::string& message, std::uint32_t milliseconds) {
  ServerState* state = StateOf(pipe);
  if (state == nullptr) return PipeStep::Failed;
  if (state->pending == Operation::None) {
    state->writing = message;
    Begin(*state, Operation::Write);
    if (::WriteFile(HandleOf(pipe), state->writing.data(),
                    static_cast<DWORD>(state->writing.size()), nullptr, &state->overlapped)) {
      state->pending = Operation::None;
      return PipeStep::Done;
    }
    if (::GetLastError() != ERROR_IO_PENDING) {
      state->pending = Operation::None;
      return PipeStep::Failed;
    }
  }
  DWORD moved = 0;
  return Finish(pipe, *state, milliseconds, &moved);
}

PipeStep PipeClientGone(PipeHandle pipe) {
  ServerState* state = StateOf(pipe);
  if (state == nullptr) return PipeStep::Done;
  DWORD mode = PIPE_READMODE_MESSAGE | PIPE_NOWAIT;
  ::SetNamedPipeHandleState(HandleOf(pipe), &mode, nullptr, nullptr);
  if (state->pending != Operation::None) ::CancelIo(HandleOf(pipe));
  Begin(*state, Operation::Connect);
  BOOL connected = ::ConnectNamedPipe(HandleOf(pipe), &state->overlapped);
  DWORD error = ::GetLastError();
  state->pending = Operation::None;
  if (connected) return PipeStep::Done;
  switch (error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_LISTENING:
    case ERROR_PIPE_NOT_CONNECTED:
    case ERROR_INVALID_HANDLE:
    case ERROR_IO_PENDING:
    case ERROR_NO_DATA:
      return PipeStep::Done;
    default:
      return PipeStep::Waiting;
  }
}

void CancelPipeOperation(PipeHandle pipe) {
  ServerState* state = StateOf(pipe);
  ::CancelIo(HandleOf(pipe));
  if (state != nullptr) state->pending = Operation::None;
}

void ClosePipeServer(PipeHandle pipe) {
  auto found = Servers().find(HandleOf(pipe));
  if (found == Servers().end()) return;
  ::CancelIo(HandleOf(pipe));
  ::DisconnectNamedPipe(HandleOf(pipe));
  ::CloseHandle(HandleOf(pipe));
  ::CloseHandle(found->second.event);
  Servers().erase(found);
}

bool OpenPipeClient(const std::u16string& name, PipeHandle* pipe) {
  HANDLE handle =
      ::CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD mode = PIPE_READMODE_MESSAGE;
  ::SetNamedPipeHandleState(handle, &mode, nullptr, nullptr);
  *pipe = reinterpret_cast<PipeHandle>(handle);
  return true;
}

bool SendPipeMessage(PipeHandle pipe, const std::string& message) {
  DWORD written = 0;
  return ::WriteFile(HandleOf(pipe), message.data(), static_cast<DWORD>(message.size()), &written,
                     nullptr) != FALSE;
}

bool PipeBytesWaiting(PipeHandle pipe, std::uint32_t* bytes) {
  DWORD available = 0;
  if (!::PeekNamedPipe(HandleOf(pipe), nullptr, 0, nullptr, &available, nullptr)) return false;
  *bytes = available;
  return true;
}

bool ReceivePipeMessage(PipeHandle pipe, std::uint32_t bytes, std::string* message) {
  message->assign(bytes, '\0');
  DWORD read = 0;
  if (!::ReadFile(HandleOf(pipe), message->data(), bytes, &read, nullptr) &&
      ::GetLastError() != ERROR_MORE_DATA)
    return false;
  message->resize(read);
  return true;
}

void ClosePipeClient(PipeHandle pipe) {
  ::CloseHandle(HandleOf(pipe));
}

}  // namespace kel::platform
