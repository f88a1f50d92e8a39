// Named pipes in message mode: a server end that waits for one client, and the client end.
// Windows uses its named pipes ("\\.\pipe\name"); POSIX uses a local socket that keeps message
// boundaries, in the user's runtime directory, one socket path for each pipe name (the name is
// compared without regard to case, as Windows does). Handles are small integers on both.
//
// Every step that can take a while is split: it starts the operation, and the caller waits for
// it slice by slice (so that it can let the host's messages through between two slices) until
// it is done or has failed. Failures leave LastSystemError() set in the Windows numbering.
#ifndef KEL_PLATFORM_PIPES_H
#define KEL_PLATFORM_PIPES_H

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace kel::platform {

constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorBrokenPipe = 109;
constexpr std::uint32_t kErrorPipeNotConnected = 233;
constexpr std::uint32_t kErrorPipeListening = 536;
constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;
constexpr std::uint32_t kErrorTimeout = 1460;

using PipeHandle = std::intptr_t;

enum class PipeStep {
  Done,             // the operation has completed
  Waiting,          // not yet: wait for it again
  Failed,           // it failed: LastSystemError() says why
  FailedInMessage,  // a message had begun to arrive when reading it failed
};

// The server end: created and waiting for a client.
bool CreatePipeServer(const std::u16string& name, PipeHandle* pipe);
// Starts (first call) or goes on waiting (later calls) for a client to connect, up to
// `milliseconds` for this call; a message arriving for the thread ends the slice early.
PipeStep AwaitPipeClient(PipeHandle pipe, std::uint32_t milliseconds);
// Reads one whole message, started by the first call and waited for as above.
PipeStep ReadPipeMessage(PipeHandle pipe, std::uint32_t milliseconds, std::string* message);
// Writes one message, started by the first call and waited for as above.
PipeStep WritePipeMessage(PipeHandle pipe, const std::string& message, std::uint32_t milliseconds);
// Whether the client has let go of its end (Done), is still there (Waiting), or the question
// failed.
PipeStep PipeClientGone(PipeHandle pipe);
// Abandons the operation still pending on a handle.
void CancelPipeOperation(PipeHandle pipe);
// Closes a server end, disconnecting its client.
void ClosePipeServer(PipeHandle pipe);

// The client end: one attempt to open the pipe of that name.
bool OpenPipeClient(const std::u16string& name, PipeHandle* pipe);
// Writes one message and returns when it is written.
bool SendPipeMessage(PipeHandle pipe, const std::string& message);
// The number of bytes of the message waiting to be read (0: none yet); false when the pipe
// has failed.
bool PipeBytesWaiting(PipeHandle pipe, std::uint32_t* bytes);
// Reads the waiting message.
bool ReceivePipeMessage(PipeHandle pipe, std::uint32_t bytes, std::string* message);
void ClosePipeClient(PipeHandle pipe);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_PIPES_H
