// A program that crashes on purpose, by a read through a null pointer, after printing a line:
// the process runner must report such an end as a crash on every system. With "exit N" it
// exits normally with code N instead.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "exit") == 0) return std::atoi(argv[2]);
  std::puts("about to crash");
  std::fflush(stdout);
  // The pointer comes from the arguments so that the compiler cannot prove it null.
  volatile int* const nowhere = argc > 100 ? reinterpret_cast<int*>(argv) : nullptr;
  return *nowhere;
}
