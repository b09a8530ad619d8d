// The recovery file: written after edits, removed by a save, offered back at the next load.

#include "AppServices.h"
#include "Cp932.h"
#include "DayNumber.h"
#include "FileReader.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "Recovery.h"
#include "Services.h"
#include "YearFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

class TestRecovery : public QObject {
    Q_OBJECT

private:
    QTemporaryDir *FDir = nullptr;
    std::unique_ptr<TScopedDiaryServices> FServices;
    QStringList FMessages;
    std::unique_ptr<TStandIn> FPerson;

    static double day(int y, int m, int d) { return DateToDayNumber(QDate(y, m, d)); }

    QString path(const QString &name) const { return FDir->filePath(name); }

    // Where this machine's diary keeps the recovery file of the folder's 2009.jnl.
    QString recoveryFile() const
    {
        // Found by the diary the folder names, which the first store there gives it.
        ClaimDiaryIdentity(FDir->path(), QString(), u".jnl"_s);
        TKivDiary store;
        store.SetBaseDir(FDir->path());
        store.SetExt(u".jnl"_s);
        store.SetYear(2009);
        return TRecovery::PathFor(store);
    }

    static QByteArray read(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // A store on the temporary folder, opened on 2009, with an editor bound to it.
    struct TDiary {
        std::unique_ptr<TKivDiary> Store = std::make_unique<TKivDiary>();
        std::unique_ptr<TKivDiaryEdit> Editor = std::make_unique<TKivDiaryEdit>();
        std::unique_ptr<TRecovery> Recovery;
    };

    std::unique_ptr<TDiary> open(double date)
    {
        auto diary = std::make_unique<TDiary>();
        diary->Store->SetBaseDir(FDir->path());
        diary->Store->SetExt(u".jnl"_s);
        diary->Recovery = std::make_unique<TRecovery>(diary->Editor.get(), diary->Store.get());
        diary->Store->Open();
        diary->Editor->SetDate(date); // before the store: day 0 lies in 1899
        diary->Editor->SetSource(diary->Store.get());
        return diary;
    }

    static void type(TKivDiaryEdit *editor, const QString &text)
    {
        QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, text, Qt::NoModifier);
    }

private slots:
    void init()
    {
        FDir = new QTemporaryDir;
        qputenv("XDG_STATE_HOME", path(u"state"_s).toUtf8());
        qputenv("XDG_DATA_HOME", path(u"share"_s).toUtf8());
        FMessages.clear();
        FPerson = std::make_unique<TStandIn>();
        FServices = std::make_unique<TScopedDiaryServices>(
            TDiaryServices { [this](const QString &text) { FMessages << text; },
                [] { return QDateTime(QDate(2009, 3, 1), QTime(12, 0)); },
                [](int dow) { return QString(u"月火水木金土日"[dow - 1]); } });
    }

    void cleanup()
    {
        FPerson.reset();
        FServices.reset();
        delete FDir;
    }

    void nothingUnsavedWritesNothing()
    {
        auto diary = open(day(2009, 1, 5));
        QVERIFY(diary->Recovery->WriteNow());
        QVERIFY(!QFile::exists(recoveryFile()));
    }

    void editsAndHandedOverDaysAreWritten()
    {
        auto diary = open(day(2009, 1, 5));
        type(diary->Editor.get(), u"五日の日記"_s);
        diary->Editor->SetDate(day(2009, 1, 6)); // the 5th is handed to the store
        type(diary->Editor.get(), u"!六日"_s); // still only in the editor
        QVERIFY(diary->Recovery->WriteNow());

        const TYearContents image = ReadYearFileAt(recoveryFile(), 2009).Contents;
        QCOMPARE(image.Days,
            (std::vector<TDayText> { { cp932::Encode(u"五日の日記") + "\r\n", day(2009, 1, 5) },
                { "!" + cp932::Encode(u"六日") + "\r\n", day(2009, 1, 6) } }));
        QVERIFY(image.Settings.contains("RECOVERY-FILE=2009.jnl"));
        // Nothing reached the data folder but the name of its diary.
        QCOMPARE(QDir(FDir->path()).entryList(QDir::Files | QDir::Hidden),
            QStringList { u".kivlog-diary"_s });
    }

