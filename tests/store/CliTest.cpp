#include "../FullDisk.h"
#include "ChildProcess.h"
#include "DataFolderLock.h"
#include "PictureFiles.h"
#include "StoreTestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TRun {
    int Status = -1;
    QString Out;
    QString Err;
};

class Cli : public StoreInTempDir {
protected:
    TRun Run(const QStringList &args, const std::function<void()> &inChild = {})
    {
        QProcess process;
        if (inChild)
            process.setChildProcessModifier(inChild);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"LC_ALL"_qs, u"ja_JP.UTF-8"_qs);
        env.insert(u"LANG"_qs, u"ja_JP.UTF-8"_qs);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(Dir());
        process.start(qEnvironmentVariable("KIVLOG_CLI"), args);
        EXPECT_TRUE(process.waitForFinished(30000));
        TRun run;
        run.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.Out = QString::fromUtf8(process.readAllStandardOutput());
        run.Err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }
};

TEST_F(Cli, HomeInFolderOptionAndYearFileIsExpanded)
{
    ASSERT_TRUE(QDir().mkpath(Path(u"home/diary"_qs)));
    WriteAll(Path(u"home/diary/2009.jnl"_qs), sj("!JNL 1.00 2009\r\n![2009/01/05]\r\n雨\r\n"));
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(Path(u"home"_qs)));
    const TRun search = Run({ u"search"_qs, u"-d~/diary"_qs, u"雨"_qs });
    const TRun dump = Run({ u"dump"_qs, u"~/diary/2009.jnl"_qs });
    qputenv("HOME", home);
    EXPECT_EQ(search.Status, 0) << search.Err.toStdString();
    EXPECT_TRUE(dump.Out.contains(u"雨"_qs)) << dump.Err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path(u"~"_qs)));
}

TEST_F(Cli, DumpPrintsTheLoadedYearAsJson)
{
    WriteAll(Path(u"d2009.jnl"_qs),
        sj("!JNL 1.00 2009\r\n!WIDTH=640\r\n前文 \"q\"\\\r\n"
           "![2009/01/06]\r\n六日\r\n![2009/02/30]\r\nbad\r\n"
           "![2009/01/05]\r\n\t五日\r\n"));
    const TRun run = Run({ u"dump"_qs, u"d2009.jnl"_qs });
    EXPECT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out,
        u"{\"year\":2009,\"modified\":true,\"preamble\":\"前文 \\\"q\\\"\\\\\","
        "\"days\":[{\"date\":\"2009-01-06\",\"text\":\"六日\\r\\n\"},"
        "{\"date\":\"2009-01-05\",\"text\":\"\\t五日\\r\\n\"}],"
        "\"settings\":[\"WIDTH=640\"],\"error_data\":\"!![2009/02/30]\\r\\nbad\","
        "\"messages\":[\"\\\"2009/02/30\\\"は不正な日付けです。\"]}\n"_qs);
    // Looking writes nothing, not even a damaged year that is due to be rewritten.
    EXPECT_EQ(QDir(Dir()).entryList(QDir::Files), QStringList { u"d2009.jnl"_qs });
}

TEST_F(Cli, DumpOfAMissingFileIsAnEmptyYear)
{
    QDir(Dir()).mkdir(u"sub"_qs);
    const TRun run = Run({ u"dump"_qs, Path(u"sub/2012"_qs) });
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Err,
        u"kivlog-cli: "_qs + Path(u"sub/2012"_qs)
            + u" does not exist; shown as an empty year 2012\n"_qs);
    EXPECT_EQ(run.Out,
        u"{\"year\":2012,\"modified\":false,\"preamble\":\"\",\"days\":[],"
        "\"settings\":[],\"error_data\":\"\",\"messages\":[]}\n"_qs);
    EXPECT_TRUE(QDir(Path(u"sub"_qs)).isEmpty());
}

TEST_F(Cli, FailedLoadPrintsTheErrorAndExitsWithOne)
{
    WriteAll(Path(u"2009.jnl"_qs), "!JNL 2.50 2009\r\n");
    for (const char *command : { "dump", "rewrite" }) {
        const TRun run = Run({ QString::fromUtf8(command), u"2009.jnl"_qs });
        EXPECT_EQ(run.Status, 1) << command;
        EXPECT_EQ(run.Out,
            u"{\"error\":\"このバージョンの日記データには対応していません。(2.5)\","
            "\"messages\":[]}\n"_qs);
    }
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), "!JNL 2.50 2009\r\n");
    EXPECT_FALSE(QFileInfo::exists(Path(u"2009.bak"_qs)));
}

