// A move into another year whose save or load fails: the error box says which file and why,
// the editor stays on its day with the typed text, and nothing typed is lost.

#include "../FullDisk.h"
#include "Cp932.h"
#include "DiaryWindowFixture.h"
#include "Messages.h"

#include <QTextCursor>
#include <optional>

namespace {

enum class TFault { FolderInPlace, DiskFull };

using TBoxes = QList<std::pair<TBoxKind, QString>>;

} // namespace

class TestSaveFaults : public QObject {
    Q_OBJECT

private slots:
    void init() { F = std::make_unique<TDiaryWindowFixture>(); }
    void cleanup() { F.reset(); }

    void nextDayIntoAYearThatCannotBeSaved_data()
    {
        QTest::addColumn<TFault>("fault");
        QTest::newRow("the year file was replaced by a folder") << TFault::FolderInPlace;
        QTest::newRow("the disk is full") << TFault::DiskFull;
    }

    void nextDayIntoAYearThatCannotBeSaved()
    {
        QFETCH(TFault, fault);
        F->SetUp(At(2008, 12, 31));
        const QString yearFile = u"Data/2008.jnl"_s;
        // Messages name the file in full, wherever the program was started from.
        const QString named = QDir::current().filePath(yearFile);
        const QByteArray previous = F->YearFile(2008, {}) + "![2008/12/30]\r\nday before\r\n";
        F->Write(yearFile, previous);
        TForm1 &form = F->Start();
        const QString caption = form.windowTitle();
        // Longer than the size limit below, while the backup of the previous file fits.
        const QString typed = u"大晦日"_s + QString(6000, u'x');
        F->Type(form.KivDiaryEdit1, typed);

        std::optional<TFullDisk> limit;
        if (fault == TFault::FolderInPlace) {
            QVERIFY(QFile::remove(yearFile) && QDir().mkdir(yearFile));
        } else {
            limit.emplace(4096);
            QVERIFY(limit->Set());
        }
        form.BtnNextDay->click();

        // The year also went to the user's own folder, when there was room for it; else the box
        // names the day that is not kept anywhere.
        const QString rescued = fault == TFault::FolderInPlace
            ? u"\r\n日記ファイルに保存できないため、日記の内容を次のファイルに保存しました。\r\n"_s
                + F->Dir.filePath(u"share/kivlog/rescued/2008.jnl.rescued-20081231-120000"_s)
            : u"\r\n"_s + Text(msg::kKeptInProcessOnly) + u"\r\n2008/12/31"_s;
        QCOMPARE(F->Boxes,
            (TBoxes {
                { TBoxKind::Error, u"ファイル "_s + named + u" を作成できません"_s + rescued } }));
        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()), QDate(2008, 12, 31));
        QCOMPARE(form.KivDiaryEdit1->toPlainText(), typed);
        QVERIFY(form.KivDiaryEdit1->document()->isModified());
        QCOMPARE(form.Label1->text(), u"2008年12月31日(水)"_s);
        QCOMPARE(form.windowTitle(), caption);
        QCOMPARE(F->Diary().Year(), 2008);
        QVERIFY(F->Diary().Modified());
        if (fault == TFault::FolderInPlace)
            QVERIFY(QFileInfo(yearFile).isDir());
        else
            QCOMPARE(F->Read(yearFile), previous);

        // Once the cause is gone, the next move saves.
        F->Boxes.clear();
        if (fault == TFault::FolderInPlace)
            QVERIFY(QDir().rmdir(yearFile));
        else
            limit->Lift();
        form.BtnNextDay->click();

        const TBoxes expected = fault == TFault::FolderInPlace
            ? TBoxes { { TBoxKind::Message, u"["_s + named + u"]を作成します。"_s } }
            : TBoxes {};
        QCOMPARE(F->Boxes, expected);
        QVERIFY(F->Read(yearFile).endsWith("\r\n" + cp932::Encode(typed) + "\r\n"));
        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()).year(), 2009);
        QCOMPARE(form.KivDiaryEdit1->Date(), form.MonthCalendar1->Date());
        QVERIFY(!F->Diary().Modified());
    }

    // The year left behind is saved; the year that cannot be read is shown as such, and what
    // is typed on the old day afterwards is saved into the old year at the end.
    void nextDayIntoAYearThatCannotBeRead()
    {
        F->SetUp(At(2008, 12, 31));
        QVERIFY(QDir().mkpath(u"Data/2009.jnl"_s));
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"typed"_s);

        form.BtnNextDay->click();

        QCOMPARE(F->Boxes,
            (TBoxes {
                { TBoxKind::Message,
                    u"["_s + QDir::current().filePath(u"Data/2008.jnl"_s) + u"]を作成します。"_s },
                { TBoxKind::Error,
                    u"ファイル "_s + QDir::current().filePath(u"Data/2009.jnl"_s)
                        + u" は開けません"_s } }));
        QVERIFY(F->Read(u"Data/2008.jnl"_s).endsWith("\r\ntyped\r\n"));
        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()), QDate(2008, 12, 31));
        QCOMPARE(form.Label1->text(), u"2008年12月31日(水)"_s);

        F->Boxes.clear();
        form.KivDiaryEdit1->moveCursor(QTextCursor::End);
        F->Type(form.KivDiaryEdit1, u" and more"_s);
        F->Form.reset();
        QCOMPARE(F->Boxes, TBoxes {});
        QVERIFY(F->Read(u"Data/2008.jnl"_s).endsWith("\r\ntyped and more\r\n"));
        QVERIFY(QFileInfo(u"Data/2009.jnl"_s).isDir());
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestSaveFaults)
#include "tst_savefaults.moc"
