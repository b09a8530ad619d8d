// Reading the diary back: the same day in other years, printing and exporting.

#include "AppServices.h"
#include "CommandLine.h"
#include "Cp932.h"
#include "DayTexts.h"
#include "DiaryExport.h"
#include "DiaryPrint.h"
#include "DiaryReading.h"
#include "DiarySearch.h"
#include "DiskCopies.h"
#include "FileWriter.h"
#include "KeysWindow.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "Messages.h"
#include "MonthCalendar.h"
#include "OnThisDayWindow.h"
#include "PictureFiles.h"
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

QAction *TForm1::AddPopupEntry(
    QAction *&action, const char *name, const char *caption, const QKeySequence &key)
{
    action = new QAction(Text(caption), ActionList1);
    action->setObjectName(QString::fromUtf8(name));
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    // The entry names the key as menus do; the key itself is the window's, through the action.
    auto *item = new QAction(action->text(), PopupMenu1);
    item->setShortcut(key);
    item->setShortcutContext(Qt::WidgetShortcut);
    item->setShortcutVisibleInContextMenu(true);
    PopupMenu1->addAction(item);
    connect(item, &QAction::triggered, action, [action] { action->trigger(); });
    return item;
}

void TForm1::BuildReadingActions()
{
    const auto entry
        = [this](QAction *&item, QAction *&action, const char *name, const char *caption,
              const QKeySequence &key) { item = AddPopupEntry(action, name, caption, key); };
    entry(N4, ActOnThisDay, "ActOnThisDay", wtext::kOnThisDayCaption, QKeySequence(u"Ctrl+T"_s));
    entry(N5, ActPrint, "ActPrint", wtext::kPrintCaption, QKeySequence::Print);
    entry(N6, ActExport, "ActExport", wtext::kExportCaption, QKeySequence(u"Ctrl+E"_s));
    entry(N7, ActImport, "ActImport", wtext::kImportCaption, QKeySequence(u"Ctrl+I"_s));
    entry(NYear, ActYearView, "ActYearView", wtext::kYearViewCaption, QKeySequence(u"Ctrl+R"_s));
    N4->setObjectName(u"N4"_s);
    N5->setObjectName(u"N5"_s);
    N6->setObjectName(u"N6"_s);
    N7->setObjectName(u"N7"_s);
    NYear->setObjectName(u"NYear"_s);
}

void TForm1::BindReadingActions()
{
    connect(ActOnThisDay, &QAction::triggered, this,
        [this] { RunGuarded([&] { ActOnThisDayExecute(); }); });
    connect(
        ActPrint, &QAction::triggered, this, [this] { RunGuarded([&] { ActPrintExecute(); }); });
    connect(
        ActExport, &QAction::triggered, this, [this] { RunGuarded([&] { ActExportExecute(); }); });
    connect(
        ActImport, &QAction::triggered, this, [this] { RunGuarded([&] { ActImportExecute(); }); });
    connect(ActYearView, &QAction::triggered, this,
        [this] { RunGuarded([&] { ActYearViewExecute(); }); });
    // A year read again from disk (another program wrote it) changes what この日 and the year
    // view show.
    connect(KivDiary1, &TKivDiary::Reloaded, this, [this] {
        RunGuarded([&] {
            UpdateOnThisDay();
            UpdateYearView();
        });
    });
}

void TForm1::BuildKeysAction()
{
    ActShowKeys = new QAction(Text(wtext::kKeysCaption), ActionList1);
    ActShowKeys->setObjectName(u"ActShowKeys"_s);
    ActShowKeys->setShortcut(QKeySequence::HelpContents);
    ActShowKeys->setShortcutContext(Qt::WindowShortcut);
    addAction(ActShowKeys);
    connect(ActShowKeys, &QAction::triggered, this,
        [this] { RunGuarded([&] { ActShowKeysExecute(); }); });
    PopupMenu1->addSeparator();
    NKeys = new QAction(ActShowKeys->text(), PopupMenu1);
    NKeys->setObjectName(u"NKeys"_s);
    NKeys->setShortcut(ActShowKeys->shortcut());
    NKeys->setShortcutContext(Qt::WidgetShortcut);
    NKeys->setShortcutVisibleInContextMenu(true);
    PopupMenu1->addAction(NKeys);
    connect(NKeys, &QAction::triggered, ActShowKeys, [this] { ActShowKeys->trigger(); });
}