TEST_F(Cli, WrongUsageExitsWithTwo)
{
    const QList<QStringList> wrong = {
        {},
        { u"dump"_qs },
        { u"list"_qs, u"2009.jnl"_qs },
        { u"dump"_qs, u"1899.jnl"_qs },
        { u"dump"_qs, u"d209.jnl"_qs },
        { u"dump"_qs, u"2009.jnl"_qs, u"2010.jnl"_qs },
        { u"rewrite"_qs, u"--dayname"_qs, u"maybe"_qs, u"2009.jnl"_qs },
        { u"dump"_qs, u"--dayname"_qs, u"on"_qs, u"2009.jnl"_qs },
        { u"import"_qs, u"-d."_qs },
        { u"import"_qs, u"--format"_qs, u"diary"_qs, u"a.json"_qs },
        { u"menu-entry"_qs, u"-dno such folder"_qs },
        { u"menu-entry"_qs, u"--remove"_qs, u"-d."_qs },
    };
    for (const QStringList &args : wrong) {
        const TRun run = Run(args);
        EXPECT_EQ(run.Status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.Out.isEmpty());
        EXPECT_FALSE(run.Err.isEmpty());
    }
    EXPECT_TRUE(Run({ u"dump"_qs, u"10000.jnl"_qs }).Err.contains(u"prefix '1' and the year 0000"));
    const TRun help = Run({ u"--help"_qs });
    EXPECT_EQ(help.Status, 0);
    EXPECT_TRUE(help.Out.contains(u"rewrite [--dayname on|off] FILE"));
    EXPECT_TRUE(Run({ u"--version"_qs }).Out.startsWith(u"kivlog-cli (KIV-N's Diary) "_qs));
    // A blank after a folder option is explained alike by every command that reads a folder.
    for (const char *command :
        { "check", "export", "onthisday", "search", "import", "menu-entry" }) {
        const TRun blank = Run({ QString::fromUtf8(command), u"-d"_qs, u"Data"_qs });
        EXPECT_EQ(blank.Status, 2) << command;
        EXPECT_TRUE(blank.Err.contains(u"-d takes its value right after the letter, as in -dData"))
            << command << blank.Err.toStdString();
    }
}

// The entry starts the diary installed beside the tool on the folder, quoted as the desktop
// entry format asks, under the installed entry's name; --remove takes it back once.
TEST_F(Cli, MenuEntryStartsTheDiaryOnTheFolderUntilRemoved)
{
    ASSERT_TRUE(QDir().mkpath(Path(u"my diary $5 100%"_qs)));
    const QString path = qEnvironmentVariable("XDG_DATA_HOME") + u"/applications/kivlog.desktop"_qs;
    const TRun written = Run({ u"menu-entry"_qs, u"-dmy diary $5 100%"_qs, u"-pd"_qs });
    const QByteArray entry = ReadAll(path);
    EXPECT_EQ(written.Status, 0) << written.Err.toStdString();
    const QString program = QFileInfo(qEnvironmentVariable("KIVLOG_CLI")).path() + u"/kivlog"_qs;
    EXPECT_TRUE(entry.contains(
        (u"\nExec="_qs + program + u" \"-d"_qs + Dir() + u"my diary \\\\$5 100%%/\" -pd %f\n"_qs)
            .toUtf8()))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains((u"\nTryExec="_qs + program + u"\n"_qs).toUtf8()));
    EXPECT_TRUE(entry.contains("\nName=KIV-N's Diary\n"));
    EXPECT_EQ(Run({ u"menu-entry"_qs, u"--remove"_qs }).Status, 0);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(Run({ u"menu-entry"_qs, u"--remove"_qs }).Status, 1);
}

// A per-user install's entry stands at the same path: it waits aside while the user's entry
// stands, comes back with --remove, and is never removed itself.
TEST_F(Cli, MenuEntryGivesBackTheEntryItFound)
{
    const QString path = qEnvironmentVariable("XDG_DATA_HOME") + u"/applications/kivlog.desktop"_qs;
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && QDir().mkpath(Path(u"sub"_qs)));
    const QByteArray installed = "[Desktop Entry]\nType=Application\nExec=/opt/kivlog %f\n";
    WriteAll(path, installed);
    EXPECT_EQ(Run({ u"menu-entry"_qs, u"-d."_qs }).Status, 0);
    EXPECT_EQ(Run({ u"menu-entry"_qs, u"-dsub"_qs }).Status, 0);
    EXPECT_TRUE(ReadAll(path).contains("sub/"));
    const TRun removed = Run({ u"menu-entry"_qs, u"--remove"_qs });
    EXPECT_EQ(removed.Status, 0) << removed.Err.toStdString();
    EXPECT_EQ(ReadAll(path), installed);
    EXPECT_EQ(Run({ u"menu-entry"_qs, u"--remove"_qs }).Status, 1);
    EXPECT_EQ(ReadAll(path), installed);
}

TEST_F(Cli, RewriteBacksUpAndWritesTheStoresOwnForm)
{
    WriteAll(Path(u"2009.jnl"_qs), Golden("lf_and_cr_breaks.jnl"));
    const TRun run = Run({ u"rewrite"_qs, u"2009.jnl"_qs });
    EXPECT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.isEmpty());
    EXPECT_EQ(ReadAll(Path(u"2009.bak"_qs)), Golden("lf_and_cr_breaks.jnl"));
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), Golden("settings_and_two_days.jnl"));

    const TRun plain = Run({ u"rewrite"_qs, u"--dayname"_qs, u"off"_qs, u"2009.jnl"_qs });
    EXPECT_EQ(plain.Status, 0);
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), Golden("two_days_without_day_names.jnl"));

    // Without --dayname the file's own setting decides, as it does in the diary.
    const QByteArray off = Golden("two_days_without_day_names.jnl").replace("=TRUE", "=false");
    WriteAll(Path(u"2009.jnl"_qs), off);
    EXPECT_EQ(Run({ u"rewrite"_qs, u"2009.jnl"_qs }).Status, 0);
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), off);
}

