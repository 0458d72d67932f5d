#pragma once
// The status word and the engine errors of the data engine, with the texts
// the burner component reports.

#include <cstdint>
#include <string>

namespace qvr::data {

enum class TComponentStatus : uint16_t {
  Idle = 0,
  Writing = 1,
  Erasing = 2,
  Formatting = 3,
  Closing = 4,
  Preparing = 6,
  Aborted = 7,
  Importing = 8,
  WriteFailed = 9,
  Verifying = 10,
};

// Engine error codes; any value above OperationAborted is a sense code
// (ASC * 256 + ASCQ) recorded by the drive side.
enum TEngineError : uint32_t {
  NoError = 0,
  DataNotPrepared = 1,
  ErrorOpeningFile = 2,
  ErrorCreatingFile = 3,
  OperationAborted = 4,
};

// "Unknown/No Error!", "Data not prepared ", "Error opening file \path\", ...
// subject is the file concerned (empty: the text without a path).
std::string EngineErrorText(uint32_t code, const std::string& subject);

}  // namespace qvr::data
