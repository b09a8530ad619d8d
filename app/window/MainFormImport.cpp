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

using namespace Qt::StringLiterals;
using namespace diaryimport;

namespace {

QStringList chooseSources(QWidget *parent)
{
    const TAnswer from
        = Ask({ TQuestionKind::ImportFrom, Text(wtext::kImportTitle), Text(wtext::kImportChoose),
                  { { TAnswer::Files, Text(wtext::kImportFiles) },
                      { TAnswer::Folder, Text(wtext::kImportFolder) },
                      { TAnswer::Cancel, Text(wtext::kImportCancel) } },
                  TAnswer::Files, TAnswer::Cancel },
            parent);
    if (from == TAnswer::Files) {
        return Choose({ TQuestionKind::ImportFiles, Text(wtext::kImportTitle) }, [parent] {
            return QFileDialog::getOpenFileNames(
                parent, Text(wtext::kImportTitle), QString(), Text(wtext::kImportFilter));
        }).toStringList();
    }
    if (from == TAnswer::Folder) {
        const QString path
            = Choose({ TQuestionKind::ImportFolder, Text(wtext::kImportTitle) }, [parent] {
                  return QFileDialog::getExistingDirectory(parent, Text(wtext::kImportTitle));
              }).toString();
        return path.isEmpty() ? QStringList() : QStringList { path };
    }
    return {};
}

bool confirm(QWidget *parent, const QString &report)
{
    return Ask({ TQuestionKind::ImportTake, Text(wtext::kImportTitle),
                   report + u"\r\n\r\n"_s + Text(wtext::kImportAsk),
                   { { TAnswer::Yes, Text(wtext::kImportTake) },
                       { TAnswer::No, Text(wtext::kImportCancel) } },
                   TAnswer::Yes, TAnswer::No, report },
               parent)
        == TAnswer::Yes;
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
        if (!year.Changed.isEmpty())
            lines << Text(wtext::kImportChanged).arg(CharacterCounts(year.Changed));
        if (!year.Referenced.isEmpty())
            lines << Text(wtext::kImportReferenced).arg(CharacterCounts(year.Referenced));
    }
    QStringList skipped;
    QStringList guessed;
    QStringList media;
    QStringList unreadable;
    for (const TSource &source : sources) {
        if (!source.Error.isEmpty())
            unreadable << u"> "_s + source.Error;
        for (const TSkipped &entry : source.Skipped)
            skipped << u"> "_s + entry.Where + u": "_s + entry.Reason;
        for (const TSkipped &entry : source.Guessed)
            guessed << u"> "_s + entry.Where + u": "_s + entry.Reason;
        for (const QString &file : source.Media)
            media << u"> "_s + file;
    }
    if (lines.isEmpty())
        lines << Text(wtext::kImportNothing);
    if (!skipped.isEmpty())
        lines << QString() << Text(wtext::kImportSkipped) << skipped;
    if (!guessed.isEmpty())
        lines << QString() << Text(wtext::kImportGuessed) << guessed;
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
