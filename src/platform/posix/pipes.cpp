// Named pipes on a POSIX system: local sockets of the kind that keeps message boundaries, one
// socket path in the user's runtime directory for each pipe name. A server listens on the path
// until its client connects, then takes the connection over under the same handle and removes
// the path, so that the name is free for the next server, as a Windows pipe instance is.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/files.h"
#include "platform/pipes.h"
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

namespace kel::platform {
namespace {

constexpr std::uint32_t kErrorPipeBusy = 231;
constexpr std::uint32_t kErrorBadPipeName = 123;

// The socket path of each server end still listening, removed once a client has connected.
std::map<int, std::string>& ListeningPaths() {
  static std::map<int, std::string> paths;
  return paths;
}

void Fail(std::uint32_t code) {
  posix::SetLastSystemError(code);
}

std::uint32_t PipeErrorOf(int error) {
  switch (error) {
    case EBADF:
    case ENOTSOCK:
      return kErrorInvalidHandle;
    case EPIPE:
    case ECONNRESET:
      return kErrorBrokenPipe;
    case ENOTCONN:
      return kErrorPipeNotConnected;
    case ENOENT:
    case ECONNREFUSED:
      return kErrorFileNotFound;
    case EAGAIN:
      return kErrorPipeBusy;
    case ENOMEM:
    case ENOBUFS:
      return kErrorNotEnoughMemory;
    default:
      return kErrorBrokenPipe;
  }
}

// The pipe's own name: what follows "\\server\pipe\" (or the whole name without that prefix).
std::string PipeName(const std::u16string& name) {
  std::string text = posix::Utf8Of(name, posix::Backslashes::Keep);
  for (char& c : text)
    if (c == '/') c = '\\';
  if (text.compare(0, 2, "\\\\") == 0) {
    std::size_t server = text.find('\\', 2);
    if (server != std::string::npos && text.size() > server + 6) {
      std::string pipe = text.substr(server + 1, 5);
      for (char& c : pipe)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (pipe == "pipe\\") return text.substr(server + 6);
    }
  }
  return text;
}

// The socket path of a pipe name: letters are compared without case, and everything but
// letters, digits, "." and "-" is written as "%" and two hexadecimal digits. A name too long for
// a socket path is shortened to a digest of itself.
bool SocketPath(const std::u16string& name, std::string* path) {
  std::string pipe = PipeName(name);
  if (pipe.empty()) {
    Fail(kErrorBadPipeName);
    return false;
  }
  std::string encoded;
  for (unsigned char c : pipe) {
    c = static_cast<unsigned char>(std::tolower(c));
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-') {
      encoded += static_cast<char>(c);
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      encoded += escape;
    }
  }
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string directory;
  std::string prefix = "kel-pipe-";
  struct stat status {};
  if (runtime != nullptr && runtime[0] == '/' && stat(runtime, &status) == 0 &&
      S_ISDIR(status.st_mode)) {
    directory = runtime;
  } else {
    // The shared temporary directory: the user's id keeps two users' pipes apart.
    const char* temporary = std::getenv("TMPDIR");
    directory = temporary != nullptr && temporary[0] == '/' ? temporary : "/tmp";
    prefix += std::to_string(getuid()) + "-";
  }
  *path = directory + "/" + prefix + encoded;
  if (path->size() >= sizeof(sockaddr_un{}.sun_path)) {
    std::uint64_t digest = 14695981039346656037ull;
    for (unsigned char c : encoded)
      digest = (digest ^ c) * 1099511628211ull;
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(digest));
    *path = directory + "/" + prefix + text;
  }
  if (path->size() >= sizeof(sockaddr_un{}.sun_path)) {
    Fail(kErrorBadPipeName);
    return false;
  }
  return true;
}

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

int NewSocket() {
  return socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
}

bool Connect(int socket, const std::string& path) {
  sockaddr_un address = AddressOf(path);
  return connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// Whether a handle is one of these sockets at all: a number that is some other file must not be
// read or written as a pipe.
bool IsPipeSocket(PipeHandle pipe) {
  int type = 0;
  socklen_t length = sizeof type;
  if (pipe < 0 || pipe > 0x7FFFFFFF ||
      getsockopt(static_cast<int>(pipe), SOL_SOCKET, SO_TYPE, &type, &length) != 0 ||
      type != SOCK_SEQPACKET) {
    Fail(kErrorInvalidHandle);
    return false;
  }
  return true;
}

bool IsListening(PipeHandle pipe) {
  return ListeningPaths().count(static_cast<int>(pipe)) != 0;
}

// Waits up to `milliseconds` for `events`; the events seen, 0 when none came, -1 on failure.
int PollFor(PipeHandle pipe, short events, std::uint32_t milliseconds) {
  pollfd entry{static_cast<int>(pipe), events, 0};
  int timeout = milliseconds > 0x7FFFFFFF ? -1 : static_cast<int>(milliseconds);
  int ready = poll(&entry, 1, timeout);
  if (ready < 0) {
    Fail(errno == EINTR ? 0 : kErrorInvalidHandle);
    return errno == EINTR ? 0 : -1;
  }
  return ready == 0 ? 0 : entry.revents;
}

// The length of the next message; 0 when none is there yet; false when the other end has gone.
bool NextMessageLength(PipeHandle pipe, std::uint32_t* bytes) {
  ssize_t length = recv(static_cast<int>(pipe), nullptr, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
  if (length > 0) {
    *bytes = static_cast<std::uint32_t>(length);
    return true;
  }
  if (length == 0) {
    Fail(kErrorBrokenPipe);
    return false;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK) {
    *bytes = 0;
    return true;
  }
  Fail(PipeErrorOf(errno));
  return false;
}

bool Receive(PipeHandle pipe, std::uint32_t bytes, std::string* message) {
  message->assign(bytes, '\0');
  ssize_t length = recv(static_cast<int>(pipe), message->data(), bytes, MSG_DONTWAIT);
  if (length < 0) {
    Fail(PipeErrorOf(errno));
    return false;
  }
  message->resize(static_cast<std::size_t>(length));
  return true;
}

bool Send(PipeHandle pipe, const std::string& message) {
  if (!IsPipeSocket(pipe)) return false;
  if (send(static_cast<int>(pipe), message.data(), message.size(), MSG_NOSIGNAL) < 0) {
    Fail(PipeErrorOf(errno));
    return false;
  }
  return true;
}

}  // namespace

bool CreatePipeServer(const std::u16string& name, PipeHandle* pipe) {
  std::string path;
  if (!SocketPath(name, &path)) return false;
  int server = NewSocket();
  if (server < 0) {
    Fail(PipeErrorOf(errno));
    return false;
  }
  sockaddr_un address = AddressOf(path);
  if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    // A path left by a server that is gone is taken over; one a server listens on is busy.
    int error = errno;
    bool alive = false;
    if (error == EADDRINUSE) {
      int probe = NewSocket();
      alive = probe >= 0 && Connect(probe, path);
      if (probe >= 0) close(probe);
    }
    if (error != EADDRINUSE || alive) {
      Fail(alive ? kErrorPipeBusy : PipeErrorOf(error));
      close(server);
      return false;
    }
    unlink(path.c_str());
    if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      Fail(PipeErrorOf(errno));
      close(server);
      return false;
    }
  }
  if (listen(server, 1) != 0) {
    Fail(PipeErrorOf(errno));
    unlink(path.c_str());
    close(server);
    return false;
  }
  ListeningPaths()[server] = path;
  *pipe = server;
  return true;
}