void TForm1::ActShowKeysExecute()
{
    // Built anew each time, so it lists the entries and the folder as they are now.
    delete FKeysWindow.data();
    FKeysWindow = new TKeysWindow(this, PopupMenu1->actions(), DataFolder());
    FKeysWindow->show();
    FKeysWindow->raise();
    FKeysWindow->activateWindow();
}

TSearchIndex &TForm1::PreparedIndex()
{
    if (!FSearchIndex)
        FSearchIndex = std::make_unique<TSearchIndex>();
    const TKivDiary &diary = *KivDiaryEdit1->Source();
    FSearchIndex->SetFolder(diary.BaseDir(), diary.Prefix(), diary.Ext());
    FSearchIndex->SetLiveYear(diary, ShownDays(KivDiaryEdit1, diary));
    return *FSearchIndex;
}

TSearchIndex &TForm1::ReadingIndex(QList<TSkippedFile> *skipped)
{
    const QList<TSkippedFile> failed = PreparedIndex().Refresh();
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
    QList<TSkippedFile> skipped;
    const TSearchIndex &index = ReadingIndex(&skipped);
    FOnThisDayWindow->Show(day, diaryreading::OnThisDay(index, DayNumberToDate(day)), skipped);
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

// Why a file may not take what the diary writes out, or nothing: the diary's own files, the
// copies of other versions of a year, and its folder are never targets, nor is any folder.
QString refusalOf(const TKivDiary &diary, const QString &path)
{
    const QFileInfo target(path);
    if (IsDiaryOwnFile(diary.BaseDir(), diary.Prefix(), diary.Ext(), path)
        || IsDiaryVersionFile(path)
        || (target.isDir()
            && target.canonicalFilePath()
                == QFileInfo(FullFolderPath(diary.BaseDir())).canonicalFilePath()))
        return Text(wtext::kTargetIsDiaryFile).arg(target.absoluteFilePath());
    if (target.isDir())
        return Text(wtext::kTargetIsFolder).arg(target.absoluteFilePath());
    return QString();
}

// A written file names the reason it failed.
bool writeTarget(const TKivDiary &diary, const QString &path, const QByteArray &bytes)
{
    // As private as the year files it is made of.
    QStringList years;
    for (const diarysearch::TYearFileRef &year :
        diarysearch::ListYearFiles(diary.BaseDir(), diary.Prefix(), diary.Ext()))
        years << year.Path;
    const TFileWrite written = ReplaceFile(path, bytes, AccessOfCopy(years, path));
    if (!written) {
        ShowMessageBox(
            Text(wtext::kCannotWrite).arg(QFileInfo(path).absoluteFilePath(), written.Error));
        return false;
    }
    return true;
}

// What print and every export take: the year files the range touches, the shown year with its
// unsaved text instead of its file. Nothing is saved for it.
diaryexport::TExport readDays(
    const TKivDiaryEdit *editor, diaryexport::TFormat format, const diaryexport::TRange &range)
{
    const TKivDiary &diary = *editor->Source();
    std::optional<diaryexport::TLiveYear> live;
    if (diary.Active() && diary.LoadError().isEmpty())
        live = diaryexport::TLiveYear { diary.Year(), ShownDays(editor, diary) };
    return diaryexport::ExportFolder(
        diary.BaseDir(), diary.Prefix(), diary.Ext(), format, range, live ? &*live : nullptr);
}

std::vector<TDayEntry> entriesOf(const std::vector<TDayText> &days)
{
    std::vector<TDayEntry> entries;
    entries.reserve(days.size());
    for (const TDayText &day : days)
        entries.push_back({ day.FDate, cp932::Decode(day.FText) });
    return entries;
}

// What was left out or changed on the way, said after the file was written: years that could
// not be read, and bytes that are no CP932 text.
void reportLeftOut(const diaryexport::TExport &exported, qsizetype replaced)
{
    QStringList said;
    if (!exported.Skipped.isEmpty()) {
        QStringList paths;
        for (const diaryexport::TSkipped &file : exported.Skipped)
            paths << QFileInfo(file.Path).absoluteFilePath();
        said << Text(wtext::kExportSkipped).arg(paths.join(u"\r\n"_s));
    }
    if (replaced > 0)
        said << Text(wtext::kBytesReplaced).arg(replaced);
    if (!said.isEmpty())
        ShowMessageBox(said.join(u"\r\n\r\n"_s));
}

qsizetype replacedIn(const std::vector<TDayEntry> &days)
{
    qsizetype replaced = 0;
    for (const TDayEntry &day : days)
        replaced += day.Text.count(QChar(0xFFFD));
    return replaced;
}

} // namespace

