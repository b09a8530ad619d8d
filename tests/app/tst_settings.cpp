#include "DiaryWindowFixture.h"
#include "WindowRules.h"

#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QScreen>

namespace {

TReply chooseIpaGothic(const TQuestion &)
{
    QFont font(u"IPAGothic"_s);
    font.setPointSizeF(10.5); // stored rounded away from zero
    return { TAnswer::Yes, font };
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2009, 5, 10));
    }
    void cleanup() { F.reset(); }

    // Construct, close with the button, destroy, construct again.
    void closeButtonStoresSizeAndFontForTheNextStart()
    {
        TForm1 &form = F->Start();
        form.resize(700, 480);
        const QFont layoutFont = form.KivDiaryEdit1->font();
        F->Person.Answer = [](const TQuestion &) { return TAnswer::Cancel; };
        form.ActChangeFontExecute();
        QCOMPARE(form.KivDiaryEdit1->font(), layoutFont); // cancelled
        F->Person.Answer = chooseIpaGothic;
        form.ActChangeFontExecute();
        QVERIFY(F->Diary().Settings().isEmpty() && !F->Diary().Modified());

        form.BtnClose->click();
        F->Form.reset();

        QCOMPARE(F->Read(u"Data/2009.jnl"_s),
            F->YearFile(2009,
                { "WIDTH=700", "HEIGHT=480", "FONTNAME=IPAGothic", "FONTSIZE=11",
                    "DAYNAME=FALSE" }));
        QCOMPARE(F->Boxes.value(0).second,
            u"["_s + QDir::current().filePath(u"Data/2009.jnl"_s) + u"]を作成します。"_s);
        TForm1 &again = F->Start();
        QCOMPARE(again.frameGeometry().size(), QSize(700, 480));
        QCOMPARE(again.KivDiaryEdit1->font().family(), u"IPAGothic"_s);
        QCOMPARE(again.KivDiaryEdit1->font().pointSize(), 11);
    }

    void restoredWindowLiesOnTheScreen_data()
    {
        QTest::addColumn<QByteArrayList>("settings");
        QTest::newRow("larger than the screen")
            << QByteArrayList { "WIDTH=100000", "HEIGHT=99999" };
        QTest::newRow("over the right and bottom edges")
            << QByteArrayList { "WIDTH=700", "HEIGHT=560" };
    }

    // The window opens wholly on the screen, and the close button stores the size it has then.
    void restoredWindowLiesOnTheScreen()
    {
        QFETCH(QByteArrayList, settings);
        F->Write(u"Data/2009.jnl"_s, F->YearFile(2009, settings));
        TForm1 &form = F->Start();

        const QRect area = form.screen()->availableGeometry();
        QVERIFY(area.contains(form.frameGeometry()));
        const QSize real = form.frameGeometry().size();
        form.BtnClose->click();
        F->Form.reset();
        QVERIFY(F->Read(u"Data/2009.jnl"_s)
                    .contains("!WIDTH=" + QByteArray::number(real.width())
                        + "\r\n!HEIGHT=" + QByteArray::number(real.height()) + "\r\n"));
    }

    void closeButtonComparesTheStoredText_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<bool>("saved");
        QTest::newRow("unchanged") << QByteArray("WIDTH=700") << QByteArray("WIDTH=700") << false;
        QTest::newRow("0700 is not 700")
            << QByteArray("WIDTH=0700") << QByteArray("WIDTH=700") << true;
        QTest::newRow("size in hex")
            << QByteArray("FONTSIZE=$B") << QByteArray("FONTSIZE=11") << true;
        QTest::newRow("weekday option")
            << QByteArray("DAYNAME=true") << QByteArray("DAYNAME=TRUE") << false;
    }

    // The font dialog lists installed families only. Where the design face is missing, it
    // must open on the face that stands in for it, or a mere OK swaps the editor's font for
    // the dialog's own default; and confirming that stand-in keeps the stored face name.
    void fontDialogConfirmedAsOpenedKeepsTheFont()
    {
        TForm1 &form = F->Start();
        const QFont before = form.KivDiaryEdit1->font();
        QVERIFY(!QFontDatabase::families().contains(before.family()));
        QString opened;
        F->Person.Answer = [&](const TQuestion &question) -> TReply {
            opened = QFontInfo(question.Subject.value<QFont>()).family();
            return { TAnswer::Yes, question.Subject };
        };

        form.ActChangeFontExecute();

        QCOMPARE(opened, QFontInfo(before).family());
        QCOMPARE(form.KivDiaryEdit1->font().family(), before.family());
        QCOMPARE(form.KivDiaryEdit1->font().pointSize(), before.pointSize());
        form.BtnClose->click();
        // The font is the one the year gave: nothing to write.
        QCOMPARE(F->Diary().GetSetting("FONTNAME"), QByteArray());
    }

    // Only the changed line differs afterwards; every line stays in its place.
    void closeButtonComparesTheStoredText()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, written);
        QFETCH(bool, saved);
        QByteArrayList lines { "WIDTH=700", "HEIGHT=480", "FONTSIZE=11", "FONTNAME=IPAGothic",
            "DAYNAME=TRUE" };
        const qsizetype changed = lines.indexOf(written);
        lines[changed] = stored;
        F->Write(u"Data/2009.jnl"_s, F->YearFile(2009, lines));
        TForm1 &form = F->Start();

        form.BtnClose->click();

        lines[changed] = written;
        QCOMPARE(F->Diary().Settings(), lines);
        QCOMPARE(F->Diary().Modified(), saved);
        F->Form.reset();
        QCOMPARE(QFile::exists(u"Data/2009.bak"_s), saved);
    }

    // Another machine's size and weekday option, read in while this window ran, stay when this
    // run's user changed neither.
    void closeButtonKeepsWhatAnotherMachineChanged()
    {
        const QByteArrayList mine { "WIDTH=700", "HEIGHT=480", "DAYNAME=FALSE" };
        const QByteArrayList theirs { "WIDTH=900", "HEIGHT=600", "DAYNAME=TRUE" };
        F->Write(u"Data/2009.jnl"_s, F->YearFile(2009, mine));
        TForm1 &form = F->Start();
        F->Write(u"Data/2009.jnl"_s, F->YearFile(2009, theirs));
        QVERIFY(F->Diary().ReloadFile());

        form.BtnClose->click();

        QCOMPARE(F->Diary().Settings().mid(0, 3), theirs);
        QVERIFY(F->Diary().DayName());
    }

    void defaultSizeIsNotWrittenBack_data()
    {
        QTest::addColumn<QByteArrayList>("arriving");
        QTest::addColumn<bool>("moveADay");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::newRow("nothing arrives") << QByteArrayList() << false << QByteArrayList();
        const QByteArrayList theirs { "WIDTH=720", "HEIGHT=520" };
        QTest::newRow("another machine's size") << theirs << false << theirs;
        QTest::newRow("another machine's size, then a day on") << theirs << true << theirs;
        const QByteArrayList font { "FONTNAME=Serif", "FONTSIZE=14" };
        QTest::newRow("another machine's font")
            << font << false << QByteArrayList { "WIDTH=", "HEIGHT=" } + font;
    }

    // A year without WIDTH or HEIGHT gave the window its default size: closing a window whose
    // user did not resize it writes no size, and leaves one another machine stored meanwhile.
    // The same for the font the editor kept where the year names none.
    void defaultSizeIsNotWrittenBack()
    {
        QFETCH(QByteArrayList, arriving);
        QFETCH(bool, moveADay);
        QFETCH(QByteArrayList, expected);
        F->Write(u"Data/2009.jnl"_s, F->YearFile(2009, { "DAYNAME=FALSE" }));
        TForm1 &form = F->Start();
        if (!arriving.isEmpty()) {
            F->Write(u"Data/2009.jnl"_s,
                F->YearFile(2009, QByteArrayList { "DAYNAME=FALSE" } + arriving));
            QVERIFY(F->Diary().ReloadFile());
        }
        if (moveADay)
            form.BtnNextDay->click();

        form.BtnClose->click();

        QCOMPARE(F->Diary().GetSetting("WIDTH"), expected.value(0).mid(6));
        QCOMPARE(F->Diary().GetSetting("HEIGHT"), expected.value(1).mid(7));
        QCOMPARE(F->Diary().GetSetting("FONTNAME"), expected.value(2).mid(9));
        QCOMPARE(F->Diary().GetSetting("FONTSIZE"), expected.value(3).mid(9));
    }

    // Back where it started, and saved all the same: the action marks the store each time.
    void weekdayToggledTwiceIsSaved()
    {
        TForm1 &form = F->Start();
        form.ActToggleDayNameExecute();
        QVERIFY(F->Diary().DayName() && form.N2->isChecked());
        form.ActToggleDayNameExecute();
        QVERIFY(!form.N2->isChecked());
        F->Form.reset();
        QCOMPARE(F->Read(u"Data/2009.jnl"_s), F->YearFile(2009, { "DAYNAME=FALSE" }));
    }

    void destructionCommitsTheEditorsText()
    {
        F->Type(F->Start().KivDiaryEdit1, u"日記"_s);
        F->Form.reset();
        QCOMPARE(F->Read(u"Data/2009.jnl"_s),
            F->YearFile(2009, {})
                + "!------------\r\n![2009/05/10]\r\n!------------\r\n\x93\xfa\x8bL\r\n");
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
