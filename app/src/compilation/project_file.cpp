#include "compilation/project_file.h"

#include <sqlite3.h>

#include <QFile>
#include <cstdio>
#include <cstring>

namespace qvr::app {

namespace {

constexpr char kTreeMagic[8] = {'Q', 'V', 'R', 'T', 'R', 'E', 'E', '1'};
constexpr int kMaxDepth = 512;

template <typename T>
void Put(QByteArray& out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));  // the build targets little-endian machines only
  out.append(bytes, sizeof(T));
}

void PutString(QByteArray& out, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  Put<uint32_t>(out, static_cast<uint32_t>(utf8.size()));
  out.append(utf8);
}

void PutNode(QByteArray& out, const TQueueNode& node) {
  const TQueueItem& item = node.Item;
  PutString(out, item.Name);
  PutString(out, item.SourcePath);
  PutString(out, item.TypeName);
  Put<int32_t>(out, item.Attributes);
  Put<double>(out, item.Modified);
  Put<int32_t>(out, item.OpenImageIndex);
  Put<int32_t>(out, item.ImageIndex);
  Put<uint64_t>(out, item.Size);
  Put<double>(out, item.Duration);
  Put<uint8_t>(out, item.IsFolder);
  Put<uint8_t>(out, item.IconsLoaded);
  Put<uint8_t>(out, item.InfoLoaded);
  Put<uint8_t>(out, item.IsAudio);
  Put<uint32_t>(out, static_cast<uint32_t>(node.Children.size()));
  for (const auto& child : node.Children) PutNode(out, *child);
}

class TReader {
 public:
  explicit TReader(const QByteArray& data) : data_(data) {}
  template <typename T>
  bool Get(T& value) {
    if (data_.size() - pos_ < static_cast<qsizetype>(sizeof(T))) return false;
    std::memcpy(&value, data_.constData() + pos_, sizeof(T));
    pos_ += sizeof(T);
    return true;
  }
  bool GetString(QString& text) {
    uint32_t length = 0;
    if (!Get(length) || data_.size() - pos_ < static_cast<qsizetype>(length)) return false;
    text = QString::fromUtf8(data_.constData() + pos_, length);
    pos_ += length;
    return true;
  }
  bool GetBytes(int count) {
    if (data_.size() - pos_ < count) return false;
    const bool same = std::memcmp(data_.constData() + pos_, kTreeMagic, count) == 0;
    pos_ += count;
    return same;
  }
  qsizetype Left() const { return data_.size() - pos_; }

 private:
  const QByteArray& data_;
  qsizetype pos_ = 0;
};

bool GetNode(TReader& in, TQueueNode& node, int depth) {
  TQueueItem& item = node.Item;
  uint8_t flags[4];
  uint32_t children = 0;
  if (!in.GetString(item.Name) || !in.GetString(item.SourcePath) || !in.GetString(item.TypeName) ||
      !in.Get(item.Attributes) || !in.Get(item.Modified) || !in.Get(item.OpenImageIndex) ||
      !in.Get(item.ImageIndex) || !in.Get(item.Size) || !in.Get(item.Duration) || !in.Get(flags) ||
      !in.Get(children)) {
    return false;
  }
  item.IsFolder = flags[0];
  item.IconsLoaded = false;
  item.InfoLoaded = flags[2];
  item.IsAudio = flags[3];
  // Every child needs at least 56 bytes; a larger count is a damaged stream.
  if (depth > kMaxDepth || children > static_cast<uint64_t>(in.Left()) / 56) return false;
  node.Children.reserve(children);
  for (uint32_t i = 0; i < children; ++i) {
    auto child = std::make_unique<TQueueNode>();
    if (!GetNode(in, *child, depth + 1)) return false;
    node.Children.push_back(std::move(child));
  }
  return true;
}

struct TDbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using TDb = std::unique_ptr<sqlite3, TDbCloser>;

bool WriteDatabase(const QString& path, const QByteArray& tree, const QByteArray& volume) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  TDb db(raw);
  if (rc != SQLITE_OK) return false;
  if (sqlite3_exec(db.get(), "BEGIN IMMEDIATE; CREATE TABLE ProjectTable (C INTEGER, A BLOB)", nullptr, nullptr,
                   nullptr) != SQLITE_OK) {
    return false;
  }
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db.get(), "INSERT INTO ProjectTable (C, A) VALUES (?, ?)", -1, &insert, nullptr) != SQLITE_OK)
    return false;
  bool ok = true;
  const QByteArray* rows[2] = {&tree, &volume};
  for (int i = 0; i < 2 && ok; ++i) {
    sqlite3_bind_int(insert, 1, i + 1);
    sqlite3_bind_blob64(insert, 2, rows[i]->constData(), static_cast<sqlite3_uint64>(rows[i]->size()),
                        SQLITE_STATIC);
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  return ok && sqlite3_exec(db.get(), "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
}

}  // namespace

QByteArray EncodeTree(const TQueueNode* root) {
  QByteArray out(kTreeMagic, sizeof(kTreeMagic));
  Put<uint32_t>(out, static_cast<uint32_t>(root->Children.size()));
  for (const auto& child : root->Children) PutNode(out, *child);
  return out;
}

bool DecodeTree(const QByteArray& stream, std::vector<std::unique_ptr<TQueueNode>>& children) {
  children.clear();
  TReader in(stream);
  uint32_t count = 0;
  if (!in.GetBytes(sizeof(kTreeMagic)) || !in.Get(count) || count > static_cast<uint64_t>(in.Left()) / 56) {
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    auto node = std::make_unique<TQueueNode>();
    if (!GetNode(in, *node, 1)) {
      children.clear();
      return false;
    }
    children.push_back(std::move(node));
  }
  return true;
}

bool SaveProjectFile(const QString& path, const TQueueNode* root, const QString& volume_name) {
  const QString temporary = path + QStringLiteral(".saving");
  QFile::remove(temporary);
  if (!WriteDatabase(temporary, EncodeTree(root), volume_name.toUtf8())) {
    QFile::remove(temporary);
    return false;
  }
  // rename(2) replaces the old project in one step.
  if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
    QFile::remove(temporary);
    return false;
  }
  return true;
}

bool LoadProjectFile(const QString& path, TProjectContents& contents) {
  contents = {};
  if (!QFile::exists(path)) return false;
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
  TDb db(raw);
  if (rc != SQLITE_OK) return false;
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db.get(), "SELECT C, A FROM ProjectTable ORDER BY rowid", -1, &select, nullptr) != SQLITE_OK)
    return false;
  int step;
  while ((step = sqlite3_step(select)) == SQLITE_ROW) {
    const auto* blob = static_cast<const char*>(sqlite3_column_blob(select, 1));
    const QByteArray bytes(blob, sqlite3_column_bytes(select, 1));
    switch (sqlite3_column_int(select, 0)) {
      case 1: contents.Tree = bytes; break;
      case 2: contents.VolumeName = QString::fromUtf8(bytes); break;
      default: break;
    }
  }
  sqlite3_finalize(select);
  return step == SQLITE_DONE;
}

}  // namespace qvr::app