// This test holds the folder as a running diary does; looking at the year goes on as before.
TEST_F(Cli, RewriteIsRefusedWhileADiaryHoldsTheFolder)
{
    WriteAll(Path(u"2009.jnl"_qs), Golden("lf_and_cr_breaks.jnl"));
    TDataFolderLock diary;
    ASSERT_EQ(diary.Acquire(Dir()), TDataFolderLock::TState::Held);
    const TRun run = Run({ u"rewrite"_qs, Path(u"2009.jnl"_qs) });
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err,
        u"kivlog-cli: the data folder %1 is in use by a diary (process %2); close it before a "
        "rewrite\n"_qs.arg(Dir(), QString::number(::getpid())));
    EXPECT_EQ(QDir(Dir()).entryList(QDir::Files), QStringList { u"2009.jnl"_qs });
    EXPECT_EQ(Run({ u"dump"_qs, u"2009.jnl"_qs }).Status, 0);
    EXPECT_EQ(Run({ u"check"_qs, u"-d."_qs }).Status, 0);
}

// A mistyped name is no reason to make a year file, nor an empty folder a diary without days.
TEST_F(Cli, CommandsOnMissingYearFilesNameThemAndFail)
{
    const TRun rewrite = Run({ u"rewrite"_qs, u"d2010.txt"_qs });
    EXPECT_EQ(rewrite.Status, 1);
    EXPECT_EQ(rewrite.Err,
        u"kivlog-cli: d2010.txt does not exist; rewrite writes only a year file that is there\n"_qs);
    const QStringList onEmpty[] = { { u"export"_qs, u"-d"_qs, u"-pd"_qs, u"-o"_qs, u"x.md"_qs },
        { u"search"_qs, u"-d"_qs, u"-pd"_qs, u"word"_qs },
        { u"onthisday"_qs, u"-d"_qs, u"-pd"_qs } };
    for (const QStringList &args : onEmpty) {
        const TRun run = Run(args);
        EXPECT_EQ(run.Status, 1) << args.join(u' ').toStdString();
        EXPECT_EQ(run.Err, u"kivlog-cli: no year file d????.jnl found in "_qs + Dir() + u"\n"_qs);
    }
    EXPECT_TRUE(QDir(Dir()).isEmpty());
}

TEST_F(Cli, SearchExitStatusFollowsGrep)
{
    WriteAll(
        Path(u"d2009.jnl"_qs), sj("!JNL 1.00 2009\r\n![2009/05/01]\r\n晴れ\r\n夕方にＲＡＩＮ\r\n"));
    WriteAll(Path(u"d2010.jnl"_qs), "!JNL 1.00 2011\r\n");
    const QString folder = u"-d"_qs + Dir();
    const TRun found = Run({ u"search"_qs, folder, u"-pd"_qs, u"rain"_qs, u"夕方"_qs });
    EXPECT_EQ(found.Status, 0);
    EXPECT_EQ(found.Out, u"2009/05/01(金) 夕方にＲＡＩＮ\n"_qs);
    EXPECT_TRUE(found.Err.contains(u"d2010.jnl"_qs));
    EXPECT_EQ(Run({ u"search"_qs, folder, u"-pd"_qs, u"雪"_qs }).Status, 1);
    for (const QStringList &wrong : QList<QStringList> { { u"search"_qs },
             { u"search"_qs, u"-x"_qs, u"a"_qs }, { u"search"_qs, u"-dmissing"_qs, u"a"_qs },
             { u"search"_qs, u"-d"_qs, Dir(), u"夕方"_qs },
             { u"export"_qs, u"--format"_qs, u"odt"_qs },
             { u"export"_qs, u"--from"_qs, u"2009/13/01"_qs } }) {
        EXPECT_EQ(Run(wrong).Status, 2) << wrong.join(u' ').toStdString();
    }
}

TEST_F(Cli, SearchPrintsTheStretchAroundTheHitUnlessFull)
{
    const QString line = QString(50, u'あ') + u"雨"_qs + QString(50, u'い');
    WriteAll(Path(u"2009.jnl"_qs),
        sj("!JNL 1.00 2009\r\n![2009/05/01]\r\n晴れ\r\n") + cp932::Encode(line) + "\r\n");
    const QString folder = u"-d"_qs + Dir();
    EXPECT_EQ(Run({ u"search"_qs, folder, u"雨"_qs }).Out,
        u"2009/05/01(金) …"_qs + QString(10, u'あ') + u"雨"_qs + QString(29, u'い') + u"…\n"_qs);
    EXPECT_EQ(Run({ u"search"_qs, u"--full"_qs, folder, u"雨"_qs }).Out,
        u"2009/05/01(金) "_qs + line + u'\n');
}

