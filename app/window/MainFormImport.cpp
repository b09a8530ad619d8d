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
#include <optional>

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

// What a report says: counts first, a line each year and each source; then the details, which
// run to thousands of lines for years of a diary with photos.
struct TReport {
    QString Summary;
    QString Details;
    QString Whole() const { return Details.isEmpty() ? Summary : Summary + u"\r\n"_s + Details; }
};

bool confirm(QWidget *parent, const TReport &report)
{
    TQuestion question { TQuestionKind::ImportTake, Text(wtext::kImportTitle),
        report.Summary + u"\r\n\r\n"_s + Text(wtext::kImportAsk),
        { { TAnswer::Yes, Text(wtext::kImportTake) }, { TAnswer::No, Text(wtext::kImportCancel) } },
        TAnswer::Yes, TAnswer::No, report.Whole() };
    question.Details = report.Details;
    return Ask(question, parent) == TAnswer::Yes;
}

QString reason(const TSkipped &skipped)
{
    switch (skipped.Why) {
    case TWhy::NoDate:
        return Text(wtext::kImportNoDate);
    case TWhy::Before1900:
        return Text(wtext::kImportBefore1900);
    case TWhy::NoText:
        break;
    case TWhy::LinkOutside:
        return Text(wtext::kImportLinkOutside);
    case TWhy::NoSuchDay:
        return Text(wtext::kImportNoSuchDay);
    case TWhy::NoDayName:
        return Text(wtext::kImportNoDayName);
    case TWhy::BinaryText:
        return Text(wtext::kImportBinaryText);
    case TWhy::ZoneGuessed:
        return Text(wtext::kImportZoneGuessed).arg(skipped.Detail);
    }
    return Text(wtext::kImportNoText);
}

TReport report(const QList<TYearOutcome> &years, const QList<TSource> &sources)
{
    QStringList lines;
    QStringList details;
    for (const TYearOutcome &year : years) {
        if (!year.Error.isEmpty()) {
            lines << Text(wtext::kImportYearUnread).arg(QString::number(year.Year), year.Error);
            continue;
        }
        lines << Text(wtext::kImportYear)
                     .arg(QString::number(year.Year), QString::number(year.Added.size()),
                         QString::number(year.Extended.size()),
                         QString::number(year.BothTexts.size()));
        for (const auto &[kind, days] : { std::pair { wtext::kImportAddedDay, &year.Added },
                 { wtext::kImportExtendedDay, &year.Extended },
                 { wtext::kImportBothDay, &year.BothTexts } }) {
            for (const QDate day : *days)
                details << Text(kind).arg(FormatDate(u"yyyy/mm/dd"_s, day));
        }
        if (!year.NotStored.isEmpty())
            lines << Text(wtext::kImportNotStoredDays).arg(year.NotStored.size());
        for (const QString &chars : year.NotStored)
            details << Text(wtext::kImportNotStored).arg(chars);
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
        if (!source.Skipped.isEmpty() || !source.Guessed.isEmpty() || !source.Media.isEmpty())
            lines << Text(wtext::kImportSourceCounts)
                         .arg(source.Path, QString::number(source.Skipped.size()),
                             QString::number(source.Guessed.size()),
                             QString::number(source.Media.size()));
        for (const TSkipped &entry : source.Skipped)
            skipped << u"> "_s + entry.Where + u": "_s + reason(entry);
        for (const TSkipped &entry : source.Guessed)
            guessed << u"> "_s + entry.Where + u": "_s + reason(entry);
        for (const QString &file : source.Media)
            media << u"> "_s + file;
    }
    if (lines.isEmpty())
        lines << Text(wtext::kImportNothing);
    if (!unreadable.isEmpty())
        lines << QString() << Text(wtext::kImportUnreadable) << unreadable;
    if (!skipped.isEmpty())
        details << QString() << Text(wtext::kImportSkipped) << skipped;
    if (!guessed.isEmpty())
        details << QString() << Text(wtext::kImportGuessed) << guessed;
    if (!media.isEmpty())
        details << QString() << Text(wtext::kImportMedia).arg(media.size()) << media;
    while (!details.isEmpty() && details.first().isEmpty())
        details.removeFirst();
    return { lines.join(u"\r\n"_s), details.join(u"\r\n"_s) };
}

} // namespace

void TForm1::ActImportExecute()
{
    const QStringList paths = chooseSources(this);
    if (paths.isEmpty())
        return;
    QList<TSource> sources;
    for (const QString &path : paths)
        sources << ReadSource(path);
    const std::map<QDate, QString> days = JoinDays(sources);
    // What would come in, from a store of its own that writes nothing: the year files, and the
    // shown year as the window holds it, unsaved text included, as export reads it. Nothing is
    // saved before the user has read the report and said 取り込む.
    QList<TYearOutcome> preview;
    if (!days.empty()) {
        TKivDiary scratch;
        scratch.SetAutoSave(false);
        TDataFolder::Of(*KivDiary1).ApplyTo(scratch);
        scratch.SetYear(days.begin()->first.year());
        scratch.Open();
        std::optional<TShownYear> shown;
        if (KivDiary1->Active() && KivDiary1->LoadError().isEmpty())
            shown = TShownYear { KivDiary1->Year(), ShownDays(KivDiaryEdit1, *KivDiary1) };
        preview = TakeInto(scratch, days, shown ? &*shown : nullptr);
    }
    const TReport said = report(preview, sources);
    if (days.empty()) {
        ShowDetailedMessageBox(said.Summary, said.Details);
        return;
    }
    if (!confirm(this, said))
        return;
    // The pictures are in place before a line names them.
    const QStringList notCopied = CopyPictures(sources, KivDiary1->BaseDir());
    // Events ran while the box waited: the editor's text goes to the store before the years
    // switch, and each year is saved by the ordinary save as it is left.
    KivDiaryEdit1->Commit();
    {
        // The report has been read; a merge with a version from elsewhere on the way is told
        // in the window.
        const TStoreNoticesInWindow notices(TStoreNoticesInWindow::TWhich::MergesOnly);
        TakeInto(*KivDiary1, days);
        SaveDiaryNow(*this);
    }
    if (!KivDiaryEdit1->Modified())
        KivDiaryEdit1->Refresh();
    UpdateCalendarMarks();
    if (!notCopied.isEmpty())
        ShowMessageBox(Text(wtext::kImportPicturesNotCopied) + notCopied.join(u"\r\n"_s));
}
