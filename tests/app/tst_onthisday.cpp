#include "DiaryWindowFixture.h"
#include "OnThisDayWindow.h"
#include "ReadingDialogs.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPrinter>
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
        // How long it took is for the benchmarks to judge; here it is only told.
        qInfo("a move with 30 years in この日 took %lld ms", ms);
        QCOMPARE(window->LstDays->count(), 29);
        QVERIFY(window->LstDays->item(0)->text().startsWith(u"  2009/06/16(火)"_s));
    }

    // The export takes the unsaved text as it is and saves nothing; the year file and the data
    // folder are refused as targets before anything is asked.
    void exportSavesNothingAndRefusesTheDiarysFiles()
    {
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"書き出す日"_s);
        QTimer::singleShot(0, &form, [&] {
            auto *dialog = form.findChild<TExportDialog *>();
            QVERIFY(dialog);
            dialog->EdtFile->setText(QDir::current().filePath(u"Data/2010.jnl"_s));
            dialog->BtnExport->click();
            dialog->EdtFile->setText(u"Data"_s);
            dialog->BtnExport->click();
            QCOMPARE(F->Boxes.size(), 2);
            QVERIFY(F->Boxes[1].second.contains(u"日記のデータです"_s));
            dialog->Range->RbYear->setChecked(true);
            dialog->EdtFile->setText(u"out.txt"_s);
            // A typed name of a file that is there is replaced only when the user says so.
            QStringList asked;
            for (const bool replace : { false, true }) {
                F->Person.Answer = [&](const TQuestion &question) {
                    asked << question.Subject.toString();
                    return replace ? TAnswer::Yes : TAnswer::No;
                };
                dialog->BtnExport->click();
                if (!replace)
                    QCOMPARE(F->Read(u"out.txt"_s), QByteArray("kept"));
            }
            QCOMPARE(asked, (QStringList { u"out.txt"_s, u"out.txt"_s }));
        });
        F->Write(u"out.txt"_s, "kept");
        form.N6->trigger();
        QCOMPARE(F->Read(u"out.txt"_s), u"2010/06/15(火)\n書き出す日\n\n"_s.toUtf8());
        QVERIFY(!QFileInfo::exists(u"Data/2010.jnl"_s));
    }

    // A day of an ideographic space holds text, as in the year file; a year that cannot be
    // read is named, as the search names it.
    void onThisDayKeepsTheYearFilesRuleAndNamesWhatItCouldNotRead()
    {
        F->Write(u"Data/2009.jnl"_s, F->YearFile(2009, {}) + "![2009/06/15]\r\n\x81\x40\r\n");
        F->Write(u"Data/2008.jnl"_s, "!JNL 1.00 2005\r\n");
        TForm1 &form = F->Start();
        form.N4->trigger();
        auto *window = form.findChild<TOnThisDayWindow *>();
        QVERIFY(window);
        QCOMPARE(window->LstDays->count(), 2);
        QVERIFY(window->LstDays->item(0)->text().startsWith(u"  2009/06/15(月)"_s));
        QVERIFY(window->LstDays->item(1)->text().contains(u"2008.jnl"_s));
    }

    // What the export leaves out or changes is said, and only for the days chosen.
    void exportSaysWhatItLeftOut_data()
    {
        QTest::addColumn<bool>("pdf");
        QTest::addColumn<QByteArray>("yearFile"); // of 2010, without its first line
        QTest::addColumn<QString>("said");
        QTest::addColumn<bool>("written");
        QTest::newRow("no day in the range") << false << QByteArray() << "この範囲には" << false;
        QTest::newRow("bytes that are no CP932")
            << false << QByteArray("![2010/06/15]\r\na\xff\r\n") << "1 個" << true;
        QTest::newRow("an unreadable year outside the range, PDF")
            << true << QByteArray("![2010/06/15]\r\na\r\n") << "" << true;
    }
    void exportSaysWhatItLeftOut()
    {
        QFETCH(bool, pdf);
        QFETCH(QByteArray, yearFile);
        QFETCH(QString, said);
        QFETCH(bool, written);
        F->Write(u"Data/2006.jnl"_s, "!JNL 1.00 2005\r\n");
        if (!yearFile.isEmpty())
            F->Write(u"Data/2010.jnl"_s, F->YearFile(2010, {}) + yearFile);
        TForm1 &form = F->Start();
        QTimer::singleShot(0, &form, [&] {
            auto *dialog = form.findChild<TExportDialog *>();
            QVERIFY(dialog);
            if (pdf)
                dialog->CmbFormat->setCurrentIndex(dialog->CmbFormat->count() - 1);
            dialog->EdtFile->setText(u"out"_s);
            dialog->BtnExport->click();
            dialog->reject();
        });
        form.N6->trigger();
        QCOMPARE(QFileInfo::exists(u"out"_s), written);
        QCOMPARE(F->Boxes.size(), said.isEmpty() ? 0 : 1);
        if (!said.isEmpty())
            QVERIFY2(F->Boxes[0].second.contains(said), qPrintable(F->Boxes[0].second));
    }

    // The print dialog takes "~" as the export does, and refuses a file before it asks anything
    // itself.
    void printDialogRefusesAFileBeforeAsking()
    {
        QPrinter printer;
        printer.setOutputFileName(QDir::current().filePath(u"p.pdf"_s));
        QStringList refused;
        TPrintDialog dialog(&printer, nullptr, [&](const QString &path) {
            refused << path;
            return true;
        });
        dialog.show();
        // The last printer of the list is the file.
        if (auto *printers = dialog.findChild<QComboBox *>(u"printers"_s))
            printers->setCurrentIndex(printers->count() - 1);
        auto *file = dialog.findChild<QLineEdit *>(u"filename"_s);
        if (!file || !file->isEnabled())
            QSKIP("the print dialog offers no file here");
        file->setText(u"~/p.pdf"_s);
        dialog.accept();
        QCOMPARE(refused, QStringList { QDir::home().filePath(u"p.pdf"_s) });
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestOnThisDay)
#include "tst_onthisday.moc"
