#include "Cp932.h"
#include "DiaryWindowFixture.h"
#include "InfoOptions.h"
#include "Messages.h"
#include "SearchWindow.h"
#include "WindowTexts.h"

#include <QLineEdit>
#include <QScopeGuard>
#include <unistd.h>

namespace {

using TBoxes = QList<std::pair<TBoxKind, QString>>;

// Lets a folder take new files or none, not even root's: as root the folder is made immutable.
bool setWritable(const QString &folder, bool writable)
{
    if (::geteuid() == 0)
        return QProcess::execute(u"chattr"_s, { writable ? u"-i"_s : u"+i"_s, folder }) == 0;
    return QFile::setPermissions(folder,
        QFile::ReadOwner | QFile::ExeOwner | (writable ? QFile::WriteOwner : QFile::Permissions()));
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void init() { F = std::make_unique<TDiaryWindowFixture>(); }
    void cleanup() { F.reset(); }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("location"); // BaseDir|Prefix|Ext
        QTest::newRow("none") << QStringList {} << "Data/||.jnl";
        QTest::newRow("options") << QStringList { "-dsub/dir", "-pnote", "-ejnl2" }
                                 << "sub/dir/|note|.jnl2";
        QTest::newRow("options, no values") << QStringList { "-d", "-p", "-e" } << "||";
        QTest::newRow("other letters") << QStringList { "-D/nowhere", "-x" } << "Data/||.jnl";
        QTest::newRow("lone dash") << QStringList { "-" } << "||";
        QTest::newRow("blank after -d") << QStringList { "-d", "other" } << "|o|";
        QTest::newRow("wildcard") << QStringList { "diary/*2001.jnl" } << "diary/|my|.jnl";
        QTest::newRow("no such file") << QStringList { "new/MY2001.JNL" } << "new/|MY|.JNL";
        QTest::newRow("no folder part") << QStringList { "notes2001.jnl" } << "|notes|.jnl";
        QTest::newRow("no extension") << QStringList { "a.b/2001" } << "a.b/||";
        QTest::newRow("short name") << QStringList { "d/x1.jnl" } << "d/||.jnl";
        QTest::newRow("path overrides") << QStringList { "-eabc", "d/x2001.jnl" } << "d/|x|.jnl";
        QTest::newRow("option overrides") << QStringList { "d/x2001.jnl", "-eabc" } << "d/|x|.abc";
        QTest::newRow("empty argument") << QStringList { "", "-pnote" } << "Data/|note|.jnl";
        QTest::newRow("brackets are no wildcards")
            << QStringList { "diary/[m]y2001.jnl" } << "diary/|[m]y|.jnl";
        QTest::newRow("brackets and backslash in a match")
            << QStringList { "diary/x[1]\\*.jnl" } << "diary/|x[1]\\|.jnl";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, location);
        F->SetUp(At(2009, 5, 10));
        F->Write(u"diary/zz2001.jnl"_s, {});
        F->Write(u"diary/my2001.jnl"_s, {});
        F->Write(u"diary/x[1]\\2001.jnl"_s, {});

        F->Start(arguments);