void TForm1::ActPrintExecute()
{
    const double day = std::floor(KivDiaryEdit1->Date());
    TPrintRangeDialog ask(this, day);
    if (ask.exec() != QDialog::Accepted)
        return;
    const diaryexport::TExport exported
        = readDays(KivDiaryEdit1, diaryexport::TFormat::Text, ask.Range->Range());
    const std::vector<TDayEntry> days = entriesOf(exported.Days);
    if (days.empty()) {
        reportLeftOut(exported, 0);
        ShowMessageBox(Text(wtext::kNoDaysInRange));
        return;
    }
    const std::unique_ptr<QTextDocument> document
        = diaryprint::BuildDocument(days, KivDiaryEdit1->font(), KivDiary1->BaseDir());

    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(diaryprint::DefaultPageLayout());
    printer.setDocName(Text(msg::kDiaryTitle));
    // Without a printer the dialog can only print to a file: offer one in the home folder.
    if (QPrinterInfo::availablePrinters().isEmpty())
        printer.setOutputFileName(QDir::home().filePath(
            Text(msg::kDiaryTitle) + FormatDayNumber(u"-yyyymmdd.pdf"_s, days.front().Date)));
    const TKivDiary &diary = *KivDiaryEdit1->Source();
    TPrintDialog dialog(&printer, this, [&diary](const QString &path) {
        const QString refused = refusalOf(diary, path);
        if (!refused.isEmpty())
            ShowMessageBox(refused);
        return !refused.isEmpty();
    });
    dialog.setObjectName(u"PrintDialog"_s);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
        // A PDF file goes through the diary's one file writer, as every file it writes.
        const QString path = ExpandHome(printer.outputFileName());
        if (const QString refused = refusalOf(diary, path); !refused.isEmpty()) {
            ShowMessageBox(refused);
            return;
        }
        if (writeTarget(diary, path, diaryprint::RenderPdf(*document, printer.pageLayout())))
            reportLeftOut(exported, replacedIn(days));
        return;
    }
    diaryprint::KeepHeadingsWithText(*document, printer);
    document->print(&printer);
    reportLeftOut(exported, replacedIn(days));
}

void TForm1::ActExportExecute()
{
    const double day = std::floor(KivDiaryEdit1->Date());
    const auto write = [this](const TExportDialog::TChoice &choice) {
        bool done = false;
        RunGuarded([&] {
            if (choice.Path.isEmpty()) {
                ShowMessageBox(Text(wtext::kNoTargetFile));
                return;
            }
            const TKivDiary &diary = *KivDiaryEdit1->Source();
            if (const QString refused = refusalOf(diary, choice.Path); !refused.isEmpty()) {
                ShowMessageBox(refused);
                return;
            }
            const diaryexport::TExport exported = readDays(
                KivDiaryEdit1, choice.Format.value_or(diaryexport::TFormat::Text), choice.Range);
            if (exported.Days.empty()) {
                reportLeftOut(exported, 0);
                ShowMessageBox(Text(wtext::kNoDaysInRange));
                return;
            }
            // A file is replaced only when the user says so.
            if (QFileInfo::exists(choice.Path)
                && !TExportDialog::AskReplace(QApplication::activeModalWidget(), choice.Path))
                return;
            QByteArray bytes;
            qsizetype replaced = exported.Replaced;
            if (!choice.Format) {
                const std::vector<TDayEntry> days = entriesOf(exported.Days);
                replaced = replacedIn(days);
                bytes = diaryprint::RenderPdf(
                    *diaryprint::BuildDocument(days, KivDiaryEdit1->font(), diary.BaseDir()));
            } else {
                bytes = exported.Out.toUtf8();
            }
            done = writeTarget(diary, choice.Path, bytes);
            if (done)
                reportLeftOut(exported, replaced);
            // The pictures the export links to go beside it, as its links say.
            if (done && choice.Format) {
                const QStringList failed = CopyPicturesBeside(
                    diary.BaseDir(), exported.Pictures, QFileInfo(choice.Path).absolutePath());
                if (!failed.isEmpty())
                    ShowMessageBox(Text(wtext::kPicturesNotCopied) + failed.join(u"\r\n"_s));
            }
        });
        return done;
    };
    TExportDialog dialog(this, day, write);
    dialog.exec();
}
