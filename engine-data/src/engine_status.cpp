#include "qvr/data/engine_status.h"

namespace qvr::data {

std::string EngineErrorText(uint32_t code, const std::string& subject) {
  switch (code) {
    case NoError:
      return "Unknown/No Error!";
    case DataNotPrepared:
      return "Data not prepared ";
    case ErrorOpeningFile:
      return subject.empty() ? "Error opening file" : "Error opening file \\" + subject + "\\";
    case ErrorCreatingFile:
      return subject.empty() ? "Error creating file" : "Error creating file \\" + subject + "\\";
    case OperationAborted:
      return "Aborted by user";
    default:
      return "Hardware Error " + std::to_string(code);
  }
}

}  // namespace qvr::data
