// Proves that a sanitizer build would catch what it is there to catch: each
// mode commits one fault on purpose, and its test passes only when the
// sanitizer reports it and ends the program.  Built for the asan and tsan
// presets only.
#include <climits>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

volatile int gSink;

int Leak() {
  int* lost = new int[16];
  lost[0] = 1;
  gSink = lost[0];
  lost = nullptr;
  return 0;  // the leak is reported at exit
}

int Overflow(int argc) {
  int value = INT_MAX - 1;
  value += argc + 1;  // signed overflow
  gSink = value;
  std::puts("undefined behaviour did not stop the program");
  return 0;
}

int Race() {
  int shared = 0;
  std::thread other([&] { shared = 1; });
  shared = 2;
  other.join();
  gSink = shared;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode = argc > 1 ? argv[1] : "";
  if (std::strcmp(mode, "leak") == 0) return Leak();
  if (std::strcmp(mode, "overflow") == 0) return Overflow(argc);
  if (std::strcmp(mode, "race") == 0) return Race();
  std::fprintf(stderr, "usage: sanitizer_canary leak|overflow|race\n");
  return 2;
}
