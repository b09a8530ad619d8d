// Reading the diary back: the same day in other years, printing and exporting.

#include "AppServices.h"
#include "DayNumber.h"
#include "DiaryExport.h"
#include "DiaryPrint.h"
#include "DiaryReading.h"
#include "DiarySearch.h"
#include "DiskCopies.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "MonthCalendar.h"
#include "OnThisDayWindow.h"
#include "ReadingDialogs.h"
#include "ShownYear.h"
#include "WindowRules.h"
#include "WindowTexts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QTextDocument>
#include <cmath>

using namespace Qt::StringLiterals;
using namespace diarysearch;

void TForm1::BuildReadingActions()
{
    const auto entry = [this](QAction *&item, QAction *&action, const char *name,
                           const char *caption, const QKeySequence &key) {
        action = new QAction(QString::fromUtf8(caption), ActionList1);
        action->setObjectName(QString::fromUtf8(name));
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        // The entry names the key as menus do; the key itself is the window's, through the action.
        item = new QAction(action->text(), PopupMenu1);
        item->setShortcut(key);
        item->setShortcutContext(Qt::WidgetShortcut);
        item->setShortcutVisibleInContextMenu(true);
        PopupMenu1->addAction(item);
        connect(item, &QAction::triggered, action, [action] { action->trigger(); });
    };
    entry(N4, ActOnThisDay, "ActOnThisDay", wtext::kOnThisDayCaption, QKeySequence(u"Ctrl+T"_s));
    entry(N5, ActPrint, "ActPrint", wtext::kPrintCaption, QKeySequence::Print);
    entry(N6, ActExport, "ActExport", wtext::kExportCaption, QKeySequence(u"Ctrl+E"_s));
    N4->setObjectName(u"N4"_s);
    N5->setObjectName(u"N5"_s);
    N6->setObjectName(u"N6"_s);
}

void TForm1::BindReadingActions()
{
    connect(ActOnThisDay, &QAction::triggered, this,
        [this] { RunGuarded([&] { ActOnThisDayExecute(); }); });
    connect(
        ActPrint, &QAction::triggered, this, [this] { RunGuarded([&] { ActPrintExecute(); }); });
    connect(
        ActExport, &QAction::triggered, this, [this] { RunGuarded([&] { ActExportExecute(); }); });
    // A year read again from disk (another program wrote it) changes what この日 shows.
    connect(
        KivDiary1, &TKivDiary::Reloaded, this, [this] { RunGuarded([&] { UpdateOnThisDay(); }); });
}

TSearchIndex &TForm1::ReadingIndex(QList<TSkippedFile> *skipped)
{
    if (!FSearchIndex)
        FSearchIndex = std::make_unique<TSearchIndex>();
    const TKivDiary &diary = *KivDiaryEdit1->Source();
    FSearchIndex->SetFolder(diary.BaseDir(), diary.Prefix(), diary.Ext());
    FSearchIndex->SetLiveYear(diary, ShownDays(KivDiaryEdit1, diary));
    const QList<TSkippedFile> failed = FSearchIndex->Refresh();
    if (skipped)
        *skipped = failed;
    return *FSearchIndex;
}

void TForm1::ActOnThisDayExecute()
{
    if (!FOnThisDayWindow) {
        FOnThisDayWindow = new TOnThisDayWindow(
            this, [this](double date) { RunGuarded([&] { OpenOnThisDay(date); }); });
        // Beside the diary, on its screen.
        const QRect frame = frameGeometry();
        QRect place(QPoint(frame.right() + 1, frame.top()), FOnThisDayWindow->size());
        if (const QScreen *shownOn = screen())
            place = FitIntoArea(place, shownOn->availableGeometry());
        FOnThisDayWindow->move(place.topLeft());
    }
    UpdateOnThisDay();
    FOnThisDayWindow->show();
    FOnThisDayWindow->raise();
    FOnThisDayWindow->activateWindow();
    FOnThisDayWindow->LstDays->setFocus();
    if (!FOnThisDayWindow->LstDays->currentItem() && FOnThisDayWindow->LstDays->count() > 0)
        FOnThisDayWindow->LstDays->setCurrentRow(0);
}

void TForm1::UpdateOnThisDay()
{
    if (!FOnThisDayWindow)
        return;
    const double day = std::floor(KivDiaryEdit1->Date());
    FOnThisDayWindow->Show(day, diaryreading::OnThisDay(ReadingIndex(), DayNumberToDate(day)));
    // Years read for this window are known to the calendar's marks too.
    UpdateCalendarMarks();
}

void TForm1::OpenOnThisDay(double date)
{
    // The way a click on the day goes: a year switch saves the year it leaves first.
    MonthCalendar1->SetDate(date);
    MonthCalendar1Click();
    activateWindow();
    raise();
    KivDiaryEdit1->setFocus();
}

