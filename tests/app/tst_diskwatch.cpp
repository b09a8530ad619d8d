// Another program changes the year file while the window shows it: in place, by rename, by
// removing it or by leaving something that does not read. The window's real watcher notices.

#include "DiaryWindowFixture.h"
#include "DiskCopies.h"
#include "DiskWatch.h"
#include "Messages.h"
#include "Recovery.h"
#include "YearMerge.h"

#include <QProcess>
#include <QTextCursor>

namespace {

const QString kYearFile = u"Data/2026.jnl"_s;
const QByteArray kLoaded = "!JNL 1.00 2026\r\n\r\n![2026/12/08]\r\nloaded text\r\n";

QByteArray version(const char *text)
{
    return "!JNL 1.00 2026\r\n\r\n![2026/12/08]\r\n" + QByteArray(text) + "\r\n";
}

// Another process replaces the file the way sync tools do: a new file renamed over it.
void replaceByRename(const QByteArray &bytes)
{
    TDiaryWindowFixture::Write(u"Data/incoming"_s, bytes);
    QCOMPARE(QProcess::execute(u"mv"_s, { u"Data/incoming"_s, kYearFile }), 0);
}

void rewriteInPlace(const QByteArray &bytes) { TDiaryWindowFixture::Write(kYearFile, bytes); }

// A day both sides wrote, as the merge keeps it.
QByteArray bothTexts(const char *own, const char *other)
{
    return QByteArray(own) + "\r\n" + BothTextsSeparator() + "\r\n" + other + "\r\n";
}

QByteArray textOn1208()
{
    const TYearRead read = ReadYearFile(TDiaryWindowFixture::Read(kYearFile), 2026, 2026);
    return read.Contents.Days.size() == 1 ? read.Contents.Days[0].FText : QByteArray();
}

void typeAtStart(TKivDiaryEdit *edit)
{
    edit->moveCursor(QTextCursor::Start);
    TDiaryWindowFixture::Type(edit, u"typed "_s);
}

} // namespace