        const TKivDiary &diary = F->Diary();
        QCOMPARE(
            QStringList({ diary.BaseDir(), diary.Prefix(), diary.Ext() }).join(u'|'), location);
        QVERIFY(diary.Active());
        QVERIFY(diary.BaseDir().isEmpty() || QFileInfo(diary.BaseDir()).isDir());
        QVERIFY(F->Boxes.isEmpty());
    }

    void helpNamesTheFolderTheWindowUses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("empty argument") << QStringList { "" };
        QTest::newRow("home in -d") << QStringList { "-d~/Sync/diary" };
        QTest::newRow("home in a year file") << QStringList { "-dx", "~/diary/notes2026.jnl" };
    }

    void helpNamesTheFolderTheWindowUses()
    {
        QFETCH(QStringList, arguments);
        F->SetUp(At(2009, 5, 10));
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(F->Dir.filePath(u"home"_s)));
        const QString named = DataFolderFor(arguments);
        F->Start(arguments);
        qputenv("HOME", home);
        const QString used = F->Diary().BaseDir().isEmpty() ? u"."_s : F->Diary().BaseDir();
        QVERIFY(QFileInfo(used).isDir());
        QCOMPARE(QDir(named).canonicalPath(), QDir(used).canonicalPath());
        QVERIFY(!QFileInfo::exists(u"~"_s));
    }

    void folderThatCannotBeCreatedFallsBackToTheCurrentFolder()
    {
        F->SetUp(At(2009, 5, 10));
        F->Write(u"blocker"_s, "a file, not a folder");

        F->Start({ u"-dblocker/sub"_s });

        QCOMPARE(F->Boxes.size(), 1);
        QCOMPARE(F->Boxes[0].first, TBoxKind::Message);
        QCOMPARE(F->Boxes[0].second,
            u"フォルダの作成に失敗しました。\r\n> "_s + QDir::currentPath()
                + u"/blocker/sub/\r\nカレントフォルダを使用します。"_s);
        QCOMPARE(F->Diary().BaseDir(), QString());
        QVERIFY(F->Diary().Active());
    }

    void aFolderThatTakesNoFilesIsNamedAndTheTextGoesToTheUsersOwn_data()
    {
        QTest::addColumn<QString>("current"); // below the test's folder
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("uncreated");
        QTest::addColumn<bool>("nowhere"); // the user's own data folder cannot be made either
        QTest::newRow("read-only data folder") << "" << QStringList { "-dro" } << "" << false;
        QTest::newRow("read-only current folder") << "ro" << QStringList {} << "ro/Data/" << false;
        QTest::newRow("nowhere else either") << "" << QStringList { "-dro" } << "" << true;
    }

    // Said once at start, naming both folders in full; at the end the whole year goes to the
    // user's own data folder and the box names that file.
    void aFolderThatTakesNoFilesIsNamedAndTheTextGoesToTheUsersOwn()
    {
        QFETCH(QString, current);
        QFETCH(QStringList, arguments);
        QFETCH(QString, uncreated);
        QFETCH(bool, nowhere);
        F->SetUp(At(2009, 5, 10));
        const QString root = F->Dir.path() + u'/';
        if (nowhere) {
            QFile blocker(root + u"share/kivlog"_s);
            QVERIFY(QDir().mkpath(root + u"share"_s) && blocker.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir().mkdir(u"ro"_s));
        if (!setWritable(root + u"ro"_s, false))
            QSKIP("no folder can be made read-only here");
        const auto back = qScopeGuard([&] { setWritable(root + u"ro"_s, true); });
        QVERIFY(QDir::setCurrent(root + current));

        TForm1 &form = F->Start(arguments);

        const QString box = (uncreated.isEmpty() ? QString()
                                                 : u"フォルダの作成に失敗しました。\r\n> "_s + root
                                        + uncreated + u"\r\nカレントフォルダを使用します。\r\n"_s)
            + u"データフォルダに書き込めません。\r\n> "_s + root + u"ro/\r\n"_s
            + (nowhere ? Text(wtext::kNothingCanBeKept)
                       : u"保存できないときは、日記の内容を次のフォルダに保存します。\r\n> "_s
                        + root + u"share/kivlog/rescued/"_s);
        QCOMPARE(F->Boxes, (TBoxes { { TBoxKind::Message, box } }));
        F->Boxes.clear();
        F->Type(form.KivDiaryEdit1, u"日記"_s);
        const QString yearFile = QFileInfo(F->Diary().FilePath()).absoluteFilePath();
        F->Form.reset();

        const QString rescued = root + u"share/kivlog/rescued/2009.jnl.rescued-20090510-120000"_s;
        QCOMPARE(F->Boxes,
            (TBoxes { { TBoxKind::Message,
                u"日記を保存できませんでした。\r\n"_s + yearFile + u"\r\nファイル "_s + yearFile
                    + u" を作成できません\r\n"_s
                    + (nowhere ? Text(msg::kKeptInProcessOnly) + u"\r\n2009/05/10"_s
                               : u"日記ファイルに保存できないため、"_s
                                + u"日記の内容を次のファイルに保存しました。\r\n"_s
                                + rescued) } }));
        QVERIFY(nowhere || F->Read(rescued).endsWith("\r\n" + cp932::Encode(u"日記") + "\r\n"));
    }

    void theDataFolderIsShownInFull_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("folder"); // below the current folder
        QTest::addColumn<QString>("more"); // the options after the folder's in the command
        QTest::newRow("made at start") << QStringList {} << "Data/"
                                       << "";
        QTest::newRow("relative, through ..") << QStringList { "-dsub/../diary" } << "diary/"
                                              << "";
        QTest::newRow("the current folder") << QStringList { "-d" } << ""
                                            << "";
        QTest::newRow("with a blank") << QStringList { "-dmy diary" } << "my diary/"
                                      << "";
        QTest::newRow("year file with prefix and extension")
            << QStringList { "notes/d 2026.txt" } << "notes/"
            << " '-pd ' -e.txt";
    }

    void theDataFolderIsShownInFull()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        QFETCH(QString, more);
        F->SetUp(At(2009, 5, 10));
        TForm1 &form = F->Start(arguments);
        const QString full = QDir::currentPath() + u'/' + folder;

        // With the command, as a shell takes it, that makes the menu start the diary there.
        const QString option = u"-d"_s + full;
        QCOMPARE(form.PnlStatus->toolTip(),
            u"データフォルダ: "_s + full
                + u"\nメニューから起動したときもこのフォルダを使うには、次のコマンドを実行します:\n"
                  u"kivlog-cli menu-entry "_s
                + (folder.contains(u' ') ? u'\'' + option + u'\'' : option) + more);
        form.ActSearch->trigger();
        auto *search = form.findChild<TSearchWindow *>(u"SearchWindow"_s);
        QVERIFY(search);
        QCOMPARE(search->EdtFolder->text(), full);
        // Made by the diary, the folder is the user's alone.
        if (!folder.isEmpty())
            QCOMPARE(QFile::permissions(full) & ~QFile::Permissions(0x0f00),
                QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void diaryDayBeginsAtEight_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QDate>("shown");
        QTest::newRow("before") << QTime(7, 59, 59, 600) << QDate(2009, 5, 9);
        QTest::newRow("0.33333 is short of a third") << QTime(7, 59, 59, 800) << QDate(2009, 5, 10);
    }

    // The status labels show the clock's date and keep it.
    void diaryDayBeginsAtEight()
    {
        QFETCH(QTime, time);
        QFETCH(QDate, shown);
        F->SetUp(At(2009, 5, 10, time));
        TForm1 &form = F->Start();

        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()), shown);
        form.BtnNextYear->click();
        QCOMPARE(form.LblYear->text() + form.LblDate->text(), u"2009年05月10日(日)"_s);
    }

    void settingsAreApplied_data()
    {
        QTest::addColumn<QByteArrayList>("settings");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("points");
        QTest::addColumn<QString>("family");
        QTest::newRow("decimal and hex")
            << QByteArrayList { "WIDTH=$2BC", "HEIGHT=0x1E0", "FONTSIZE=0XC", "FONTNAME=IPAGothic" }
            << QSize(700, 480) << 12 << "IPAGothic";
        QTest::newRow("blanks, sign, x")
            << QByteArrayList { "width=  +640", "HEIGHT=x1F4" } << QSize(640, 500) << 9 << "";
        QTest::newRow("unreadable")
            << QByteArrayList { "WIDTH=640 ", "HEIGHT=abc", "FONTSIZE=2147483648" }
            << QSize(544, 360) << 9 << "";
        QTest::newRow("long face name")
            << QByteArrayList { "FONTNAME=" + QByteArray(30, 'A') + "\x93\xfa" } << QSize(544, 360)
            << 9 << QString(30, u'A'); // never half a character
    }

    void settingsAreApplied()
    {
        QFETCH(QByteArrayList, settings);
        QFETCH(QSize, size);
        QFETCH(int, points);
        QFETCH(QString, family);
        F->SetUp(At(2009, 5, 10));
        F->Write(u"Data/2009.jnl"_s, F->YearFile(2009, settings << "dayname=True"));

        TForm1 &form = F->Start();

        QCOMPARE(form.frameGeometry().size(), size);
        QCOMPARE(form.KivDiaryEdit1->font().pointSize(), points);
        QVERIFY(family.isEmpty() || form.KivDiaryEdit1->font().family() == family);
        QVERIFY(form.N2->isChecked()); // name and value in any letter case
    }

    void storeErrorEndsTheProgramWithoutWriting_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("first day's year") << "Data/2009.jnl" << QByteArray("!JNL 7.00 2009\r\n");
        QTest::newRow("1900, read by Open") << "Data/1900.jnl" << QByteArray("no header\r\n");
    }

    void storeErrorEndsTheProgramWithoutWriting()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        F->SetUp(At(2009, 5, 10));
        F->Write(file, bytes);

        QVERIFY(F->Start().TerminateRequested());
        QCOMPARE(F->Boxes.size(), 1);
        QVERIFY(F->Boxes[0].second.endsWith(u"\r\nアプリケーションを終了します。"_s));
        QVERIFY(!F->Boxes[0].second.startsWith(u"\r\n"_s));
        F->Form.reset();
        QCOMPARE(F->Read(file), bytes);
        QCOMPARE(
            QDir(u"Data"_s).entryList(QDir::Files), QStringList { QFileInfo(file).fileName() });
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
