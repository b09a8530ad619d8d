// Other diaries brought in from the window: 取り込み... with its report, and files dropped into
// the data folder's inbox/.

#include "Cp932.h"
#include "DiaryWindowFixture.h"
#include "Inbox.h"

namespace {

const QString kYearFile = u"Data/2026.jnl"_s;

} // namespace

class TestImport : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2026, 12, 8));
        F->Write(kYearFile,
            "!JNL 1.00 2026\r\n\r\n![2026/12/08]\r\n" + cp932::Encode(u"前から") + "\r\n");
    }
    void cleanup() { F.reset(); }

    void menuReportsBeforeItWrites_data()
    {
        QTest::addColumn<bool>("take");
        QTest::addColumn<bool>("landing"); // another machine's version, while the report waits
        QTest::newRow("取り込む") << true << false;
        QTest::newRow("やめる") << false << false;
        QTest::newRow("取り込む, another version landed") << true << true;
    }

    // The report is of the days the window holds, its unsaved text among them, and names each
    // day that would change; nothing is saved before 取り込む.
    void menuReportsBeforeItWrites()
    {
        QFETCH(bool, take);
        QFETCH(bool, landing);
        F->Write(
            kYearFile, F->Read(kYearFile) + "![2026/12/07]\r\n" + cp932::Encode(u"朝") + "\r\n");
        F->Write(u"in/2026-12-07.txt"_s, "朝\n夜\n");
        F->Write(u"in/2026-12-08.md"_s, "# 他の日記\n");
        F->Write(u"in/2026-12-09.txt"_s, "翌日\n");
        F->Write(u"in/2026-12-10.txt"_s, "十日\n");
        F->Write(u"in/README.md"_s, "説明\n");
        TForm1 &form = F->Start({ u"-dData"_s });
        form.BtnNextDay->click();
        form.BtnNextDay->click();
        F->Type(form.KivDiaryEdit1, u"十日"_s);
        const QByteArray before = F->Read(kYearFile);
        QString report;
        QString shown;
        F->Person.Answer = [&](const TQuestion &question) -> TReply {
            if (question.Kind == TQuestionKind::ImportFrom)
                return TAnswer::Folder;
            if (question.Kind == TQuestionKind::ImportFolder)
                return { TAnswer::Yes, u"in"_s };
            report = question.Subject.toString();
            shown = question.Text;
            // Nothing is written while the report waits.
            const bool untouched = F->Read(kYearFile) == before;
            if (landing)
                F->Write(kYearFile, before + "![2026/12/05]\r\nelsewhere\r\n");
            return untouched && take ? TAnswer::Yes : TAnswer::No;
        };
        form.N7->trigger();
        // Counts in the box, the lists below them: in Japanese throughout.
        QCOMPARE(report,
            u"2026年: 1日を追加、1日に書き足し、1日は両方の文章を残します\r\n"
            "in: 取り込まないもの 1件、推測して取り込むもの 0件、コピーしない写真など 0個\r\n"
            "  2026/12/09: 追加する日\r\n  2026/12/07: 書き足す日\r\n"
            "  2026/12/08: 両方の文章を残す日\r\n\r\n取り込まないもの:\r\n"
            "> in/README.md: 名前が日付ではありません (YYYY-MM-DD.txt や .md)"_s);
        QVERIFY(!shown.contains(u"2026/12/08"_s));
        QCOMPARE(F->Read(kYearFile).contains(cp932::Encode(u"翌日")), take);
        QCOMPARE(
            QFileInfo::exists(u"Data/2026.bak"_s) || QFileInfo::exists(u"Data/backup"_s), take);
        QCOMPARE(form.KivDiaryEdit1->toPlainText(), u"十日"_s);
        QCOMPARE(F->Diary().GetDayText(DateToDayNumber(QDate(2026, 12, 8))).contains("# "), take);
        // The merge on the way is told in the window.
        QCOMPARE(F->Boxes.size(), qsizetype(landing));
        QVERIFY(!landing || F->Boxes[0].first == TBoxKind::InWindow);
    }

    void inboxFilesComeInAndMoveToTheBackup()
    {
        F->Write(u"Data/inbox/2026/12/01.md"_s, "電話\aから\n");
        F->Write(u"Data/inbox/note.txt"_s, "no day\n");
        TForm1 &form = F->Start({ u"-dData"_s });
        QTRY_VERIFY(QFileInfo::exists(u"Data/backup/inbox/01.md"_s));
        QVERIFY(F->Read(kYearFile).contains(cp932::Encode(u"電話から")));
        QVERIFY(!QFileInfo::exists(u"Data/inbox/2026/12/01.md"_s));
        QCOMPARE(F->Boxes.size(), 1);
        QVERIFY(F->Boxes[0].second.contains(u"2026/12/01"_s));
        QVERIFY(F->Boxes[0].second.contains(u"2026/12/01 U+0007: 取り込まない文字"_s));
        QVERIFY(F->Boxes[0].second.contains(u"note.txt"_s));

        // While it runs: a new file comes in; the unreadable one is not named again.
        form.findChild<TInbox *>()->SetDelay(10);
        F->Write(u"Data/inbox/2026-12-02.txt"_s, "二日\n");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(u"Data/backup/inbox/2026-12-02.txt"_s), 5000);
        QVERIFY(F->Read(kYearFile).contains(cp932::Encode(u"二日")));
        QCOMPARE(F->Boxes.size(), 2);
        QVERIFY(F->Boxes[1].first != TBoxKind::Message); // told in the window, no box
        QVERIFY(!F->Boxes[1].second.contains(u"note.txt"_s));
        QVERIFY(QFileInfo::exists(u"Data/inbox/note.txt"_s));
    }

    // A phone writes the file in two steps: it comes in whole, once it stood still.
    void inboxWaitsForAFileToRest()
    {
        F->Write(u"Data/inbox/2026-12-03.txt"_s, "前半");
        TForm1 &form = F->Start({ u"-dData"_s });
        F->Write(u"Data/inbox/2026-12-03.txt"_s, "前半後半");
        QTRY_VERIFY(QFileInfo::exists(u"Data/backup/inbox/2026-12-03.txt"_s));
        QCOMPARE(form.KivDiaryEdit1->Source()->GetDayText(DateToDayNumber(QDate(2026, 12, 3))),
            cp932::Encode(u"前半後半\r\n"));
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestImport)
#include "tst_import.moc"
