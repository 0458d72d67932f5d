#pragma once
// Project files: an SQLite database with one table of the columns "C"
// (integer) and "A" (blob) and two rows: 1 the compilation tree, 2 the text
// of the volume name box. A save writes a new database beside the old file in
// one transaction and renames it over the old one, so a crash leaves either
// the old or the new project.

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "compilation/compilation.h"

namespace qvr::app {

// The tree as a stream: a header, then for every node in tree order its item
// record (three length-prefixed strings and the 40-byte fixed part, little
// endian) followed by its number of children.
QByteArray EncodeTree(const TQueueNode* root);
// False for a stream that is not a tree; `children` then holds nothing.
// Loaded items have IconsLoaded cleared, so icons are looked up again.
bool DecodeTree(const QByteArray& stream, std::vector<std::unique_ptr<TQueueNode>>& children);

bool SaveProjectFile(const QString& path, const TQueueNode* root, const QString& volume_name);

struct TProjectContents {
  std::optional<QByteArray> Tree;  // row 1
  std::optional<QString> VolumeName;  // row 2
};
// False when the file is missing or is not a project table.
bool LoadProjectFile(const QString& path, TProjectContents& contents);

}  // namespace qvr::app
