#include "qvr/cli/cli.h"

#include <algorithm>
#include <ostream>

namespace qvr::cli {

namespace {

std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

void PrintUsage(std::ostream& out) {
  out << "Usage: qvr COMMAND [OPTIONS]\n\nCommands:\n";
  std::vector<Command> commands = RegisteredCommands();
  std::sort(commands.begin(), commands.end(),
            [](const Command& a, const Command& b) { return a.name < b.name; });
  for (const Command& c : commands) {
    out << "  " << c.name;
    for (std::size_t i = c.name.size(); i < 14; ++i) out << ' ';
    out << ' ' << c.summary << "\n";
  }
  out << "  --version      print the version and exit\n"
         "  --help         print this help and exit\n";
}

}  // namespace

void RegisterCommand(Command command) { Registry().push_back(std::move(command)); }

const std::vector<Command>& RegisteredCommands() { return Registry(); }

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    PrintUsage(err);
    return 2;
  }
  const std::string& word = args[0];
  if (word == "--version" || word == "version") {
    out << "qvr " << QVR_VERSION << "\n";
    return 0;
  }
  if (word == "--help" || word == "-h" || word == "help") {
    PrintUsage(out);
    return 0;
  }
  for (const Command& c : Registry()) {
    if (c.name == word) {
      CommandContext context{std::vector<std::string>(args.begin() + 1, args.end()), out, err};
      return c.run(context);
    }
  }
  err << "qvr: unknown command \"" << word << "\" (try qvr --help)\n";
  return 2;
}

}  // namespace qvr::cli
