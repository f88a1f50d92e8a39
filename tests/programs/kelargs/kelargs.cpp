// A program for the launch tests: it writes the arguments it was started with to a file and
// ends with a chosen exit code, so that a test sees how a command line was split and quoted and
// what exit code came back.
//
//   kelargs FILE CODE[/MILLISECONDS] [ARGUMENT ...]
//
// FILE receives every ARGUMENT as <ARGUMENT> on a line of its own ("-": no file is written);
// the program then waits MILLISECONDS when given and ends with exit code CODE.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: kelargs FILE CODE[/MILLISECONDS] [ARGUMENT ...]\n", stderr);
    return 2;
  }
  if (std::strcmp(argv[1], "-") != 0) {
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) return 3;
    for (int i = 3; i < argc; ++i)
      std::fprintf(out, "<%s>\n", argv[i]);
    std::fclose(out);
  }
  char* rest = nullptr;
  long code = std::strtol(argv[2], &rest, 10);
  if (*rest == '/') {
    long milliseconds = std::strtol(rest + 1, nullptr, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  return static_cast<int>(code);
}
