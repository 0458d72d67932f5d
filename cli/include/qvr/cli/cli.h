#pragma once
// Entry of the qvr tool: finds the command word in the registry and hands over
// to the command that serves it. Output goes to the streams given, so tests can
// run commands in-process.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qvr::cli {

struct CommandContext {
  std::vector<std::string> args;  // the words after the command word
  std::ostream& out;
  std::ostream& err;
};

using CommandHandler = std::function<int(CommandContext&)>;

struct Command {
  std::string name;     // the command word, e.g. "build-iso"
  std::string summary;  // one line for qvr --help
  CommandHandler run;
};

// Each commands_*.cpp registers its commands through a static Registrar, so a
// command group is one file and nothing else needs to know it.
void RegisterCommand(Command command);
const std::vector<Command>& RegisteredCommands();

struct Registrar {
  explicit Registrar(Command command) { RegisterCommand(std::move(command)); }
};

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qvr::cli
