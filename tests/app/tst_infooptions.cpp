#include "InfoOptions.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestInfoOptions : public QObject {
    Q_OBJECT

private slots:
    void language_data()
    {
        QTest::addColumn<QStringList>("environment"); // LC_ALL, LC_MESSAGES, LANG, LANGUAGE
        QTest::addColumn<bool>("japanese");
        QTest::newRow("LANG") << QStringList { "", "", "ja_JP.UTF-8", "" } << true;
        QTest::newRow("LC_ALL wins") << QStringList { "C.UTF-8", "", "ja_JP.UTF-8", "" } << false;
        QTest::newRow("LC_MESSAGES")
            << QStringList { "", "ja_JP.UTF-8", "en_GB.UTF-8", "" } << true;
        QTest::newRow("LANGUAGE first") << QStringList { "", "", "en_US.UTF-8", "ja:en" } << true;
        QTest::newRow("LANGUAGE under C") << QStringList { "", "", "C", "ja" } << false;
        QTest::newRow("nothing set") << QStringList { "", "", "", "" } << false;
    }

    void language()
    {
        QFETCH(QStringList, environment);
        QFETCH(bool, japanese);
        const char *names[] = { "LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE" };
        QByteArray saved[4];
        for (int i = 0; i < 4; ++i) {
            saved[i] = qgetenv(names[i]);
            qputenv(names[i], environment[i].toUtf8());
        }
        const bool answer = UserWantsJapanese();
        for (int i = 0; i < 4; ++i)
            qputenv(names[i], saved[i]);
        QCOMPARE(answer, japanese);
    }

    void dataFolder_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("folder"); // below the current folder
        QTest::newRow("default") << QStringList {} << "/Data/";
        QTest::newRow("-d, later wins") << QStringList { "-da", "-db/c" } << "/b/c/";
        QTest::newRow("year file's folder") << QStringList { "-da", "n/d2026.jnl" } << "/n/";
        QTest::newRow("empty -d") << QStringList { "-d" } << "/";
    }

    void dataFolder()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        QCOMPARE(DataFolderFor(arguments), QDir::currentPath() + folder);
    }

    // Without a display the program could not make a window: exit status 0 shows it made none.
    void answeredWithoutWindowOrFolder_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("expected");
        QTest::newRow("help, Japanese") << "--help"
                                        << "ja_JP.UTF-8"
                                        << "使い方: kivlog";
        QTest::newRow("help, English") << "--help"
                                       << "de_DE.UTF-8"
                                       << "Usage: kivlog";
        QTest::newRow("-h") << "-h"
                            << "C"
                            << "Usage: kivlog";
        QTest::newRow("version") << "--version"
                                 << "C"
                                 << "kivlog (KIV-N's Diary) " KIVLOG_VERSION;
    }

    void answeredWithoutWindowOrFolder()
    {
        QFETCH(QString, argument);
        QFETCH(QString, lang);
        QFETCH(QString, expected);
        QTemporaryDir folder;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name :
            { "LC_ALL", "LC_MESSAGES", "LANGUAGE", "DISPLAY", "WAYLAND_DISPLAY" })
            environment.remove(QString::fromLatin1(name));
        environment.insert(u"LANG"_s, lang);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder.path());
        process.start(qEnvironmentVariable("KIVLOG_BINARY"), { u"-dx"_s, argument });
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(out.startsWith(expected), qPrintable(out));
        if (argument != u"--version")
            QVERIFY(out.endsWith(u"\n  "_s + QDir(folder.path()).canonicalPath() + u"/x/\n"_s));
        QCOMPARE(QDir(folder.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), {});
    }
};

QTEST_GUILESS_MAIN(TestInfoOptions)
#include "tst_infooptions.moc"