TEST_F(Cli, ExportWritesEveryFormatInUtf8)
{
    WriteAll(Path(u"2009.jnl"_qs),
        sj("!JNL 1.00 2009\r\n![2009/05/02]\r\n<b>&</b>") + "&#x1F600;"
            + sj("\r\n# 見出し\r\n![2009/05/01]\r\n一日\r\n") + "\x85\r\n");
    struct TCase {
        const char *Format;
        const char *Out;
    };
    const TCase cases[] = {
        { "text", "2009/05/01(金)\n一日\n\uFFFD\n\n2009/05/02(土)\n<b>&</b>😀\n# 見出し\n\n" },
        { "markdown",
            "# 日記\n\n## 2009/05/01(金)\n\n一日  \n\uFFFD  \n\n"
            "## 2009/05/02(土)\n\n&lt;b&gt;&amp;&lt;/b&gt;😀  \n\\# 見出し  \n\n" },
        { "html",
            "<section id=\"d2009-05-02\">\n<h2>2009/05/02(土)</h2>\n"
            "<div class=\"text\">&lt;b&gt;&amp;&lt;/b&gt;😀\n# 見出し</div>\n</section>\n" },
        { "json",
            "[{\"year\":2009,\"modified\":false,\"preamble\":\"\",\"days\":"
            "[{\"date\":\"2009-05-02\",\"text\":\"<b>&</b>😀\\r\\n# 見出し\\r\\n\"}],"
            "\"settings\":[],\"error_data\":\"\",\"messages\":[]}]\n" },
    };
    for (const TCase &c : cases) {
        const QString format = QString::fromUtf8(c.Format);
        const bool ranged = format == u"json" || format == u"html";
        QStringList args { u"export"_qs, u"-d"_qs, u"--format"_qs, format, u"-o"_qs, u"out"_qs };
        if (ranged)
            args << u"--from=2009/05/02"_qs;
        const TRun run = Run(args);
        EXPECT_EQ(run.Status, 0) << c.Format;
        EXPECT_EQ(run.Err.contains(u"U+FFFD"_qs), !ranged) << c.Format;
        const QString out = QString::fromUtf8(ReadAll(Path(u"out"_qs)));
        if (format == u"html") {
            EXPECT_TRUE(out.contains(QString::fromUtf8(c.Out)) && !out.contains(u"<script"_qs));
        } else {
            EXPECT_EQ(out, QString::fromUtf8(c.Out)) << c.Format;
        }
    }
}

TEST_F(Cli, SearchAndTextExportShowControlCharacters)
{
    WriteAll(
        Path(u"2009.jnl"_qs), "!JNL 1.00 2009\r\n![2009/05/01]\r\nrain\x1b[2J\x07\tx\x7f\x01\r\n");
    const QString shown = u"rain\u241B[2J\u2407\tx\u2421\u2401"_qs;
    const TRun found = Run({ u"search"_qs, u"-d"_qs, u"--"_qs, u"rain"_qs });
    EXPECT_EQ(found.Out, u"2009/05/01(金) "_qs + shown + u'\n');
    const TRun text = Run({ u"export"_qs, u"-d"_qs });
    EXPECT_EQ(text.Out, u"2009/05/01(金)\n"_qs + shown + u"\n\n"_qs);
}

TEST_F(Cli, OnThisDayPrintsTheDayOfEveryYearNewestFirst)
{
    WriteAll(
        Path(u"2023.jnl"_qs), sj("!JNL 1.00 2023\r\n![2023/03/01]\r\n\r\n  三月\r\n二行目\r\n"));
    WriteAll(Path(u"2024.jnl"_qs), sj("!JNL 1.00 2024\r\n![2024/02/29]\r\n閏日\r\n"));
    WriteAll(Path(u"2025.jnl"_qs), sj("!JNL 1.00 2025\r\n![2025/03/01]\r\n晴れ\r\n"));
    const TRun march = Run({ u"onthisday"_qs, u"-d"_qs, u"--date"_qs, u"2026/03/01"_qs });
    EXPECT_EQ(march.Status, 0) << march.Err.toStdString();
    EXPECT_EQ(march.Out, u"2025/03/01(土) 晴れ\n2023/03/01(水) 三月\n"_qs);
    EXPECT_EQ(Run({ u"onthisday"_qs, u"-d"_qs, u"--date=2028/02/29"_qs }).Out,
        u"2024/02/29(木) 閏日\n"_qs);
    EXPECT_EQ(Run({ u"onthisday"_qs, u"-d"_qs, u"--date=2026/03/02"_qs }).Status, 1);
    for (const QString &wrong : { u"--date=2026/02/29"_qs, u"--date"_qs, u"x"_qs })
        EXPECT_EQ(Run({ u"onthisday"_qs, u"-d"_qs, wrong }).Status, 2) << wrong.toStdString();
}

TEST_F(Cli, ExportPdfIsSearchableTextAndNeedsNoDisplay)
{
    WriteAll(Path(u"2009.jnl"_qs),
        sj("!JNL 1.00 2009\r\n![2009/05/02]\r\n二日目\r\n  字下げ\r\n![2009/05/01]\r\n一日\r\n"));
    std::map<QByteArray, QByteArray> display;
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        if (qEnvironmentVariableIsSet(name))
            display[name] = qgetenv(name);
        qunsetenv(name);
    }
    const TRun run = Run({ u"export"_qs, u"-d"_qs, u"--format=pdf"_qs, u"-o"_qs, u"out.pdf"_qs });
    for (const auto &[name, value] : display)
        qputenv(name.constData(), value);
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    ASSERT_TRUE(ReadAll(Path(u"out.pdf"_qs)).startsWith("%PDF-"));
    QProcess text;
    text.start(u"pdftotext"_qs, { Path(u"out.pdf"_qs), u"-"_qs });
    if (!text.waitForFinished(30000))
        GTEST_SKIP() << "pdftotext is not installed";
    QStringList lines;
    for (const QString &line : QString::fromUtf8(text.readAllStandardOutput()).split(u'\n'))
        if (!line.trimmed().isEmpty() && line.trimmed() != u"1")
            lines << line.trimmed();
    EXPECT_EQ(lines,
        (QStringList {
            u"2009/05/01(金)"_qs, u"一日"_qs, u"2009/05/02(土)"_qs, u"二日目"_qs, u"字下げ"_qs }));
    EXPECT_EQ(
        Run({ u"export"_qs, u"-d"_qs, u"--format=pdf"_qs, u"-o"_qs, u"2009.jnl"_qs }).Status, 2);
}

