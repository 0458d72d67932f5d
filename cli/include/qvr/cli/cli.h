#pragma once
// Entry of the qvr tool: parses the command word and hands over to the
// subcommand that serves it. Output goes to the streams given, so tests can
// run commands in-process.

#include <iosfwd>
#include <string>
#include <vector>

namespace qvr::cli {

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qvr::cli