namespace {

// The day's file is written by the diary alone, and a written file names the reason it failed.
bool writeRefusingDiaryFiles(const TKivDiary &diary, const QString &path, const QByteArray &bytes)
{
    if (IsDiaryOwnFile(diary.BaseDir(), diary.Prefix(), diary.Ext(), path)) {
        ShowMessageBox(QString::fromUtf8(wtext::kTargetIsDiaryFile).arg(path));
        return false;
    }
    const TFileWrite written = ReplaceFile(path, bytes, AccessOfFile(path));
    if (!written) {
        ShowMessageBox(QString::fromUtf8(wtext::kCannotWrite).arg(path, written.Error));
        return false;
    }
    return true;
}

void reportSkipped(const QStringList &paths)
{
    if (!paths.isEmpty())
        ShowMessageBox(QString::fromUtf8(wtext::kExportSkipped).arg(paths.join(u"\r\n"_s)));
}

QStringList pathsOf(const QList<TSkippedFile> &skipped)
{
    QStringList paths;
    for (const TSkippedFile &file : skipped)
        paths << file.Path;
    return paths;
}

} // namespace

void TForm1::ActPrintExecute()
{
    const double day = std::floor(KivDiaryEdit1->Date());
    TPrintRangeDialog ask(this, day);
    if (ask.exec() != QDialog::Accepted)
        return;
    QList<TSkippedFile> skipped;
    const std::vector<TDayEntry> days
        = diaryreading::DaysIn(ReadingIndex(&skipped), ask.Range->Range());
    reportSkipped(pathsOf(skipped));
    if (days.empty()) {
        ShowMessageBox(QString::fromUtf8(wtext::kNoDaysInRange));
        return;
    }
    const std::unique_ptr<QTextDocument> document
        = diaryprint::BuildDocument(days, KivDiaryEdit1->font());

    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(diaryprint::DefaultPageLayout());
    printer.setDocName(u"日記"_s);
    // Without a printer the dialog can only print to a file: offer one in the home folder.
    if (QPrinterInfo::availablePrinters().isEmpty())
        printer.setOutputFileName(
            QDir::home().filePath(FormatDayNumber(u"日記-yyyymmdd.pdf"_s, days.front().Date)));
    QPrintDialog dialog(&printer, this);
    dialog.setObjectName(u"PrintDialog"_s);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        // A PDF file goes through the diary's one file writer, as every file it writes.
        writeRefusingDiaryFiles(*KivDiaryEdit1->Source(), printer.outputFileName(),
            diaryprint::RenderPdf(*document, printer.pageLayout()));
        return;
    }
    document->print(&printer);
}

void TForm1::ActExportExecute()
{
    const double day = std::floor(KivDiaryEdit1->Date());
    const auto write = [this](const TExportDialog::TChoice &choice) {
        bool done = false;
        RunGuarded([&] {
            if (choice.Path.isEmpty()) {
                ShowMessageBox(QString::fromUtf8(wtext::kNoTargetFile));
                return;
            }
            const TKivDiary &diary = *KivDiaryEdit1->Source();
            if (IsDiaryOwnFile(diary.BaseDir(), diary.Prefix(), diary.Ext(), choice.Path)) {
                ShowMessageBox(QString::fromUtf8(wtext::kTargetIsDiaryFile).arg(choice.Path));
                return;
            }
            // A file named by hand is replaced only when the user says so; the file dialog asked.
            if (!choice.Confirmed && QFileInfo::exists(choice.Path)
                && !TExportDialog::AskReplace(QApplication::activeModalWidget(), choice.Path))
                return;
            QByteArray bytes;
            QStringList skipped;
            if (!choice.Format) {
                QList<TSkippedFile> failed;
                const std::vector<TDayEntry> days
                    = diaryreading::DaysIn(ReadingIndex(&failed), choice.Range);
                skipped = pathsOf(failed);
                bytes = diaryprint::RenderPdf(
                    *diaryprint::BuildDocument(days, KivDiaryEdit1->font()));
            } else {
                // The export reads the year files: what is unsaved is saved first, as at a
                // year switch.
                if (YearUnsaved(KivDiaryEdit1, diary) && !SaveDiaryNow(*this))
                    return;
                const diaryexport::TExport exported = diaryexport::ExportFolder(
                    diary.BaseDir(), diary.Prefix(), diary.Ext(), *choice.Format, choice.Range);
                for (const diaryexport::TSkipped &file : exported.Skipped)
                    skipped << file.Path;
                bytes = exported.Out.toUtf8();
            }
            done = writeRefusingDiaryFiles(diary, choice.Path, bytes);
            reportSkipped(skipped);
        });
        return done;
    };
    TExportDialog dialog(this, day, write);
    dialog.exec();
}
