#include <cstdio>
#include <cstring>

#include "base/Constants.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fprintf(out,
               "Usage: karvo-cli --version\n"
               "       karvo-cli --help\n"
               "Proves large integers prime and checks primality certificates.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("karvo-cli %s\n", karvo::Version);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    PrintUsage(stdout);
    return 0;
  }
  PrintUsage(stderr);
  return 2;
}