class TestDiskWatch : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2026, 12, 8, QTime(22, 15, 30)));
        F->Write(kYearFile, kLoaded);
        F->Start();
        QVERIFY(F->Form->findChild<TDiskWatch *>());
    }
    void cleanup() { F.reset(); }

    void changedOnDisk_data()
    {
        QTest::addColumn<bool>("byRename");
        QTest::addColumn<bool>("unsaved");
        QTest::addColumn<bool>("nextYear"); // at once, before the disk check
        QTest::newRow("in place, nothing unsaved") << false << false << false;
        QTest::newRow("by rename, nothing unsaved") << true << false << false;
        QTest::newRow("in place, unsaved text") << false << true << false;
        QTest::newRow("by rename, unsaved text") << true << true << false;
        QTest::newRow("by rename, unsaved text, next year") << true << true << true;
    }
    void changedOnDisk()
    {
        QFETCH(bool, byRename);
        QFETCH(bool, unsaved);
        QFETCH(bool, nextYear);
        auto *edit = F->Form->KivDiaryEdit1;
        const auto change = [&](const char *text) {
            byRename ? replaceByRename(version(text)) : rewriteInPlace(version(text));
        };
        if (unsaved)
            typeAtStart(edit);
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(3);
        edit->setTextCursor(cursor);

        change("first other");
        if (nextYear)
            F->Form->BtnNextYear->click();
        if (!unsaved) {
            QTRY_COMPARE(edit->toPlainText(), u"first other\n"_s);
            QCOMPARE(edit->textCursor().position(), 3);
            // Still watched after the first change, also when that replaced the file by
            // rename: a write in place shows only on the file's own watch.
            rewriteInPlace(version("second other"));
            QTRY_COMPARE(edit->toPlainText(), u"second other\n"_s);
            QVERIFY(F->Boxes.isEmpty());
            QVERIFY(ConflictFilesOf(kYearFile).isEmpty());
            return;
        }
        // Both wrote the day: it holds both texts, the box names it, the editor shows it.
        QTRY_COMPARE(textOn1208(), bothTexts("typed loaded text", "first other"));
        QCOMPARE(F->Read(u"Data/2026.bak"_s), version("first other"));
        QVERIFY(ConflictFilesOf(kYearFile).isEmpty());
        QCOMPARE(F->Boxes.size(), 1);
        QCOMPARE(F->Boxes[0].first, TBoxKind::InWindow);
        QVERIFY(F->Boxes[0].second.startsWith(Text(msg::kMergedBothTexts)));
        QVERIFY(F->Boxes[0].second.endsWith(u"\r\n2026/12/08"_s));
        if (!nextYear)
            QCOMPARE(edit->StoreText(), bothTexts("typed loaded text", "first other"));
    }

    void changeJustBeforeTheFinalSaveIsKept()
    {
        // The box of the final save lets events run while the window is half gone.
        F->Person.WhileShown = [](TBoxKind, const QString &) { QTest::qWait(300); };
        typeAtStart(F->Form->KivDiaryEdit1);
        rewriteInPlace(version("other"));
        F->Form.reset();
        QCOMPARE(textOn1208(), bothTexts("typed loaded text", "other"));
        QCOMPARE(F->Boxes.size(), 1);
    }

    void removedFileIsWrittenAgain()
    {
        typeAtStart(F->Form->KivDiaryEdit1);
        QSignalSpy checked(F->Form->findChild<TDiskWatch *>(), &TDiskWatch::Checked);
        QVERIFY(QFile::remove(kYearFile));
        QVERIFY(checked.wait(5000));
        F->Form.reset();
        QVERIFY(F->Read(kYearFile).contains("typed loaded text"));
        QCOMPARE(F->Boxes.size(), 1); // the notice that it is created
        QVERIFY(ConflictFilesOf(kYearFile).isEmpty());
    }

    void damagedReplacementIsNeverSavedOver()
    {
        auto *edit = F->Form->KivDiaryEdit1;
        replaceByRename("not a year file\r\n");
        QTRY_COMPARE(F->Boxes.size(), 1);
        QVERIFY(F->Boxes[0].second.contains(u"読み込めなくなっています"_s));
        QCOMPARE(edit->toPlainText(), u"loaded text\n"_s);
        // The shown version is in a file at once, and the box names it.
        const QString kept = kYearFile + u".conflict-20261208-221530"_s;
        QVERIFY(F->Boxes[0].second.endsWith(kept));
        QVERIFY(F->Read(kept).contains("\r\nloaded text\r\n"));
        QTest::qWait(1000); // checks of the disk come and go; the file stays where it was named
        QVERIFY(QFileInfo::exists(kept));

        typeAtStart(edit);
        F->Form.reset();
        QCOMPARE(F->Read(kYearFile), QByteArray("not a year file\r\n"));
        QVERIFY(F->Read(kept + u"-2"_s).contains("typed loaded text"));
        QCOMPARE(F->Boxes.size(), 2);
    }

    void reloadAsksNothingAndTheRecoveryFileFollowsIt()
    {
        // A recovery file still there when another version arrives, as one that a save into a
        // damaged file left behind: its old texts must not come back over the other version.
        F->Write(TRecovery::PathFor(F->Diary()), version("old text"));
        int asked = 0;
        F->Person.Answer = [&](const TQuestion &) {
            ++asked;
            return TAnswer::Yes;
        };
        replaceByRename(version("other"));
        QTRY_COMPARE(F->Form->KivDiaryEdit1->toPlainText(), u"other\n"_s);
        QCOMPARE(asked, 0);
        QVERIFY(!F->Diary().Modified());
        QVERIFY(!QFile::exists(TRecovery::PathFor(F->Diary())));
        F->Form.reset();
        QCOMPARE(F->Read(kYearFile), version("other"));
    }

    void changeWhileTheStartAsksWaitsForTheStart_data()
    {
        QTest::addColumn<bool>("takeBack");
        QTest::newRow("kept aside") << false;
        QTest::newRow("taken back") << true;
    }
    void changeWhileTheStartAsksWaitsForTheStart()
    {
        // Another program writes the year while the start-up question waits; the watch's
        // timer, file watch and activation check all could run inside it.
        QFETCH(bool, takeBack);
        const QString recovery = TRecovery::PathFor(F->Diary());
        F->Form.reset();
        F->Write(recovery, version("recovered"));
        QList<std::pair<TBoxKind, QString>> duringQuestion;
        F->Person.Answer = [&](const TQuestion &) {
            replaceByRename(version("other"));
            QTest::qWait(600);
            duringQuestion = F->Boxes;
            return takeBack ? TAnswer::Yes : TAnswer::No;
        };
        F->Start();
        QVERIFY(duringQuestion.isEmpty());
        QSignalSpy checked(F->Form->findChild<TDiskWatch *>(), &TDiskWatch::Checked);
        QVERIFY(checked.wait(5000));
        auto *edit = F->Form->KivDiaryEdit1;
        QTest::qWait(500); // a check of the diary's own save adds nothing
        if (takeBack) {
            // The taken-back text is unsaved: it is saved, merged with the other version.
            QCOMPARE(textOn1208(), bothTexts("recovered", "other"));
            QCOMPARE(edit->StoreText(), bothTexts("recovered", "other"));
            QCOMPARE(F->Boxes.size(), 1);
        } else {
            QCOMPARE(edit->toPlainText(), u"other\n"_s);
            QCOMPARE(F->Boxes.size(), 1); // where the recovery file is kept
            QVERIFY(F->Boxes[0].second.endsWith(u".recovery-20261208-221530"_s));
            QVERIFY(ConflictFilesOf(kYearFile).isEmpty());
        }
    }

    void mergeMovesTheEditorOnlyWhenTheOtherSideWroteItsDay_data()
    {
        QTest::addColumn<bool>("otherWroteShownDay");
        QTest::newRow("other wrote another day") << false;
        QTest::newRow("other wrote the shown day only") << true;
    }
    void mergeMovesTheEditorOnlyWhenTheOtherSideWroteItsDay()
    {
        QFETCH(bool, otherWroteShownDay);
        auto *edit = F->Form->KivDiaryEdit1;
        typeAtStart(edit);
        if (otherWroteShownDay)
            F->Form->BtnNextDayClick(); // the edit of 12/08 stays unsaved in the store
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(otherWroteShownDay ? 0 : 3);
        edit->setTextCursor(cursor);
        replaceByRename(kLoaded + "![2026/12/07]\r\nB on 12/07\r\n![2026/12/09]\r\nB on 12/09\r\n");
        QTRY_VERIFY(F->Read(kYearFile).contains("typed loaded text"));
        const TYearContents file = ReadYearFile(F->Read(kYearFile), 2026, 2026).Contents;
        QCOMPARE(file.Days.size(), size_t(3));
        QCOMPARE(file.Days[1].FText, QByteArray("typed loaded text\r\n"));
        QCOMPARE(F->Boxes.size(), 1);
        QVERIFY(F->Boxes[0].second.startsWith(Text(msg::kMergedChangedDays)));
        QVERIFY(F->Boxes[0].second.endsWith(u"\r\n2026/12/07\r\n2026/12/09"_s));
        if (otherWroteShownDay) {
            QCOMPARE(edit->toPlainText(), u"B on 12/09\n"_s);
        } else {
            QCOMPARE(edit->toPlainText(), u"typed loaded text\n"_s);
            QCOMPARE(edit->textCursor().position(), 3);
            QVERIFY(edit->document()->isUndoAvailable());
        }
    }

    void mergeIntoTheShownDayKeepsTheCaretAndIsOneUndoStep()
    {
        auto *edit = F->Form->KivDiaryEdit1;
        edit->moveCursor(QTextCursor::End);
        F->Type(edit, u"ZZZ"_s);
        replaceByRename(version("BBB loaded text"));
        QTRY_VERIFY(F->Read(kYearFile).contains("ZZZ"));
        F->Type(edit, u"DDD"_s);
        QVERIFY(edit->toPlainText().contains(u"ZZZDDD"_s));
        QVERIFY(edit->toPlainText().contains(u"BBB"_s));
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(edit->toPlainText(), u"loaded text\nZZZ"_s);
    }

    void copyArrivingWhileTypingIsOfferedAtThePauseAndToldInTheWindow()
    {
        int asked = 0;
        F->Person.Answer = [&](const TQuestion &) {
            ++asked;
            return TAnswer::Yes;
        };
        typeAtStart(F->Form->KivDiaryEdit1);
        F->Write(u"Data/2026 (conflicted copy 2026-12-09 060034).jnl"_s,
            "!JNL 1.00 2026\r\n\r\n![2026/12/07]\r\nfrom the copy\r\n");
        QTest::qWait(500);
        QCOMPARE(asked, 0);
        QTRY_COMPARE(asked, 1);
        QTRY_COMPARE(F->Boxes.size(), 1);
        QVERIFY(F->Boxes[0].first != TBoxKind::Message);
        QVERIFY(F->Boxes[0].second.contains(u"2026/12/07"_s));
        QVERIFY(F->Read(kYearFile).contains("from the copy"));
    }

    void conflictCopyIsOfferedOnceAndTakenInByDay_data()
    {
        QTest::addColumn<bool>("takeIn");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<bool>("whileRunning");
        QTest::newRow("taken in") << true << true << false;
        QTest::newRow("left") << false << true << false;
        QTest::newRow("taken in, not saved") << true << false << false;
        QTest::newRow("appearing while the window runs") << true << true << true;
    }
    void conflictCopyIsOfferedOnceAndTakenInByDay()
    {
        QFETCH(bool, takeIn);
        QFETCH(bool, saved);
        QFETCH(bool, whileRunning);
        F->Form.reset();
        const QString copy = u"Data/2026.sync-conflict-20261209-060034-FEYNXDC.jnl"_s;
        const auto writeCopy = [&] {
            F->Write(copy,
                "!JNL 1.00 2026\r\n\r\n![2026/12/07]\r\nfrom the copy\r\n"
                "![2026/12/08]\r\nother text\r\n");
        };
        if (!whileRunning)
            writeCopy();
        QList<QStringList> asked;
        F->Person.Answer = [&](const TQuestion &question) {
            asked << question.Subject.toStringList();
            return takeIn ? TAnswer::Yes : TAnswer::No;
        };
        auto *edit = F->Start().KivDiaryEdit1;
        if (whileRunning)
            writeCopy();
        F->Diary().SetAutoSave(saved);
        QTRY_COMPARE(asked.size(), 1);
        QCOMPARE(asked[0], QStringList { copy });
        if (!saved) {
            // What the copy brought is in no file but the copy yet.
            QVERIFY(QFile::exists(copy));
            F->Diary().SetAutoSave(true);
            return;
        }
        if (takeIn) {
            const TYearContents file = ReadYearFile(F->Read(kYearFile), 2026, 2026).Contents;
            QCOMPARE(file.Days.size(), size_t(2));
            QCOMPARE(file.Days[0].FText, QByteArray("from the copy\r\n"));
            QCOMPARE(file.Days[1].FText, bothTexts("loaded text", "other text"));
            QCOMPARE(edit->StoreText(), bothTexts("loaded text", "other text"));
            QVERIFY(!QFile::exists(copy));
            QCOMPARE(F->Read(u"Data/backup/"_s + QFileInfo(copy).fileName()).size() > 0, true);
            QCOMPARE(F->Boxes.size(), 1);
            QVERIFY(F->Boxes[0].second.contains(u"backup/2026.sync-conflict-"_s));
            QVERIFY(F->Boxes[0].second.endsWith(u"\r\n2026/12/08"_s));
        } else {
            QCOMPARE(F->Read(kYearFile), kLoaded);
            QVERIFY(QFile::exists(copy));
        }
        // Not asked again in this run, also when the year is opened again; once taken in, not
        // in a later run either, though a copy of it comes back.
        F->Form->BtnNextYearClick();
        F->Form->BtnPrevYearClick();
        QTest::qWait(500);
        QCOMPARE(asked.size(), 1);
        if (takeIn) {
            F->Form.reset();
            F->Write(u"Data/2026 (conflicted copy 2026-12-09 060034).jnl"_s,
                F->Read(u"Data/backup/"_s + QFileInfo(copy).fileName()));
            F->Write(kYearFile, kLoaded);
            F->Start();
            QTest::qWait(500);
            QCOMPARE(asked.size(), 1);
        }
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestDiskWatch)
#include "tst_diskwatch.moc"
