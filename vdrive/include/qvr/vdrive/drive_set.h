#pragma once
// The virtual drives declared in FOLDER/drives.ini (FOLDER = the program
// folder's "vdrive/"). A missing file is created with one default writer for
// CD, DVD and BD. Each drive N keeps its files beside it: driveN.state,
// driveN.disc (sparse sector file), driveN.trace, driveN.lock.
//
// drives.ini:
//   [settings]
//   time_scale=0.02      ; factor on the nominal duration of long operations
//   [drive0]
//   vendor=QVR
//   product=Virtual Recorder
//   revision=1.00

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qvr/vdrive/drive.h"

namespace qvr::vdrive {

class DriveSet {
 public:
  explicit DriveSet(std::string folder);
  ~DriveSet();
  // The drives of ProgramFolder()/vdrive/, made on first use.
  static DriveSet& Default();

  const std::string& Folder() const { return folder_; }
  std::size_t Count() const { return drives_.size(); }
  Drive* At(std::size_t index) const;
  // By number ("0") or drive letter ("D", "d:"); null when there is none.
  Drive* Find(const std::string& name) const;
  // The drive letter of a virtual drive: the letters after the real optical
  // drives (/dev/srN), D for the first when there is none.
  char LetterOf(std::size_t index) const;

  // Long operations last nominal seconds x this factor: QVR_VDRIVE_TIME_SCALE
  // when set, else time_scale of drives.ini (read again when the file changes).
  double TimeScale() const;
  void SetTimeScale(double scale);

 private:
  void Load();
  void Save() const;

  std::string folder_;
  mutable double time_scale_ = 0.02;
  mutable std::int64_t ini_mtime_ns_ = 0;
  std::vector<std::unique_ptr<Drive>> drives_;
};

}  // namespace qvr::vdrive