TEST_F(Cli, ExportPdfShowsADaysPictureAndKeepsAMissingOnesLine)
{
    // One white pixel.
    const QByteArray png
        = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAAD"
                                 "UlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
    const QString name = AddPictureBytes(Dir(), png, QDate(2009, 5, 1), u"x"_qs).Name;
    WriteAll(Path(u"2009.jnl"_qs),
        sj("!JNL 1.00 2009\r\n![2009/05/01]\r\n一日\r\n[写真 ") + name.toLatin1()
            + sj("]\r\n[写真 2009-05-01_0000aaaa.gif]\r\n"));
    const TRun run = Run({ u"export"_qs, u"-d"_qs, u"--format=pdf"_qs, u"-o"_qs, u"out.pdf"_qs });
    ASSERT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_GE(ReadAll(Path(u"out.pdf"_qs)).count("/Subtype /Image"), 1);
    QProcess text;
    text.start(u"pdftotext"_qs, { Path(u"out.pdf"_qs), u"-"_qs });
    if (!text.waitForFinished(30000))
        GTEST_SKIP() << "pdftotext is not installed";
    const QString shown = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_FALSE(shown.contains(name));
    EXPECT_TRUE(shown.contains(u"[写真 2009-05-01_0000aaaa.gif]"_qs)) << shown.toStdString();
}

// Days of many lengths over many pages: no page ends with a date heading whose text begins on
// the next.
TEST_F(Cli, ExportPdfKeepsEachDateHeadingWithItsText)
{
    QByteArray year = "!JNL 1.00 2009\r\n";
    for (int day = 0; day < 90; ++day) {
        year += QDate(2009, 1, 1).addDays(day).toString(u"'!['yyyy/MM/dd']'\r\n"_qs).toLatin1();
        for (int line = 0; line <= day * 7 % 13; ++line)
            year += sj("行\r\n");
    }
    WriteAll(Path(u"2009.jnl"_qs), year);
    ASSERT_EQ(
        Run({ u"export"_qs, u"-d"_qs, u"--format=pdf"_qs, u"-o"_qs, u"out.pdf"_qs }).Status, 0);
    QProcess text;
    text.start(u"pdftotext"_qs, { u"-layout"_qs, Path(u"out.pdf"_qs), u"-"_qs });
    if (!text.waitForFinished(30000))
        GTEST_SKIP() << "pdftotext is not installed";
    const QStringList pages = QString::fromUtf8(text.readAllStandardOutput()).split(u'\f');
    ASSERT_GT(pages.size(), 5);
    for (const QString &page : pages) {
        QStringList lines = page.split(u'\n');
        lines.removeIf([](const QString &line) { return line.trimmed().isEmpty(); });
        // The page number comes last.
        if (lines.size() > 1) {
            EXPECT_FALSE(lines[lines.size() - 2].contains(u'/')) << page.toStdString();
        }
    }
}

TEST_F(Cli, ExportNeverTakesTheDiarysOwnFilesAndFailsOnAFullDisk)
{
    const QByteArray year = "!JNL 1.00 2009\r\n![2009/01/05]\r\n" + QByteArray(8192, 'x') + "\r\n";
    WriteAll(Path(u"2009.jnl"_qs), year);
    QDir(Dir()).mkdir(u"backup"_qs);
    QDir(Dir()).mkdir(u"inbox"_qs);
    // And a version of any diary, wherever it lies.
    QDir(Dir()).mkdir(u"other"_qs);
    WriteAll(Path(u"other/notes.txt"_qs), "!JNL 1.00 2009\r\n");
    for (const QString &own : { u"2009.jnl"_qs, u"2010.jnl"_qs, u"2009.bak"_qs,
             u"backup/mine.txt"_qs, u"inbox/2026-12-09.md"_qs, u"other/notes.txt"_qs,
             u"other/d2026.txt.conflict-20261208-221530-2"_qs,
             u"other/2026.sync-conflict-20261209-060034-FEYNXDC.jnl"_qs,
             u"other/2026 (Taro's conflicted copy 2026-12-09).jnl"_qs }) {
        const TRun run = Run({ u"export"_qs, u"-d"_qs, u"-o"_qs, own });
        EXPECT_EQ(run.Status, 2) << own.toStdString();
        EXPECT_TRUE(run.Err.contains(own)) << run.Err.toStdString();
    }
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), year);

    const TRun full
        = Run({ u"export"_qs, u"-d"_qs, u"-o"_qs, u"out.txt"_qs }, [] { LimitFileSize(4096); });
    EXPECT_EQ(full.Status, 1) << full.Err.toStdString();
    EXPECT_EQ(QDir(Dir()).entryList(QDir::Files | QDir::Hidden), QStringList { u"2009.jnl"_qs });

    // As private as the year files it is made of.
    ASSERT_EQ(::chmod(QFile::encodeName(Path(u"2009.jnl"_qs)).constData(), 0640), 0);
    EXPECT_EQ(Run({ u"export"_qs, u"-d"_qs, u"-o"_qs, u"out.txt"_qs }).Status, 0);
    struct stat out { };
    ASSERT_EQ(::stat(QFile::encodeName(Path(u"out.txt"_qs)).constData(), &out), 0);
    EXPECT_EQ(out.st_mode & 0777, 0640u);
}

