#include "file_type_registration.h"

#include <QDir>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace qvr::app {

namespace {

constexpr const char* kMimeType = "application/x-quorvella-project";

bool WriteText(const QString& path, const QString& text) {
  QDir().mkpath(QFileInfo(path).path());
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(text.toUtf8());
  return file.commit();
}

// Quotes an argument of a desktop entry's Exec line.
QString DesktopQuoted(QString text) {
  for (const char* c : {"\\", "\"", "`", "$"}) text.replace(QLatin1String(c), QLatin1String("\\") + QLatin1String(c));
  return QLatin1Char('"') + text + QLatin1Char('"');
}

// Waits for the tool, so nothing writes into the data folder behind our back.
void RunIfPresent(const QString& program, const QStringList& arguments) {
  const QString path = QStandardPaths::findExecutable(program);
  if (path.isEmpty()) return;
  QProcess process;
  process.start(path, arguments);
  if (process.waitForStarted()) process.waitForFinished(10000);
}

}  // namespace

void RegisterFileType(const QString& executable) {
  const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (data.isEmpty()) return;
  const QString mime_xml = QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      "  <mime-type type=\"%1\">\n"
      "    <comment>Quorvella project</comment>\n"
      "    <glob pattern=\"*.qvr\"/>\n"
      "  </mime-type>\n"
      "</mime-info>\n").arg(QLatin1String(kMimeType));
  const QString desktop = QStringLiteral(
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Quorvella CD & DVD\n"
      "Comment=Quorvella project\n"
      "Exec=%1 %f\n"
      "MimeType=%2;\n"
      "Categories=AudioVideo;DiscBurning;\n"
      "Terminal=false\n").arg(DesktopQuoted(executable), QLatin1String(kMimeType));
  if (!WriteText(data + QStringLiteral("/mime/packages/quorvella.xml"), mime_xml)) return;
  if (!WriteText(data + QStringLiteral("/applications/quorvella.desktop"), desktop)) return;
  RunIfPresent(QStringLiteral("update-mime-database"), {data + QStringLiteral("/mime")});
  RunIfPresent(QStringLiteral("update-desktop-database"), {data + QStringLiteral("/applications")});
}

}  // namespace qvr::app
