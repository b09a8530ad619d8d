// 取り込み: other diaries' days brought into this one, after a report of what would come.

#include "AppServices.h"
#include "CommandLine.h"
#include "DayTexts.h"
#include "DiaryImport.h"
#include "Exceptions.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "ShownYear.h"
#include "WindowTexts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;
using namespace diaryimport;

std::function<QStringList()> TForm1::ImportChooser;
std::function<bool(const QString &report)> TForm1::ImportConfirm;

namespace {

QStringList chooseSources(QWidget *parent)
{
    if (TForm1::ImportChooser)
        return TForm1::ImportChooser();
    QMessageBox box(QMessageBox::Question, Text(wtext::kImportTitle), Text(wtext::kImportChoose),
        QMessageBox::NoButton, parent);
    QPushButton *files = box.addButton(Text(wtext::kImportFiles), QMessageBox::AcceptRole);
    QPushButton *folder = box.addButton(Text(wtext::kImportFolder), QMessageBox::AcceptRole);
    box.addButton(Text(wtext::kImportCancel), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() == files)
        return QFileDialog::getOpenFileNames(
            parent, Text(wtext::kImportTitle), QString(), Text(wtext::kImportFilter));
    if (box.clickedButton() == folder) {
        const QString path = QFileDialog::getExistingDirectory(parent, Text(wtext::kImportTitle));
        return path.isEmpty() ? QStringList() : QStringList { path };
    }
    return {};
}

bool confirm(QWidget *parent, const QString &report)
{
    if (TForm1::ImportConfirm)
        return TForm1::ImportConfirm(report);
    QMessageBox box(QMessageBox::Question, Text(wtext::kImportTitle),
        report + u"\r\n\r\n"_s + Text(wtext::kImportAsk), QMessageBox::Yes | QMessageBox::No,
        parent);
    box.button(QMessageBox::Yes)->setText(Text(wtext::kImportTake));
    box.button(QMessageBox::No)->setText(Text(wtext::kImportCancel));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString report(const QList<TYearOutcome> &years, const QList<TSource> &sources)
{
    QStringList lines;
    for (const TYearOutcome &year : years) {
        if (!year.Error.isEmpty()) {
            lines << Text(wtext::kImportYearUnread).arg(QString::number(year.Year), year.Error);
            continue;
        }
        lines << Text(wtext::kImportYear)
                     .arg(QString::number(year.Year), QString::number(year.Added.size()),
                         QString::number(year.BothTexts.size()));
        for (const QDate day : year.BothTexts)
            lines << Text(wtext::kImportBothDay).arg(FormatDate(u"yyyy/mm/dd"_s, day));
        for (const QString &chars : year.NotStored)
            lines << Text(wtext::kImportNotStored).arg(chars);
    }
    QStringList skipped;
    QStringList media;
    QStringList unreadable;
    for (const TSource &source : sources) {
        if (!source.Error.isEmpty())
            unreadable << u"> "_s + source.Error;
        for (const TSkipped &entry : source.Skipped)
            skipped << u"> "_s + entry.Where + u": "_s + entry.Reason;
        for (const QString &file : source.Media)
            media << u"> "_s + file;
    }
    if (lines.isEmpty())
        lines << Text(wtext::kImportNothing);
    if (!skipped.isEmpty())
        lines << QString() << Text(wtext::kImportSkipped) << skipped;
    if (!media.isEmpty())
        lines << QString() << Text(wtext::kImportMedia).arg(media.size()) << media;
    if (!unreadable.isEmpty())
        lines << QString() << Text(wtext::kImportUnreadable) << unreadable;
    return lines.join(u"\r\n"_s);
}

} // namespace

void TForm1::ActImportExecute()
{
    const QStringList paths = chooseSources(this);
    if (paths.isEmpty())
        return;
    // The report compares with the year files: what is unsaved is saved first.
    if (YearUnsaved(KivDiaryEdit1, *KivDiary1) && !SaveDiaryNow(*this))
        return;
    QList<TSource> sources;
    for (const QString &path : paths)
        sources << ReadSource(path);
    const std::map<QDate, QString> days = JoinDays(sources);
    // What would come in, from a store of its own that writes nothing.
    QList<TYearOutcome> preview;
    if (!days.empty()) {
        TKivDiary scratch;
        scratch.SetAutoSave(false);
        TDataFolder::Of(*KivDiary1).ApplyTo(scratch);
        scratch.SetYear(days.begin()->first.year());
        scratch.Open();
        preview = TakeInto(scratch, days);
    }
    const QString said = report(preview, sources);
    if (days.empty()) {
        ShowMessageBox(said);
        return;
    }
    if (!confirm(this, said))
        return;
    // Events ran while the box waited: the editor's text goes to the store before the years
    // switch, and each year is saved by the ordinary save as it is left.
    KivDiaryEdit1->Commit();
    TakeInto(*KivDiary1, days);
    SaveDiaryNow(*this);
    if (!KivDiaryEdit1->Modified())
        KivDiaryEdit1->Refresh();
    UpdateCalendarMarks();
}