TEST_F(Cli, RewriteBeyondTheFileSizeLimitFailsAndKeepsTheFile)
{
    const QByteArray year = "!JNL 1.00 2009\r\n![2009/01/05]\r\n" + QByteArray(8192, 'x') + "\r\n";
    WriteAll(Path(u"2009.jnl"_qs), year);
    const TRun run = Run({ u"rewrite"_qs, u"2009.jnl"_qs }, [] { LimitFileSize(4096); });
    EXPECT_EQ(run.Status, 1) << "ended by a signal when -1";
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), year);
    EXPECT_EQ(QDir(Dir()).entryList(QDir::Files | QDir::Hidden),
        (QStringList { u".kivlog-diary"_qs, u"2009.jnl"_qs }));
}

TEST_F(Cli, CheckReportsEveryYearFileOfTheFolder)
{
    QDir(Dir()).mkpath(u"Data/backup"_qs);
    WriteAll(Path(u"Data/d2009.jnl"_qs),
        "!JNL 1.00 2009\r\n![2009/01/05]\r\na\r\n![2009/02/30]\r\nb\r\n");
    WriteAll(Path(u"Data/d2010.jnl"_qs), "!JNL 1.00 2011\r\n");
    // Beside them: what only looks like year files, and the copies kept of them.
    for (const char *name : { "Data/d2009.jnl.conflict-20261208-221530", "Data/d2009.bak",
             "Data/d2009.sync-conflict-20261209-060034-FEYNXDC.jnl",
             "Data/d2009 (conflicted copy 2026-12-09 060034).jnl", "Data/d2009 (copy).jnl",
             "Data/d1899.jnl", "Data/d20091.jnl", "Data/backup/d2009-20261207.jnl",
             "Data/backup/d2009-20261208-desk-ab12.jnl" })
        WriteAll(Path(QString::fromUtf8(name)), "x");

    const TRun run = Run({ u"check"_qs, u"-pd"_qs });
    EXPECT_EQ(run.Status, 1) << run.Err.toStdString();
    EXPECT_EQ(run.Out,
        u"Data/d2009.jnl: ok; 1 day; 1 rejected block; "
        "conflict files: Data/d2009.jnl.conflict-20261208-221530, "
        "Data/d2009 (conflicted copy 2026-12-09 060034).jnl, "
        "Data/d2009.sync-conflict-20261209-060034-FEYNXDC.jnl; "
        "newest backup: Data/backup/d2009-20261208-desk-ab12.jnl\n"
        "Data/d2010.jnl: does not load: 日記データの年が一致しません。; conflict files: none; "
        "newest backup: none\n"_qs);

    QFile::remove(Path(u"Data/d2010.jnl"_qs));
    // Every year loads, but a version of one lives in a copy beside it.
    const QStringList copies = { u"Data/d2009.jnl.conflict-20261208-221530"_qs,
        u"Data/d2009 (conflicted copy 2026-12-09 060034).jnl"_qs,
        u"Data/d2009.sync-conflict-20261209-060034-FEYNXDC.jnl"_qs };
    for (const QString &copy : copies) {
        EXPECT_EQ(Run({ u"check"_qs, u"-dData"_qs, u"-pd"_qs, u"-ejnl"_qs }).Status, 1);
        QFile::remove(Path(copy));
    }
    EXPECT_EQ(Run({ u"check"_qs, u"-dData"_qs, u"-pd"_qs, u"-ejnl"_qs }).Status, 0);
    const TRun none = Run({ u"check"_qs, u"-pdiary"_qs });
    EXPECT_EQ(none.Status, 1);
    EXPECT_EQ(none.Err,
        u"kivlog-cli: no year file diary????.jnl found in "_qs + Path(u"Data/"_qs) + u'\n');
    EXPECT_EQ(Run({ u"check"_qs, u"-dNone"_qs }).Status, 2);
    EXPECT_EQ(Run({ u"check"_qs, u"Data"_qs }).Status, 2);
}

TEST_F(Cli, PicturesAreCheckedAndCarriedBesideAnExport)
{
    const QString kept
        = AddPictureBytes(Path(u"Data/"_qs), "GIF89a kept", QDate(2009, 5, 1), u"x"_qs).Name;
    const QString unnamed
        = AddPictureBytes(Path(u"Data/"_qs), "GIF89a unnamed", QDate(2009, 4, 1), u"x"_qs).Name;
    WriteAll(Path(u"Data/2009.jnl"_qs),
        sj("!JNL 1.00 2009\r\n![2009/05/01]\r\n[写真 2009-05-01_0000aaaa.png]\r\n<p>\r\n[写真 ")
            + kept.toLatin1() + "]\r\n");
    const TRun check = Run({ u"check"_qs });
    EXPECT_EQ(check.Status, 1);
    EXPECT_TRUE(check.Out.endsWith(
        u"Data/photos/2009/2009-05-01_0000aaaa.png: missing; named on 2009/05/01\n"
        "Data/photos/2009/"_qs
        + unnamed + u": named by no line\n"_qs))
        << check.Out.toStdString();

    QDir(Dir()).mkpath(u"out"_qs);
    EXPECT_EQ(Run({ u"export"_qs, u"--format=html"_qs, u"-o"_qs, u"out/d.html"_qs }).Status, 0);
    EXPECT_TRUE(
        QString::fromUtf8(ReadAll(Path(u"out/d.html"_qs)))
            .contains(u"&lt;p&gt;\n<img src=\"photos/2009/"_qs + kept + u"\" alt=\""_qs + kept))
        << ReadAll(Path(u"out/d.html"_qs)).toStdString();
    EXPECT_EQ(ReadAll(Path(u"out/photos/2009/"_qs + kept)), "GIF89a kept");
    EXPECT_EQ(Run({ u"export"_qs, u"--format=markdown"_qs }).Out,
        u"# 日記\n\n## 2009/05/01(金)\n\n![2009-05-01_0000aaaa.png]"
        "(photos/2009/2009-05-01_0000aaaa.png)  \n&lt;p&gt;  \n!["_qs
            + kept + u"](photos/2009/"_qs + kept + u")  \n\n"_qs);
    EXPECT_TRUE(Run({ u"export"_qs, u"--format=json"_qs })
                    .Out.contains(u"\"pictures\":[\"2009-05-01_0000aaaa.png\",\""_qs + kept));
}

} // namespace