    void aPrivateYearGetsAPrivateRecoveryFile()
    {
        const QString year = path(u"2009.jnl"_s);
        QFile file(year);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("!JNL 1.00 2009\r\n") > 0);
        file.close();
        QVERIFY(QFile::setPermissions(year, QFile::ReadOwner | QFile::WriteOwner));
        auto diary = open(day(2009, 1, 5));
        type(diary->Editor.get(), u"secret"_s);
        QVERIFY(diary->Recovery->WriteNow());
        QCOMPARE(QFile::permissions(recoveryFile()), QFile::permissions(year));
    }

    void aSaveRemovesTheRecoveryFile()
    {
        auto diary = open(day(2009, 1, 5));
        type(diary->Editor.get(), u"text"_s);
        QVERIFY(diary->Recovery->WriteNow());
        QVERIFY(QFile::exists(recoveryFile()));
        diary->Editor->SetDate(day(2010, 1, 1)); // the year switch saves 2009
        QVERIFY(QFile::exists(path(u"2009.jnl"_s)));
        QVERIFY(!QFile::exists(recoveryFile()));
    }

    // A sync tool carries the data folder to other machines: nothing of this diary's recovery
    // goes in there, and what another diary left there is not this one's to remove.
    void theRecoveryFileStaysOutOfTheDataFolder()
    {
        auto diary = open(day(2009, 1, 5));
        const QByteArray other = "!JNL 1.00 2009\r\n\r\n";
        QFile besideYear(path(u"2009.jnl.recovery"_s));
        QVERIFY(besideYear.open(QIODevice::WriteOnly) && besideYear.write(other) == other.size());
        besideYear.close();
        type(diary->Editor.get(), u"text"_s);
        QVERIFY(diary->Recovery->WriteNow());
        QVERIFY(read(recoveryFile()).contains("text"));
        QCOMPARE(read(path(u"2009.jnl.recovery"_s)), other);
        diary->Editor->SetDate(day(2010, 1, 1)); // the year switch saves 2009
        QVERIFY(!QFile::exists(recoveryFile()));
        QCOMPARE(read(path(u"2009.jnl.recovery"_s)), other);
    }

    // Older diaries kept it beside the year file: offered once, it then becomes this one's own.
    void anOlderDiarysRecoveryFileIsOfferedOnce()
    {
        const QString old = path(u"2009.jnl.recovery"_s);
        QFile file(old);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "!JNL 1.00 2009\r\n\r\n!------------\r\n![2009/01/05]\r\n!------------\r\nold\r\n");
        file.close();
        QStringList asked;
        FPerson->Answer = [&](const TQuestion &q) {
            const QString p = q.Subject.toString();
            asked << p;
            return TAnswer::Yes;
        };
        {
            auto crashed = open(day(2009, 1, 5));
            QCOMPARE(crashed->Editor->toPlainText(), u"old\n"_s);
            crashed->Store->SetAutoSave(false);
        }
        auto diary = open(day(2009, 1, 5));
        QCOMPARE(asked, (QStringList { old, recoveryFile() }));
        QVERIFY(!QFile::exists(old));
        QCOMPARE(diary->Editor->toPlainText(), u"old\n"_s);
    }

    void recoveredTextsCanBeTakenBack()
    {
        {
            auto crashed = open(day(2009, 1, 5));
            type(crashed->Editor.get(), u"lost?"_s);
            QVERIFY(crashed->Recovery->WriteNow());
            crashed->Store->SetAutoSave(false); // the crash: nothing is saved
        }
        QString asked;
        FPerson->Answer = [&](const TQuestion &q) {
            const QString p = q.Subject.toString();
            asked = p;
            return TAnswer::Yes;
        };
        auto diary = open(day(2009, 1, 5));
        QCOMPARE(asked, recoveryFile());
        QCOMPARE(diary->Editor->toPlainText(), u"lost?\n"_s);
        QVERIFY(diary->Store->Modified()); // an unsaved edit until the next save
        QVERIFY(QFile::exists(asked)); // kept until that save
        diary->Store.reset(); // the final save writes the year and removes it
        QVERIFY(read(path(u"2009.jnl"_s)).contains("\r\nlost?\r\n"));
        QVERIFY(!QFile::exists(asked));
    }

    // Found again by its diary when the folder was restored by a copy (another device and
    // inode), and a day emptied before the crash stays empty.
    void theRecoveryFileFollowsItsDiary()
    {
        QFile year(path(u"2009.jnl"_s));
        QVERIFY(year.open(QIODevice::WriteOnly));
        year.write("!JNL 1.00 2009\r\n![2009/01/05]\r\ncleared\r\n![2009/01/06]\r\nkept\r\n");
        year.close();
        {
            auto crashed = open(day(2009, 1, 5));
            crashed->Editor->selectAll();
            QTest::keyClick(crashed->Editor.get(), Qt::Key_Delete);
            QVERIFY(crashed->Recovery->WriteNow());
            crashed->Store->SetAutoSave(false);
        }
        const QString data = path(u"data"_s);
        QVERIFY(QDir().mkpath(data));
        for (const QString &name : QDir(FDir->path()).entryList(QDir::Files | QDir::Hidden))
            QVERIFY(QFile::rename(path(name), data + u'/' + name));
        const QString old = FDir->path() + u".old"_s;
        QVERIFY(QDir().rename(data, old));
        QVERIFY(QDir().mkpath(data));
        for (const QString &name : QDir(old).entryList(QDir::Files | QDir::Hidden))
            QVERIFY(QFile::copy(old + u'/' + name, data + u'/' + name));
        QDir(old).removeRecursively();
        bool asked = false;
        FPerson->Answer = [&](const TQuestion &) {
            asked = true;
            return TAnswer::Yes;
        };
        auto diary = std::make_unique<TDiary>();
        diary->Store->SetBaseDir(data);
        diary->Store->SetExt(u".jnl"_s);
        diary->Store->SetYear(2009);
        diary->Recovery = std::make_unique<TRecovery>(diary->Editor.get(), diary->Store.get());
        diary->Store->Open();
        QVERIFY(asked);
        QVERIFY(!TKivDiary::HoldsText(diary->Store->GetDayText(day(2009, 1, 5))));
        QCOMPARE(diary->Store->GetDayText(day(2009, 1, 6)), QByteArray("kept\r\n"));
    }

    // A state folder that cannot be written (a file stands in its way, or sudo made it root's):
    // the user's own data folder takes the file, and it comes back from there.
    void anUnwritableStateFolderHasTheDataFolderTakeTheFile()
    {
        QFile blocker(path(u"state"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString standIn
            = recoveryFile().replace(path(u"state/kivlog/"_s), path(u"share/kivlog/"_s));
        {
            auto crashed = open(day(2009, 1, 5));
            type(crashed->Editor.get(), u"lost?"_s);
            QVERIFY(crashed->Recovery->WriteNow());
            crashed->Store->SetAutoSave(false);
        }
        QVERIFY(read(standIn).contains("\r\nlost?\r\n"));
        QString asked;
        FPerson->Answer = [&](const TQuestion &q) {
            const QString p = q.Subject.toString();
            asked = p;
            return TAnswer::Yes;
        };
        auto diary = open(day(2009, 1, 5));
        QCOMPARE(asked, standIn);
        QCOMPARE(diary->Editor->toPlainText(), u"lost?\n"_s);
        diary->Store.reset();
        QVERIFY(!QFile::exists(standIn));
    }

    void declinedTextsAreKeptAsideUntouched()
    {
        QByteArray before;
        {
            auto crashed = open(day(2009, 1, 5));
            type(crashed->Editor.get(), u"keep me"_s);
            QVERIFY(crashed->Recovery->WriteNow());
            crashed->Store->SetAutoSave(false);
            before = read(recoveryFile());
        }
        FPerson->Answer = [](const TQuestion &) { return TAnswer::No; };
        auto diary = open(day(2009, 1, 5));
        QVERIFY(diary->Editor->toPlainText().isEmpty());
        QVERIFY(!diary->Store->Modified());
        QVERIFY(!QFile::exists(recoveryFile()));
        const QDir folder = QFileInfo(recoveryFile()).dir();
        const QStringList aside = folder.entryList({ u"2009.jnl.recovery-*"_s });
        QCOMPARE(aside.size(), 1);
        QCOMPARE(read(folder.filePath(aside.first())), before);
    }

    void aDamagedRecoveryFileIsSetAside()
    {
        QVERIFY(QDir().mkpath(QFileInfo(recoveryFile()).path()));
        QFile f(recoveryFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a diary\r\n");
        f.close();
        FPerson->Answer = [](const TQuestion &) { return TAnswer::Yes; };
        auto diary = open(day(2009, 1, 5));
        QVERIFY(!diary->Store->Modified());
        QCOMPARE(QFileInfo(recoveryFile()).dir().entryList({ u"2009.jnl.recovery-*"_s }).size(), 1);
    }

    // Found by the folder itself: the same folder under another path finds it, another folder
    // neither shares its place nor is offered its text.
    void theRecoveryFileBelongsToItsFolder()
    {
        QVERIFY(QDir().mkpath(path(u"other"_s)));
        QVERIFY(QFile::link(FDir->path(), path(u"alias"_s)));
        TKivDiary other;
        other.SetBaseDir(path(u"other"_s));
        other.SetExt(u".jnl"_s);
        other.SetYear(2009);
        TKivDiary alias;
        alias.SetBaseDir(path(u"alias"_s));
        alias.SetExt(u".jnl"_s);
        alias.SetYear(2009);
        QCOMPARE(TRecovery::PathFor(alias), recoveryFile());
        QVERIFY(TRecovery::PathFor(other) != recoveryFile());

        QVERIFY(QDir().mkpath(QFileInfo(recoveryFile()).path()));
        QFile f(recoveryFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("!JNL 1.00 2009\r\n\r\n!RECOVERY-FOLDER=1:2\r\n!RECOVERY-FILE=2009.jnl\r\n\r\n"
                "![2009/01/05]\r\nnot ours\r\n");
        f.close();
        bool asked = false;
        FPerson->Answer = [&](const TQuestion &) {
            asked = true;
            return TAnswer::Yes;
        };
        auto diary = open(day(2009, 1, 5));
        QVERIFY(!asked);
        QVERIFY(!diary->Store->Modified());
    }

    void theFileGoesOnceNothingIsUnsaved_data()
    {
        // What takes the typing back, the recovery file still there.
        using TUndo = std::function<void(TDiary &)>;
        QTest::addColumn<TUndo>("undo");
        QTest::newRow("reload") << TUndo([](TDiary &diary) { diary.Editor->Reload(); });
        QTest::newRow("typing undone") << TUndo([](TDiary &diary) { diary.Editor->undo(); });
        QTest::newRow("typing deleted, then the next write") << TUndo([this](TDiary &diary) {
            QTest::keyClick(diary.Editor.get(), Qt::Key_Backspace);
            QVERIFY(QFile::exists(recoveryFile()));
            QVERIFY(diary.Recovery->WriteNow());
        });
        QTest::newRow("another year, no save needed") << TUndo([this](TDiary &diary) {
            QTest::keyClick(diary.Editor.get(), Qt::Key_Backspace);
            QVERIFY(QFile::exists(recoveryFile()));
            diary.Editor->SetDate(day(2010, 1, 1));
        });
    }

    void theFileGoesOnceNothingIsUnsaved()
    {
        QFETCH(std::function<void(TDiary &)>, undo);
        const QString file = recoveryFile();
        auto diary = open(day(2009, 1, 5));
        type(diary->Editor.get(), u"x"_s);
        QVERIFY(diary->Recovery->WriteNow());
        QVERIFY(QFile::exists(file));
        undo(*diary);
        QVERIFY(!QFile::exists(file));
        QVERIFY(!QFile::exists(path(u"2009.jnl"_s)));
    }

    void theTimerWritesAfterTheLastEdit()
    {
        auto diary = open(day(2009, 1, 5));
        diary->Recovery->SetDelay(50);
        type(diary->Editor.get(), u"a"_s);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(recoveryFile()), 5000);
    }
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
