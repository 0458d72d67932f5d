#include <iostream>

#include "qvr/cli/cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return qvr::cli::Run(args, std::cout, std::cerr);
}