TEST_F(Cli, AFolderOfAnotherUserIsNamedNotTakenForAnEmptyOne)
{
    const QByteArray cli = qgetenv("KIVLOG_CLI");
    if (!NobodyCanRun(cli.constData()))
        GTEST_SKIP() << "the user nobody cannot run " << cli.constData();
    const QString folder = Path(u"other/"_qs);
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteAll(folder + u"2009.jnl"_qs, sj("!JNL 1.00 2009\r\n![2009/05/01]\r\n雨\r\n"));
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner));
    // As another user: root reads every folder.
    const auto otherUser = [] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(99);
    };
    for (const QStringList &args : { QStringList { u"check"_qs, u"-d"_qs + folder },
             QStringList { u"search"_qs, u"-d"_qs + folder, u"雨"_qs },
             QStringList { u"onthisday"_qs, u"-d"_qs + folder, u"--date=2026/05/01"_qs } }) {
        const TRun run = Run(args, otherUser);
        EXPECT_EQ(run.Status, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.Err.contains(u"permission denied"_qs)) << run.Err.toStdString();
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// This test holds the folder as a running diary does at its end.
TEST_F(Cli, ImportTakesNewDaysOnceNamesUnreadableSourcesAndRespectsTheLock)
{
    ASSERT_TRUE(QDir(Dir()).mkpath(u"Data"_qs) && QDir(Dir()).mkpath(u"days"_qs));
    WriteAll(Path(u"days/2023-03-07.md"_qs), "# 見出し\n");
    WriteAll(Path(u"bad.json"_qs), "{\"entries\": [");
    const QStringList args { u"import"_qs, u"-dData"_qs, u"days"_qs };
    const TRun dry = Run(QStringList(args) << u"--dry-run"_qs);
    EXPECT_EQ(dry.Status, 0) << dry.Err.toStdString();
    EXPECT_TRUE(QDir(Path(u"Data"_qs)).isEmpty());
    const TRun run = Run(args);
    EXPECT_EQ(run.Status, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out,
        u"2023: 1 day added; 0 days extended; 0 days hold both texts\n  added: 2023/03/07\n"_qs);
    EXPECT_EQ(dry.Out, run.Out + u"dry run: nothing written\n"_qs);
    const QByteArray written = ReadAll(Path(u"Data/2023.jnl"_qs));
    EXPECT_TRUE(written.contains("# "));

    const TRun again = Run(QStringList(args) << u"bad.json"_qs);
    EXPECT_EQ(again.Status, 1);
    EXPECT_TRUE(again.Err.contains(u"bad.json cannot be read"_qs)) << again.Err.toStdString();
    EXPECT_TRUE(again.Out.startsWith(u"2023: 0 days added"_qs));
    EXPECT_EQ(ReadAll(Path(u"Data/2023.jnl"_qs)), written);

    // Counts, and with --verbose what they count.
    WriteAll(Path(u"days/README.md"_qs), "about\n");
    const TRun counts = Run(QStringList(args) << u"--dry-run"_qs);
    EXPECT_TRUE(counts.Out.contains(u"days: 1 entry or file skipped (--verbose names them)\n"_qs))
        << counts.Out.toStdString();
    const TRun named = Run(QStringList(args) << u"--dry-run"_qs << u"--verbose"_qs);
    EXPECT_TRUE(named.Out.contains(u"  skipped: days/README.md: named for no day"_qs))
        << named.Out.toStdString();

    // Before the diary's first start: its folder is made as that start makes it.
    EXPECT_EQ(Run({ u"import"_qs, u"-dFresh"_qs, u"days"_qs }).Status, 0);
    EXPECT_EQ(QFile::permissions(Path(u"Fresh"_qs)) & 0x0077, QFileDevice::Permissions());
    EXPECT_TRUE(QFileInfo::exists(Path(u"Fresh/2023.jnl"_qs)));

    ASSERT_TRUE(QDir(Dir()).mkpath(u"empty"_qs));
    const TRun nothing = Run({ u"import"_qs, u"-dData"_qs, u"empty"_qs });
    EXPECT_EQ(nothing.Status, 1);
    EXPECT_EQ(nothing.Out, u"no day to take in\n"_qs);

    TDataFolderLock diary;
    ASSERT_EQ(diary.Acquire(Path(u"Data"_qs)), TDataFolderLock::TState::Held);
    WriteAll(Path(u"days/2023-03-08.md"_qs), "次\n");
    EXPECT_EQ(Run(args).Status, 1);
    EXPECT_EQ(ReadAll(Path(u"Data/2023.jnl"_qs)), written);
}

namespace {

// The figures and month rows of a year, as text and JSON, without the words left out on this
// machine; a year without a file says so.
TEST_F(Cli, StatsPrintsTheYearsFiguresAndDays)
{
    ASSERT_TRUE(QDir().mkpath(Path(u"Data"_qs)) && QDir().mkpath(Path(u"config/kivlog"_qs)));
    WriteAll(Path(u"Data/2026.jnl"_qs),
        sj("!JNL 1.00 2026\r\n![2026/01/02]\r\n図書館で雨宿り\r\n![2026/01/03]\r\n雨\r\n"));
    WriteAll(Path(u"config/kivlog/words-left-out"_qs), "# mine\n雨宿\n");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Path(u"config"_qs)));
    const TRun text = Run({ u"stats"_qs, u"2026"_qs });
    const TRun json = Run({ u"stats"_qs, u"--json"_qs, u"2026"_qs });
    const TRun none = Run({ u"stats"_qs, u"2025"_qs });
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(text.Status, 0) << text.Err.toStdString();
    EXPECT_TRUE(text.Out.contains(u"書いた日: 2日\n文字数: 8字\n"_qs)) << text.Out.toStdString();
    EXPECT_TRUE(text.Out.contains(u"\n 1月  .#-....."_qs)) << text.Out.toStdString();
    EXPECT_TRUE(text.Out.contains(u"よく使った言葉: 図書館 1\n"_qs)) << text.Out.toStdString();
    EXPECT_TRUE(json.Out.contains(u"\"days_written\":2,\"characters\":8,"_qs));
    EXPECT_TRUE(json.Out.contains(u"\"days\":[[0,7,1,0,"_qs));
    EXPECT_EQ(none.Status, 1);
}

