#include "qvr/cli/cli.h"

#include <ostream>

namespace qvr::cli {

namespace {

void PrintUsage(std::ostream& out) {
  out << "Usage: qvr COMMAND [OPTIONS]\n"
         "\n"
         "Commands:\n"
         "  --version      print the version and exit\n"
         "  --help         print this help and exit\n";
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    PrintUsage(err);
    return 2;
  }
  const std::string& command = args[0];
  if (command == "--version" || command == "version") {
    out << "qvr " << QVR_VERSION << "\n";
    return 0;
  }
  if (command == "--help" || command == "-h" || command == "help") {
    PrintUsage(out);
    return 0;
  }
  err << "qvr: unknown command \"" << command << "\" (try qvr --help)\n";
  return 2;
}

}  // namespace qvr::cli