PipeStep AwaitPipeClient(PipeHandle pipe, std::uint32_t milliseconds) {
  if (!IsPipeSocket(pipe)) return PipeStep::Failed;
  if (!IsListening(pipe)) return PipeStep::Done;  // connected already
  int events = PollFor(pipe, POLLIN, milliseconds);
  if (events < 0) return PipeStep::Failed;
  if (events == 0) return PipeStep::Waiting;
  int client = accept4(static_cast<int>(pipe), nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return errno == EAGAIN || errno == EINTR ? PipeStep::Waiting : PipeStep::Failed;
  // The connection goes on under the server's handle; the listening socket and its path go.
  auto entry = ListeningPaths().find(static_cast<int>(pipe));
  unlink(entry->second.c_str());
  ListeningPaths().erase(entry);
  dup2(client, static_cast<int>(pipe));
  close(client);
  return PipeStep::Done;
}

PipeStep ReadPipeMessage(PipeHandle pipe, std::uint32_t milliseconds, std::string* message) {
  if (!IsPipeSocket(pipe)) return PipeStep::Failed;
  if (IsListening(pipe)) {
    Fail(kErrorPipeListening);
    return PipeStep::Failed;
  }
  int events = PollFor(pipe, POLLIN, milliseconds);
  if (events < 0) return PipeStep::Failed;
  if (events == 0) return PipeStep::Waiting;
  std::uint32_t bytes = 0;
  if (!NextMessageLength(pipe, &bytes)) return PipeStep::Failed;
  if (bytes == 0) return PipeStep::Waiting;
  return Receive(pipe, bytes, message) ? PipeStep::Done : PipeStep::FailedInMessage;
}

PipeStep WritePipeMessage(PipeHandle pipe, const std::string& message, std::uint32_t) {
  return Send(pipe, message) ? PipeStep::Done : PipeStep::Failed;
}

PipeStep PipeClientGone(PipeHandle pipe) {
  if (!IsPipeSocket(pipe) || IsListening(pipe)) return PipeStep::Done;
  int events = PollFor(pipe, POLLIN | POLLRDHUP, 0);
  if (events < 0 || (events & (POLLHUP | POLLRDHUP | POLLERR)) != 0) return PipeStep::Done;
  if ((events & POLLIN) != 0) {
    char byte = 0;
    if (recv(static_cast<int>(pipe), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0) return PipeStep::Done;
  }
  return PipeStep::Waiting;
}

void CancelPipeOperation(PipeHandle) {}

void ClosePipeServer(PipeHandle pipe) {
  if (!IsPipeSocket(pipe)) return;
  auto entry = ListeningPaths().find(static_cast<int>(pipe));
  if (entry != ListeningPaths().end()) {
    unlink(entry->second.c_str());
    ListeningPaths().erase(entry);
  }
  close(static_cast<int>(pipe));
}

bool OpenPipeClient(const std::u16string& name, PipeHandle* pipe) {
  std::string path;
  if (!SocketPath(name, &path)) return false;
  int client = NewSocket();
  if (client < 0) {
    Fail(PipeErrorOf(errno));
    return false;
  }
  if (!Connect(client, path)) {
    Fail(PipeErrorOf(errno));
    close(client);
    return false;
  }
  *pipe = client;
  return true;
}

bool SendPipeMessage(PipeHandle pipe, const std::string& message) {
  return Send(pipe, message);
}

bool PipeBytesWaiting(PipeHandle pipe, std::uint32_t* bytes) {
  return IsPipeSocket(pipe) && NextMessageLength(pipe, bytes);
}

bool ReceivePipeMessage(PipeHandle pipe, std::uint32_t bytes, std::string* message) {
  return IsPipeSocket(pipe) && Receive(pipe, bytes, message);
}

void ClosePipeClient(PipeHandle pipe) {
  if (IsPipeSocket(pipe)) close(static_cast<int>(pipe));
}

}  // namespace kel::platform
