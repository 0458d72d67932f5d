#include <gtest/gtest.h>

#include <sstream>

#include "qvr/cli/cli.h"

namespace {

struct Outcome {
  int code;
  std::string out, err;
};

Outcome RunQvr(std::vector<std::string> args) {
  std::ostringstream out, err;
  int code = qvr::cli::Run(args, out, err);
  return {code, out.str(), err.str()};
}

}  // namespace

TEST(QvrCommandLine, VersionHelpAndRefusals) {
  EXPECT_EQ(RunQvr({"--version"}).code, 0);
  EXPECT_NE(RunQvr({"--version"}).out.find(QVR_VERSION), std::string::npos);
  EXPECT_EQ(RunQvr({"--help"}).code, 0);
  Outcome unknown = RunQvr({"frobnicate"});
  EXPECT_NE(unknown.code, 0);
  EXPECT_NE(unknown.err.find("frobnicate"), std::string::npos);
  EXPECT_NE(RunQvr({}).code, 0);
}
