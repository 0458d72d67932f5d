// The compilation tree without a window: additions and their name rules,
// moves, renames, sorting, totals, sizes, labels, disc space and projects.
#include <sys/time.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "compilation/compilation.h"
#include "compilation/disc_space.h"
#include "compilation/label_template.h"
#include "compilation/project_file.h"
#include "compilation/size_text.h"

using namespace qvr::app;

namespace {

struct TLogLine {
  int Key;
  QString Value;
};

// Names of the tree as "A(a1,f1),B(),f1": folders with their children in brackets.
QString Describe(const TQueueNode* node) {
  QStringList parts;
  for (const auto& child : node->Children) {
    parts.append(child->Item.IsFolder ? child->Item.Name + QLatin1Char('(') + Describe(child.get()) + QLatin1Char(')')
                                      : child->Item.Name);
  }
  return parts.join(QLatin1Char(','));
}

TQueueNode* Child(TQueueNode* parent, const QString& name) {
  for (const auto& child : parent->Children) {
    if (child->Item.Name == name) return child.get();
  }
  return nullptr;
}

void MakeFile(const QString& path, qint64 size = 10) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  QVERIFY(file.resize(size));  // sparse
}

}  // namespace

class CompilationTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::vector<TLogLine> log_;
  std::unique_ptr<TCompilation> compilation_;

  QString Path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
  void Fresh() {
    compilation_ = std::make_unique<TCompilation>();
    log_.clear();
    compilation_->Hooks().Log = [this](int key, const QString&, const QString& value) { log_.push_back({key, value}); };
  }
  // A compilation of folders (CreateFolder) and files of known size whose sources need not exist.
  void BuildMoveFixture() {
    Fresh();
    TQueueNode* a = nullptr;
    compilation_->CreateFolder(nullptr, "A", "folder", 45000, &a);
    compilation_->CreateFolder(nullptr, "B", "folder", 45000);
    compilation_->AddQueuePath("/nowhere/a1", a, 100);
    compilation_->AddQueuePath("/nowhere/f1", a, 100);
    compilation_->AddQueuePath("/nowhere/f1", nullptr, 100);
    compilation_->AddQueuePath("/nowhere/f2", nullptr, 100);
    QCOMPARE(Describe(compilation_->Root()), QString("A(a1,f1),B(),f1,f2"));
  }

 private Q_SLOTS:
  void init() { Fresh(); }

  void addingAFolderAppliesTheNameRules_data() {
    QTest::addColumn<QStringList>("entries");  // a trailing "/" makes a folder
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QList<int>>("logKeys");
    const QString long_base = QString(116, 'n');
    QTest::newRow("semicolon becomes underscore") << QStringList{"a;b.txt"} << "a_b.txt" << QList<int>{};
    QTest::newRow("long file keeps its extension")
        << QStringList{long_base + ".mp3"} << QString(102, 'n') + ".mp3" << QList<int>{1, 2};
    QTest::newRow("long file without extension") << QStringList{long_base + "xxxx"} << QString(106, 'n')
                                                  << QList<int>{1, 2};
    QTest::newRow("long folder is cut") << QStringList{long_base + "dddd/"} << QString(106, 'n') + "()"
                                        << QList<int>{3, 4};
    QTest::newRow("dot entries are skipped") << QStringList{".config/", ".hidden", "seen"} << "seen" << QList<int>{};
    QTest::newRow("empty and one-byte files are files") << QStringList{"empty0", "one1"} << "empty0,one1"
                                                        << QList<int>{};
  }
  void addingAFolderAppliesTheNameRules() {
    QFETCH(QStringList, entries);
    QFETCH(QString, expected);
    QFETCH(QList<int>, logKeys);
    QTemporaryDir source;
    for (const QString& entry : entries) {
      if (entry.endsWith('/')) {
        QVERIFY(QDir(source.path()).mkdir(entry.chopped(1)));
      } else {
        MakeFile(source.path() + '/' + entry, entry.endsWith("0") ? 0 : entry.endsWith("1") ? 1 : 10);
      }
    }
    compilation_->AddQueuePath(source.path());
    QCOMPARE(compilation_->Root()->Children.size(), size_t{1});
    QStringList names = Describe(compilation_->Root()->Children[0].get()).split(',');
    names.sort();
    QCOMPARE(names.join(','), expected);
    QList<int> keys;
    for (const TLogLine& line : log_) keys.append(line.Key);
    QCOMPARE(keys, logKeys);
    QCOMPARE(compilation_->FolderCount, 1 + int(entries.filter("/").size() - entries.filter(".config").size()));
  }

  void duplicatesAreSkippedSilently() {
    MakeFile(Path("same.txt"));
    QDir(dir_.path()).mkpath("twice/inner");
    MakeFile(Path("twice/first"));
    compilation_->AddQueuePath(Path("same.txt"));
    compilation_->AddQueuePath(Path("same.txt"));
    compilation_->AddQueuePath(Path("twice"));
    MakeFile(Path("twice/second"));
    compilation_->AddQueuePath(Path("twice"));  // the folder exists: nothing of it is merged
    QCOMPARE(Describe(compilation_->Root()).split(',').first(), QString("same.txt"));
    QVERIFY(Describe(compilation_->Root()).contains("twice(inner(),first)") ||
            Describe(compilation_->Root()).contains("twice(first,inner())"));
    QVERIFY(!Describe(compilation_->Root()).contains("second"));
    QVERIFY(log_.empty());
  }

  void windowMessagesDuringAFolderCannotTakeItAway() {
    QDir(dir_.path()).mkpath("many");
    for (int i = 0; i < 2500; ++i) MakeFile(Path(QString("many/f%1").arg(i)), 0);
    int pumps = 0;
    compilation_->Hooks().Pump = [&] {
      // A user's Delete All or a move arriving while the folder is filled.
      ++pumps;
      if (compilation_->Adding()) {
        TQueueNode* folder = compilation_->Root()->Children[0].get();
        compilation_->RemoveNode(folder);
        compilation_->MoveNodes({folder}, nullptr, TDropPosition::On);
        compilation_->Clear();
      }
    };
    compilation_->AddQueuePath(Path("many"));
    QCOMPARE(pumps, 3);  // after 1,000 and 2,000 entries and after the folder
    QCOMPARE(compilation_->CountFileItems(), 2500);
    compilation_->Clear();  // once the additions are over, it goes
    QVERIFY(compilation_->Empty());
  }

  void fileSizeLimit_data() {
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("exactly 4 GiB") << qint64(4294967296LL) << true;
    QTest::newRow("one byte more") << qint64(4294967297LL) << false;
  }
  void fileSizeLimit() {
    QFETCH(qint64, size);
    QFETCH(bool, accepted);
    const QString path = Path("big.iso");
    MakeFile(path, size);
    compilation_->AddQueuePath(path);  // size read from the file system
    compilation_->AddQueuePath(path, nullptr, quint64(size));  // size given by the caller
    QCOMPARE(compilation_->CountFileItems(), accepted ? 1 : 0);
    if (accepted) {
      QCOMPARE(compilation_->TotalFileSize(), quint64(size));
      QVERIFY(log_.empty());
    } else {
      QCOMPARE(log_.size(), size_t{2});
      QCOMPARE(log_[0].Key, 84);
      QCOMPARE(log_[0].Value, path);
    }
  }

  void fileParentMeansItsFolderAndDurationsComeFromTheHook() {
    compilation_->Hooks().GetAudioDuration = [](const QString& path) { return path.endsWith(".mp3") ? 61.5 : -1; };
    compilation_->Hooks().Refused = [] { return false; };
    TQueueNode* folder = nullptr;
    compilation_->CreateFolder(nullptr, "music", "folder", 45000, &folder);
    compilation_->AddQueuePath("/nowhere/song.mp3", folder, 5000);
    compilation_->AddQueuePath("/nowhere/notes.txt", Child(folder, "song.mp3"), 7000);
    QCOMPARE(Describe(compilation_->Root()), QString("music(song.mp3,notes.txt)"));
    QCOMPARE(compilation_->TotalDuration(), 61.5);
    QVERIFY(compilation_->HasAudio());
    QCOMPARE(Child(folder, "notes.txt")->Item.Duration, -1.0);
    compilation_->Hooks().Refused = [] { return true; };  // an operation runs
    compilation_->AddQueuePath("/nowhere/late.txt", nullptr, 10);
    QCOMPARE(compilation_->CountFileItems(), 2);
  }

  void dropOrder_data() {
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("none") << QStringList{} << QStringList{};
    QTest::newRow("one") << QStringList{"1"} << QStringList{"1"};
    QTest::newRow("three") << QStringList{"A", "B", "C"} << QStringList{"B", "C", "A"};
    QTest::newRow("five") << QStringList{"1", "2", "3", "4", "5"} << QStringList{"2", "3", "4", "5", "1"};
  }
  void dropOrder() {
    QFETCH(QStringList, paths);
    QFETCH(QStringList, expected);
    QCOMPARE(DropOrder(paths), expected);
  }

  void movePositions_data() {
    QTest::addColumn<QStringList>("moved");  // paths like "A/a1" or "f1"
    QTest::addColumn<QString>("target");     // empty: no target
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");
    const int above = int(TDropPosition::Above), on = int(TDropPosition::On), below = int(TDropPosition::Below);
    QTest::newRow("on a folder: its last child, even with a clash")
        << QStringList{"f1"} << "A" << on << "A(a1,f1,f1),B(),f2";
    QTest::newRow("above a folder") << QStringList{"f2"} << "A" << above << "f2,A(a1,f1),B(),f1";
    QTest::newRow("below a folder") << QStringList{"f2"} << "A" << below << "A(a1,f1),f2,B(),f1";
    QTest::newRow("onto a file: its previous sibling") << QStringList{"f2"} << "f1" << on << "A(a1,f1),B(),f2,f1";
    QTest::newRow("no target: top level") << QStringList{"A/a1"} << "" << on << "A(f1),B(),f1,f2,a1";
    QTest::newRow("several in tree order") << QStringList{"A/a1", "f2"} << "B" << on << "A(f1),B(a1,f2),f1";
    QTest::newRow("a folder never into itself") << QStringList{"A"} << "A/a1" << on << "A(a1,f1),B(),f1,f2";
  }
  void movePositions() {
    QFETCH(QStringList, moved);
    QFETCH(QString, target);
    QFETCH(int, position);
    QFETCH(QString, expected);
    BuildMoveFixture();
    const auto find = [this](const QString& path) {
      TQueueNode* node = compilation_->Root();
      for (const QString& part : path.split('/')) node = Child(node, part);
      return node;
    };
    std::vector<TQueueNode*> nodes;
    for (const QString& path : moved) nodes.push_back(find(path));
    compilation_->MoveNodes(nodes, target.isEmpty() ? nullptr : find(target), TDropPosition(position));
    QCOMPARE(Describe(compilation_->Root()), expected);
    // Rows and parents stay consistent after the move.
    bool consistent = true;
    TCompilation::ForEach(compilation_->Root(), [&](const TQueueNode& node) {
      consistent = consistent && node.Parent->Children[node.Row].get() == &node;
      return true;
    });
    QVERIFY(consistent);
  }

  void renameRefusals_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("name");
    QTest::newRow("vertical bar") << "x|y" << int(TNameResult::Invalid) << "f1";
    QTest::newRow("slash") << "x/y" << int(TNameResult::Invalid) << "f1";
    QTest::newRow("sibling in another case") << "F2" << int(TNameResult::Exists) << "f1";
    QTest::newRow("itself in another case") << "F1" << int(TNameResult::Exists) << "f1";
    QTest::newRow("blank") << "   " << int(TNameResult::Blank) << "f1";
    QTest::newRow("trimmed and cut") << "  " + QString(110, 'r') + " " << int(TNameResult::Accepted)
                                     << QString(106, 'r');
    QTest::newRow("semicolon kept") << "a;b" << int(TNameResult::Accepted) << "a;b";
  }
  void renameRefusals() {
    QFETCH(QString, text);
    QFETCH(int, result);
    QFETCH(QString, name);
    BuildMoveFixture();
    TQueueNode* f1 = Child(compilation_->Root(), "f1");
    QCOMPARE(int(compilation_->Rename(f1, text)), result);
    QCOMPARE(f1->Item.Name, name);
    // The old name is free again after a rename, the new one taken.
    if (result == int(TNameResult::Accepted)) {
      QVERIFY(!compilation_->ItemNameExists("f1", compilation_->Root()));
      QVERIFY(compilation_->ItemNameExists(name.toUpper(), compilation_->Root()));
    }
  }

  void createFolderRules_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("blank does nothing") << "  " << int(TNameResult::Blank);
    QTest::newRow("invalid") << "a<b" << int(TNameResult::Invalid);
    QTest::newRow("exists after the semicolon rule") << "b;" << int(TNameResult::Exists);
    QTest::newRow("new") << "C" << int(TNameResult::Accepted);
  }
  void createFolderRules() {
    QFETCH(QString, answer);
    QFETCH(int, result);
    compilation_->CreateFolder(nullptr, "B_", "folder", 45000);
    TQueueNode* created = nullptr;
    QCOMPARE(int(compilation_->CreateFolder(nullptr, answer, "folder", 45000, &created)), result);
    QCOMPARE(created != nullptr, result == int(TNameResult::Accepted));
    if (created) {
      QCOMPARE(created->Item.Attributes, int(kAttrDirectory));
      QVERIFY(created->Item.InfoLoaded && created->Item.SourcePath.isEmpty());
    }
  }

  void sortingPutsFoldersFirstWithAsciiFolding() {
    const auto add_file = [this](const char* name) {
      compilation_->AddQueuePath(QString("/nowhere/") + name, nullptr, 10);
      compilation_->Root()->Children.back()->Item.InfoLoaded = true;
    };
    add_file("beta");
    compilation_->CreateFolder(nullptr, "zeta", "folder", 1);
    add_file("_x");
    add_file("Alpha");
    compilation_->CreateFolder(nullptr, "Yak", "folder", 1);
    add_file("\xc3\xa4rger");  // no locale rules: above every ASCII letter
    compilation_->Sort(true);
    QCOMPARE(Describe(compilation_->Root()), QString("Yak(),zeta(),Alpha,beta,_x,\u00e4rger"));
    compilation_->Sort(false);
    QCOMPARE(Describe(compilation_->Root()), QString("\u00e4rger,_x,beta,Alpha,zeta(),Yak()"));
  }

  void oldDatesStayAndMissingSourcesGo() {
    const QString old_file = Path("old.txt");
    MakeFile(old_file);
    const struct timeval times[2] = {{31536000, 0}, {31536000, 0}};  // 1 January 1971
    QCOMPARE(utimes(QFile::encodeName(old_file).constData(), times), 0);
    compilation_->AddQueuePath(old_file);
    compilation_->AddQueuePath(Path("gone.txt"), nullptr, 100);
    TQueueNode* old_node = Child(compilation_->Root(), "old.txt");
    QVERIFY(compilation_->EnsureItemInfo(old_node));
    QCOMPARE(FormatItemDate(old_node->Item.Modified, "yyyy"), QString("1971"));
    QCOMPARE(old_node->Item.Attributes & kAttrArchive, int(kAttrArchive));
    QVERIFY(!compilation_->EnsureItemInfo(Child(compilation_->Root(), "gone.txt")));
    QCOMPARE(Describe(compilation_->Root()), QString("old.txt"));
  }

  void removeQueueItemMatchesNameOrPathIgnoringAsciiCase() {
    BuildMoveFixture();
    QVERIFY(compilation_->RemoveQueueItem("F2"));
    QVERIFY(compilation_->RemoveQueueItem("/NOWHERE/F1"));
    QVERIFY(!compilation_->RemoveQueueItem("a1"));  // only the top level
    QCOMPARE(Describe(compilation_->Root()), QString("A(a1,f1),B()"));
  }

  void formatSize_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bytes") << int(kUnitBytes) << quint64(1536) << "1,536 bytes";
    QTest::newRow("KB rounded up") << int(kUnitKB) << quint64(1025) << "2 KB";
    QTest::newRow("MB") << int(kUnitMB) << quint64(1572864) << "1.50 MB";
    QTest::newRow("GB") << int(kUnitGB) << quint64(1073741824) << "1.00 GB";
    QTest::newRow("auto stays KB without decimals") << int(kUnitAuto) << quint64(1024) << "1 KB";
    QTest::newRow("auto zero") << int(kUnitAuto) << quint64(0) << "0 KB";
    QTest::newRow("auto just above 1024 KB") << int(kUnitAuto) << quint64(1025 * 1024) << "1.00 MB";
    QTest::newRow("auto exactly 1024 MB") << int(kUnitAuto) << quint64(1073741824) << "1,024.00 MB";
    QTest::newRow("auto beyond 1024 GB has no unit name") << int(kUnitAuto) << quint64(2199023255552ULL)
                                                          << "2.00 ";
  }
  void formatSize() {
    QFETCH(int, unit);
    QFETCH(quint64, bytes);
    QFETCH(QString, expected);
    QCOMPARE(FormatSize(unit, 2, bytes, QLocale(QLocale::English, QLocale::UnitedStates)), expected);
  }

  void attributeLetters_data() {
    QTest::addColumn<int>("attributes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << 0 << "";
    QTest::newRow("read-only") << 0x01 << "R";
    QTest::newRow("all, directory last") << 0x37 << "RHSAD";
    QTest::newRow("archive directory") << 0x30 << "AD";
    QTest::newRow("other bits ignored") << 0x48 << "";
  }
  void attributeLetters() {
    QFETCH(int, attributes);
    QFETCH(QString, expected);
    QCOMPARE(AttributeLetters(attributes), expected);
  }

  void durationParts() {
    const TDurationParts p = DurationPartsOf(150.5);
    QCOMPARE(p.TotalMinutes, 3);  // 2.508 rounded
    QCOMPARE(p.TotalSeconds, 150);  // half to even
    QCOMPARE(p.Minutes, 2);
    QCOMPARE(p.Seconds, 30);
    QCOMPARE(p.MSeconds, 500);
    QCOMPARE(FormatDurationColumn(3725.9), QString("1.02.05"));
  }

  void discSpaceFamilies_data() {
    QTest::addColumn<double>("megabytes");
    QTest::addColumn<double>("minutes");
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("percent");
    const double gb = 1024;
    QTest::newRow("650 MB data CD green") << 650.0 << 0.0 << int(kFamilyDataCD) << int(TSpaceColor::Green) << 92;
    QTest::newRow("680 MB data CD yellow") << 680.0 << 0.0 << int(kFamilyDataCD) << int(TSpaceColor::Yellow) << 97;
    QTest::newRow("701 MB data CD red") << 701.0 << 0.0 << int(kFamilyDataCD) << int(TSpaceColor::Red) << 100;
    QTest::newRow("4.0 GB DVD yellow") << 4.0 * gb << 0.0 << int(kFamilyDVD) << int(TSpaceColor::Yellow) << 91;
    QTest::newRow("13 GB HD DVD yellow") << 13.0 * gb << 0.0 << int(kFamilyHDDVD) << int(TSpaceColor::Yellow) << 92;
    QTest::newRow("8 GB DVD DL red") << 8.0 * gb << 0.0 << int(kFamilyDVDDL) << int(TSpaceColor::Red) << 100;
    QTest::newRow("20 GB Blu-ray green") << 20.0 * gb << 0.0 << int(kFamilyBluRay) << int(TSpaceColor::Green) << 85;
    QTest::newRow("60 min audio CD green") << 0.0 << 60.0 << int(kFamilyAudioCD) << int(TSpaceColor::Green) << 75;
    QTest::newRow("81 min audio CD red") << 0.0 << 81.0 << int(kFamilyAudioCD) << int(TSpaceColor::Red) << 101;
  }
  void discSpaceFamilies() {
    QFETCH(double, megabytes);
    QFETCH(double, minutes);
    QFETCH(int, family);
    QFETCH(int, color);
    QFETCH(int, percent);
    const TSpaceTexts texts = [](int key, const QStringList& lines) -> QString { return QString::number(key) + "|" + lines.join("|"); };
    const TDiscSpaceView view = ComputeDiscSpace(minutes * 60, quint64(megabytes * 1048576), 0, 0, {}, {}, texts);
    QCOMPARE(int(view.Families[family].Color), color);
    QCOMPARE(view.Families[family].Percent, percent);
    QVERIFY(view.Families[family].PercentHtml.endsWith(QString("=%1").arg(percent)));
    QCOMPARE(view.TotalAudio.startsWith("4|"), minutes != 0);  // the red minutes text
  }

  void discSpaceCurrentDisc_data() {
    QTest::addColumn<bool>("ready");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<double>("freeMegabytes");
    QTest::addColumn<double>("megabytes");
    QTest::addColumn<int>("color");
    QTest::addColumn<QString>("hintStart");
    QTest::newRow("no medium") << false << false << 0.0 << 10.0 << int(TSpaceColor::Grey) << "24|";
    QTest::newRow("not writable") << true << false << 700.0 << 10.0 << int(TSpaceColor::Grey) << "22|";
    QTest::newRow("no free sectors") << true << true << 0.0 << 10.0 << int(TSpaceColor::Grey) << "22|";
    QTest::newRow("larger than the free space") << true << true << 700.0 << 701.0 << int(TSpaceColor::Red) << "CD-R";
    QTest::newRow("above 90 percent") << true << true << 700.0 << 650.0 << int(TSpaceColor::Yellow) << "CD-R";
    QTest::newRow("plenty of room") << true << true << 700.0 << 300.0 << int(TSpaceColor::Green) << "CD-R";
  }
  void discSpaceCurrentDisc() {
    QFETCH(bool, ready);
    QFETCH(bool, writable);
    QFETCH(double, freeMegabytes);
    QFETCH(double, megabytes);
    QFETCH(int, color);
    QFETCH(QString, hintStart);
    const TSpaceTexts texts = [](int key, const QStringList& lines) -> QString { return QString::number(key) + "|" + lines.join("|"); };
    TCurrentDisc disc{ready, writable, quint32(freeMegabytes * 512), "CD-R"};
    const TDiscSpaceView view = ComputeDiscSpace(0, quint64(megabytes * 1048576), 0, 0, {}, disc, texts);
    QCOMPARE(int(view.Current.Color), color);
    QVERIFY2(view.CurrentHint.startsWith(hintStart), qPrintable(view.CurrentHint));
    QCOMPARE(view.CurrentSmallFont, !ready);
    if (!ready) QCOMPARE(view.Current.PercentHtml, QString("25|"));
  }

  void discSpaceExactly1024MegabytesUsesGigabytes() {
    const TSpaceTexts texts = [](int key, const QStringList& lines) -> QString { return QString::number(key) + "|" + lines.join("|"); };
    TCurrentDisc disc{true, true, 2295104, "DVD+R"};  // 4482.6 MB free
    // A DVD-only recorder: no CD family, so no audio line figures.
    const TDiscSpaceView view = ComputeDiscSpace(0, 1073741824ULL, 3, 1, [](int code) { return code == 26; }, disc, texts);
    QCOMPARE(view.TotalData, QString("2|<#GB>=1"));
    QCOMPARE(view.CurrentHint.split("\r\n"),
             QStringList({"DVD+R", "16|<#percent_data>=22", "18|<#GB>=1.00|<#current_GB>=4.38", "21|"}));
    QVERIFY(!view.Families[kFamilyDataCD].Visible);
    QVERIFY(view.Families[kFamilyDVD].Visible);
    QCOMPARE(view.Files, QString("5|<#files>=3"));
  }

  void labelTags_data() {
    QTest::addColumn<QString>("labelTemplate");
    QTest::addColumn<QString>("expected");
    QTest::newRow("default template") << "Disc <#increment> <#dd><#mm><#yy>" << "Disc 7 050326";
    QTest::newRow("tags ignore case") << "<#INCREMENT>-<#Files>-<#DIRECTORIES>" << "7-3-2";
    QTest::newRow("without leading zeros") << "<#d>.<#m>.<#yyyy> <#h>:<#n>:<#s>" << "5.3.2026 9:4:7";
    QTest::newRow("two digits") << "<#hh><#nn><#ss>" << "090407";
    QTest::newRow("names from the locale") << "<#ddd> <#dddd> <#mmm> <#mmmm>" << "Thu Thursday Mar March";
    QTest::newRow("no tags") << "Backup" << "Backup";
    QTest::newRow("unknown tag stays") << "<#x><#dd" << "<#x><#dd";
  }
  void labelTags() {
    QFETCH(QString, labelTemplate);
    QFETCH(QString, expected);
    const TLabelValues values{7, 3, 2, QDateTime(QDate(2026, 3, 5), QTime(9, 4, 7)), QLocale::c()};
    QCOMPARE(ExpandLabelTemplate(labelTemplate, values), expected);
    QCOMPARE(ChooseLabelTemplate("  ", "configured"), QString("configured"));
    QCOMPARE(ChooseLabelTemplate("Box", "configured"), QString("Box"));
  }

  void projectRoundTrip() {
    compilation_->Hooks().GetAudioDuration = [](const QString& path) { return path.endsWith(".wav") ? 185.25 : -1; };
    TQueueNode* folder = nullptr;
    compilation_->CreateFolder(nullptr, "Songs \u00e9t\u00e9", "folder", 45000.5, &folder);
    compilation_->AddQueuePath("/music/track one.wav", folder, 32000000);
    compilation_->AddQueuePath("/data/big.iso", nullptr, 4294967296ULL);
    folder->Children[0]->Item.IconsLoaded = true;
    folder->Children[0]->Item.ImageIndex = 12;
    const QString path = Path("round.qvr");
    QVERIFY(SaveProjectFile(path, compilation_->Root(), "Backup 2026"));
    QVERIFY(!QFile::exists(path + ".saving"));

    TProjectContents contents;
    QVERIFY(LoadProjectFile(path, contents));
    QCOMPARE(contents.VolumeName.value_or("<none>"), QString("Backup 2026"));
    std::vector<std::unique_ptr<TQueueNode>> children;
    QVERIFY(DecodeTree(contents.Tree.value(), children));
    TCompilation loaded;
    loaded.ReplaceChildren(std::move(children));
    QCOMPARE(Describe(loaded.Root()), QString("Songs \u00e9t\u00e9(track one.wav),big.iso"));
    const TQueueItem& track = loaded.Root()->Children[0]->Children[0]->Item;
    QCOMPARE(track.SourcePath, QString("/music/track one.wav"));
    QCOMPARE(track.Size, quint64(32000000));
    QCOMPARE(track.Duration, 185.25);
    QVERIFY(track.IsAudio);
    QVERIFY(!track.IconsLoaded);  // icons are looked up again
    QCOMPARE(loaded.Root()->Children[0]->Item.Modified, 45000.5);
    QVERIFY(loaded.Root()->Children[0]->Item.InfoLoaded);
    QCOMPARE(loaded.TotalFileSize(), quint64(32000000) + 4294967296ULL);
    QCOMPARE(loaded.Root()->Children[1]->Item.Duration, -1.0);
    QVERIFY(loaded.ItemNameExists("SONGS \u00e9t\u00e9", loaded.Root()));
  }

  void damagedProjectsAreRefused() {
    const QString text_file = Path("notes.qvr");
    QFile file(text_file);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("this is not a project");
    file.close();
    TProjectContents contents;
    QVERIFY(!LoadProjectFile(text_file, contents));
    QVERIFY(!LoadProjectFile(Path("missing.qvr"), contents));

    compilation_->AddQueuePath("/a/b.txt", nullptr, 10);
    const QByteArray stream = EncodeTree(compilation_->Root());
    std::vector<std::unique_ptr<TQueueNode>> children;
    for (qsizetype cut : {qsizetype(0), qsizetype(8), stream.size() - 1}) {
      QVERIFY(!DecodeTree(stream.left(cut), children));
      QVERIFY(children.empty());
    }
    QByteArray huge_count = stream;
    huge_count[8] = char(0xFF);
    huge_count[9] = char(0xFF);
    QVERIFY(!DecodeTree(huge_count, children));
    QVERIFY(DecodeTree(stream, children));
  }
};

QTEST_GUILESS_MAIN(CompilationTest)
#include "compilation_test.moc"
