// kivlog-cli export --format pdf: the days laid out as the window prints them.
#include "CliOutput.h"
#include "CliSearch.h"
#include "Cp932.h"
#include "DayNumber.h"
#include "DiaryPrint.h"
#include "DiaryReading.h"
#include "Exceptions.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "Numbers.h"
#include "Services.h"
#include "SettingValues.h"

#include <QTextDocument>
#include <cstdio>

namespace {

// The editor's font as the newest year file of the range names it, as the window would open
// on that year.
QFont fontOfYear(const TDataFolder &folder, int year)
{
    TScopedDiaryServices quiet({ [](const QString &) {}, {}, {} });
    TKivDiary store;
    store.SetAutoSave(false);
    folder.ApplyTo(store);
    qint32 points = 0;
    QString family;
    try {
        store.SetYear(year);
        store.Open();
        if (!TryStrToInt32(store.GetSetting(setting::kFontSize), points))
            points = 0;
        family = cp932::Decode(store.GetSetting(setting::kFontName));
    } catch (const Exception &) {
        // The file is named among the skipped ones; the default font serves.
    }
    return diaryprint::FontOfSettings(family, points);
}

} // namespace

int ExportPdf(const TDataFolder &folder, const diaryexport::TRange &range, const QString &outPath)
{
    diarysearch::TSearchIndex index;
    index.SetFolder(folder.BaseDir, folder.Prefix, folder.Ext);
    const QList<diarysearch::TSkippedFile> skipped = index.Refresh();
    for (const diarysearch::TSkippedFile &file : skipped)
        print(stderr, QStringLiteral("kivlog-cli: %1 skipped: %2\n").arg(file.Path, file.Reason));
    const std::vector<diarysearch::TDayEntry> days = diaryreading::DaysIn(index, range);
    const QFont font = days.empty() ? diaryprint::FontOfSettings({}, 0)
                                    : fontOfYear(folder, DayNumberToDate(days.back().Date).year());
    const QByteArray pdf
        = diaryprint::RenderPdf(*diaryprint::BuildDocument(days, font, folder.BaseDir));
    if (outPath.isEmpty()) {
        std::fwrite(pdf.constData(), 1, static_cast<size_t>(pdf.size()), stdout);
    } else {
        const TFileWrite written = ReplaceFile(outPath, pdf, ExportAccess(folder, outPath));
        if (!written) {
            print(stderr,
                QStringLiteral("kivlog-cli: cannot write %1: %2\n").arg(outPath, written.Error));
            return 1;
        }
    }
    return skipped.isEmpty() ? 0 : 1;
}
