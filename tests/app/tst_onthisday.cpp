#include "DiaryWindowFixture.h"
#include "OnThisDayWindow.h"
#include "ReadingDialogs.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>

class TestOnThisDay : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2010, 6, 15));
    }
    void cleanup() { F.reset(); }

    // The entries follow 検索... with their keys; この日 shows the day's unsaved text marked,
    // and follows the calendar in one step however many years the folder holds.
    void followsTheCalendarWithUnsavedTextCounted()
    {
        for (int year = 1981; year < 2010; ++year) {
            QByteArray days;
            for (QDate d(year, 1, 1); d.year() == year; d = d.addDays(1))
                days += d.toString(u"'!['yyyy/MM/dd']'"_s).toLatin1() + "\r\nline of "
                    + QByteArray::number(year) + "\r\n" + QByteArray(300, 'x') + "\r\n";
            F->Write(u"Data/%1.jnl"_s.arg(year), F->YearFile(year, {}) + days);
        }
        TForm1 &form = F->Start();
        const QList<QAction *> entries = form.PopupMenu1->actions();
        QCOMPARE(entries.indexOf(form.N4), entries.indexOf(form.N3) + 1);
        QCOMPARE(form.N5->shortcut(), QKeySequence(QKeySequence::Print));
        QVERIFY(form.N4->isShortcutVisibleInContextMenu() && !form.N6->shortcut().isEmpty());

        F->Type(form.KivDiaryEdit1, u"今日のこと"_s);
        form.N4->trigger();
        auto *window = form.findChild<TOnThisDayWindow *>();
        QVERIFY(window);
        QCOMPARE(window->LstDays->count(), 30);
        QCOMPARE(window->LstDays->item(0)->text(), u"● 2010/06/15(火)  今日のこと"_s);
        QVERIFY(window->LstDays->item(0)->font().bold());
        QCOMPARE(window->LstDays->item(1)->text(),
            u"  2009/06/15(月)  line of 2009\n      "_s + QString(300, u'x'));

        QElapsedTimer moved;
        moved.start();
        form.BtnNextDayClick();
        const qint64 ms = moved.elapsed();
        qInfo("a move with 30 years in この日 took %lld ms", ms);
        QVERIFY2(ms < 100, "the move with この日 open took too long");
        QCOMPARE(window->LstDays->count(), 29);
        QVERIFY(window->LstDays->item(0)->text().startsWith(u"  2009/06/16(火)"_s));
    }

    // The export reads the year files, so it saves what is unsaved first; the year file itself
    // is refused as a target.
    void exportSavesFirstAndRefusesTheYearFile()
    {
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"書き出す日"_s);
        QTimer::singleShot(0, &form, [&] {
            auto *dialog = form.findChild<TExportDialog *>();
            QVERIFY(dialog);
            dialog->EdtFile->setText(QDir::current().filePath(u"Data/2010.jnl"_s));
            dialog->BtnExport->click();
            QCOMPARE(F->Boxes.size(), 1);
            dialog->Range->RbYear->setChecked(true);
            dialog->EdtFile->setText(u"out.txt"_s);
            // A typed name of a file that is there is replaced only when the user says so.
            QStringList asked;
            const auto ask = TExportDialog::AskReplace;
            for (const bool replace : { false, true }) {
                TExportDialog::AskReplace = [&](QWidget *, const QString &path) {
                    asked << path;
                    return replace;
                };
                dialog->BtnExport->click();
                if (!replace)
                    QCOMPARE(F->Read(u"out.txt"_s), QByteArray("kept"));
            }
            TExportDialog::AskReplace = ask;
            QCOMPARE(asked, (QStringList { u"out.txt"_s, u"out.txt"_s }));
        });
        F->Write(u"out.txt"_s, "kept");
        form.N6->trigger();
        QCOMPARE(F->Read(u"out.txt"_s), u"2010/06/15(火)\n書き出す日\n\n"_s.toUtf8());
        QVERIFY(F->Read(u"Data/2010.jnl"_s).contains(QByteArray("\x8f\x91\x82\xab")));
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestOnThisDay)
#include "tst_onthisday.moc"