// The timer and its service go into the user's systemd folder and are enabled; the service
// notifies only while today has no text; --off takes both back. Without systemctl the files
// are written and the way to start them said.
TEST_F(Cli, RemindInstallsATimerThatNotifiesOnAnEmptyDay)
{
    ASSERT_TRUE(QDir().mkpath(Path(u"bin"_qs)) && QDir().mkpath(Path(u"Data"_qs)));
    for (const QString tool : { u"systemctl"_qs, u"notify-send"_qs }) {
        WriteAll(Path(u"bin/"_qs + tool), "#!/bin/sh\necho \"$@\" >>\"$0.log\"\n");
        ::chmod(QFile::encodeName(Path(u"bin/"_qs + tool)).constData(), 0755);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(Path(u"bin"_qs)));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(Path(u"config"_qs)));
    const auto restore = qScopeGuard([&] {
        qputenv("PATH", path);
        qunsetenv("XDG_CONFIG_HOME");
    });
    const QString timer = Path(u"config/systemd/user/kivlog-remind.timer"_qs);
    const QString service = Path(u"config/systemd/user/kivlog-remind.service"_qs);

    EXPECT_EQ(Run({ u"remind"_qs, u"--at"_qs, u"21:30"_qs }).Status, 0);
    EXPECT_TRUE(ReadAll(timer).contains("OnCalendar=*-*-* 21:30:00\n"));
    EXPECT_TRUE(ReadAll(service).contains(
        "\" \"remind\" \"--check\" \"-d" + QFile::encodeName(Path(u"Data/\"\n"_qs))));
    EXPECT_EQ(ReadAll(Path(u"bin/systemctl.log"_qs)),
        "--user daemon-reload\n--user enable --now kivlog-remind.timer\n");

    const TRun empty = Run({ u"remind"_qs, u"--check"_qs });
    EXPECT_EQ(empty.Status, 0) << empty.Err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(ReadAll(Path(u"bin/notify-send.log"_qs)))
                    .contains(u"今日の日記はまだありません。"_qs));
    QByteArray days = "!JNL 1.00 " + QByteArray::number(QDate::currentDate().year()) + "\r\n";
    for (const QDate day : { QDate::currentDate(), QDate::currentDate().addDays(-1) })
        days += "![" + day.toString(u"yyyy/MM/dd"_qs).toLatin1() + "]\r\n書いた\r\n";
    WriteAll(Path(u"Data/%1.jnl"_qs.arg(QDate::currentDate().year())), sj(days.constData()));
    QFile::remove(Path(u"bin/notify-send.log"_qs));
    EXPECT_EQ(Run({ u"remind"_qs, u"--check"_qs }).Status, 0);
    EXPECT_FALSE(QFileInfo::exists(Path(u"bin/notify-send.log"_qs)));

    EXPECT_EQ(Run({ u"remind"_qs, u"--off"_qs }).Status, 0);
    EXPECT_FALSE(QFileInfo::exists(timer) || QFileInfo::exists(service));
    EXPECT_TRUE(ReadAll(Path(u"bin/systemctl.log"_qs)).contains("--user disable --now"));
    EXPECT_EQ(Run({ u"remind"_qs, u"--off"_qs }).Status, 1);

    QFile::remove(Path(u"bin/systemctl"_qs));
    const TRun without = Run({ u"remind"_qs, u"--at"_qs, u"7:05"_qs });
    EXPECT_EQ(without.Status, 0);
    EXPECT_TRUE(without.Err.contains(u"systemctl was not found"_qs)) << without.Err.toStdString();
    EXPECT_TRUE(ReadAll(timer).contains("OnCalendar=*-*-* 07:05:00\n"));
}

} // namespace
