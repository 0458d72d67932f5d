// Adding a folder of many files to the main window's compilation while the
// window repaints, then refreshing the totals; optionally a screenshot of the
// window with a small compilation. Not part of the test run.
//
//   qvr_main_window_bench [--files N] [--expand] [--screenshot out.png]
// Run under a display (xvfb-run) or with QT_QPA_PLATFORM=offscreen.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "FormMasterQVR.h"
#include "compilation/queue_model.h"

namespace {

void MakeFiles(const QString& folder, int count) {
  QDir().mkpath(folder);
  for (int i = 0; i < count; ++i) {
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/file%1.dat").arg(i, 6, 10, QLatin1Char('0')));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) continue;
    if (::ftruncate(fd, 1000 + i) != 0) std::perror("ftruncate");
    ::close(fd);
  }
}

void MakeSmallCompilation(const QString& root) {
  const char* const files[] = {"Holiday 2026/beach.jpg", "Holiday 2026/harbour.jpg", "Holiday 2026/sunset.png",
                               "Holiday 2026/notes.txt", "Music/01 Morning.mp3", "Music/02 Tide.mp3",
                               "Music/03 Evening.flac", "report.pdf", "budget.ods", "backup.tar.gz"};
  const qint64 sizes[] = {3400000, 2900000, 1800000, 2100, 7200000, 6100000, 31000000, 480000, 52000, 180000000};
  for (int i = 0; i < 10; ++i) {
    const QString path = root + QLatin1Char('/') + QLatin1String(files[i]);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.resize(sizes[i]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int files = 100000;
  bool expand = false;
  QString screenshot;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == QStringLiteral("--files") && i + 1 < argc) files = QString::fromLocal8Bit(argv[++i]).toInt();
    if (arg == QStringLiteral("--expand")) expand = true;
    if (arg == QStringLiteral("--screenshot") && i + 1 < argc) screenshot = QString::fromLocal8Bit(argv[++i]);
  }
  QTemporaryDir dir;
  qputenv("QUORVELLA_HOME", (dir.path() + QStringLiteral("/home/")).toLocal8Bit());
  qputenv("QVR_STARTUP_ANSWERS", "ENGLISH,no");
  qputenv("XDG_DATA_HOME", (dir.path() + QStringLiteral("/data")).toLocal8Bit());

  TFormMasterQVR window;
  window.resize(1060, 700);
  window.show();
  QCoreApplication::processEvents();

  if (!screenshot.isEmpty()) {
    const QString root = dir.path() + QStringLiteral("/src");
    MakeSmallCompilation(root);
    window.SetAudioDurationProvider([](const QString& path) {
      return path.endsWith(QStringLiteral(".mp3")) ? 214.6 : path.endsWith(QStringLiteral(".flac")) ? 392.0 : -1;
    });
    window.VolumeNameBox()->setText(QStringLiteral("Holiday <#dd><#mm><#yy>"));
    window.AddPathList({root + QStringLiteral("/Holiday 2026"), root + QStringLiteral("/Music"),
                        root + QStringLiteral("/report.pdf"), root + QStringLiteral("/budget.ods"),
                        root + QStringLiteral("/backup.tar.gz")},
                       false);
    window.QueueView()->expandAll();
    window.QueueView()->setCurrentIndex(window.QueueModel()->index(1, 0));
    for (int i = 0; i < 20; ++i) {
      QCoreApplication::processEvents();
      QThread::msleep(20);
    }
    const bool saved = window.grab().save(screenshot);
    std::printf("screenshot %s: %s\n", qPrintable(screenshot), saved ? "saved" : "FAILED");
    return saved ? 0 : 1;
  }

  const QString folder = dir.path() + QStringLiteral("/many");
  QElapsedTimer timer;
  timer.start();
  MakeFiles(folder, files);
  std::printf("created %d files in %.2f s (not measured below)\n", files, timer.nsecsElapsed() / 1e9);

  if (expand) {
    // Show the folder's rows while they arrive, so the view lays them out too.
    QObject::connect(window.QueueModel(), &QAbstractItemModel::rowsInserted, &window,
                     [&window](const QModelIndex& parent) {
                       if (!parent.isValid()) window.QueueView()->expand(window.QueueModel()->index(0, 0));
                     });
  }
  int repaints = 0;
  QTimer repaint;
  QObject::connect(&repaint, &QTimer::timeout, &window, [&] {
    window.QueueView()->viewport()->repaint();
    ++repaints;
  });
  repaint.start(50);

  timer.restart();
  window.AddPathList({folder}, false);
  const double add_seconds = timer.nsecsElapsed() / 1e9;
  repaint.stop();
  std::printf("added a folder of %d files in %.3f s (%d repaints during the batch, %d items)\n", files, add_seconds,
              repaints, window.Compilation().CountFileItems());

  const int rounds = 20;
  timer.restart();
  for (int i = 0; i < rounds; ++i) window.RefreshDiscSpace();
  std::printf("disc space refresh: %.2f ms\n", timer.nsecsElapsed() / 1e6 / rounds);
  timer.restart();
  for (int i = 0; i < rounds; ++i) window.UpdateActions(false);
  std::printf("totals refresh (UpdateActions with the totals logged): %.2f ms\n", timer.nsecsElapsed() / 1e6 / rounds);
  window.CloseSequence();
  return 0;
}
