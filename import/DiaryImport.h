#pragma once

#include "YearFile.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

class TKivDiary;

// Diaries written in other programs, read into days: a day's text as Unicode, each day once.
namespace diaryimport {

enum class TFormat {
    // Found from the file itself.
    Auto,
    // A journal's JSON export: the .zip (JSON files inside, media beside them), the folder it
    // unzips to, or one JSON file.
    DayOne,
    // A JSON export of entries with date, time, title, body and tags, or the journal file
    // itself ("[2023-05-01 09:00] Title" opens each entry).
    Jrnl,
    // A data folder of month files YYYY-MM.txt (YAML: day number -> text and categories), its
    // backup .zip, or one month file.
    RedNotebook,
    // A folder of one file a day (see DayOfFileName), or one such file.
    DayFiles,
};
// The name --format takes: dayone, jrnl, rednotebook, days.
std::optional<TFormat> FormatNamed(const QString &name);
QString FormatName(TFormat format);

// Why something of a source does not come in, or comes in on a guess.
enum class TWhy {
    NoDate,
    Before1900,
    NoText,
    LinkOutside, // a link that leads out of the folder
    NoSuchDay, // a file named for a day that does not exist
    NoDayName, // a file of a day folder named for no day
    BinaryText, // a text stored as binary data that reads as no text
    ZoneGuessed, // a time zone not known here, taken as this computer's
};

// Something of a source that does not come in: where it is (file, entry) and why.
struct TSkipped {
    QString Where;
    TWhy Why = TWhy::NoText;
    QString Detail; // what the reason names: the time zone
    // The reason as kivlog-cli says it.
    QString Reason() const;
};

// A picture of a source that comes in with its day: the day's text names it by Name as the
// diary names its pictures, and CopyPictures puts it into the data folder.
struct TImportedPicture {
    QDate Day;
    QString Name;
    QString Zip; // the zip it is in; empty for a file of its own
    QString Path; // its member in the zip, or its file
};

// A source as read: its days, what was left out, the pictures that come in with the days, and
// the other media it names (not copied).
struct TSource {
    QString Path;
    TFormat Format = TFormat::Auto;
    // Non-empty when the source could not be read at all: nothing of it comes in.
    QString Error;
    std::map<QDate, QString> Days;
    QList<TSkipped> Skipped;
    // What came in on a guess (an entry's time zone not known here): where, and the guess.
    QList<TSkipped> Guessed;
    QStringList Media;
    QList<TImportedPicture> Pictures;
    // The files that made its days (a folder's day files; the source itself otherwise).
    QStringList Files;
    // A day file's SHA-256 as it was read, by its path.
    std::map<QString, QByteArray> Digests;
};

TSource ReadSource(const QString &path, TFormat format = TFormat::Auto);

// Copies the pictures of the sources into the data folder, before their days are taken in, so
// that no line names a picture that is not there; what could not be copied, each with why.
QStringList CopyPictures(const QList<TSource> &sources, const QString &baseDir);

// Whether a file name is one of a day ("2026-12-09.txt", "20261209.md", "2026_12_09.md",
// "2026.12.09.txt", "2026-12-09 Wednesday.markdown", "09.txt" inside 2026/12/): its day, else an
// invalid date.
QDate DayOfFileName(const QString &relativePath);

// Whether path, inside folder, is or passes a link that leads out of it (or leads nowhere).
bool LeadsOutside(const QString &path, const QString &folder);

// Whether the day files of a source still hold the bytes they were read with.
bool HoldsBytesRead(const TSource &source);

// The days of several sources, the texts of one day from several sources joined in the order
// of the sources, an empty line between them.
std::map<QDate, QString> JoinDays(const QList<TSource> &sources);

// How often one kind of character was met: From read back as To (empty for a reference).
struct TCharacterCount {
    QString From;
    QString To;
    int Count = 0;
    bool operator==(const TCharacterCount &) const = default;
};

// What taking days into a diary did to one year.
struct TYearOutcome {
    int Year = 0;
    // Days that held no text before and hold the imported text now.
    QList<QDate> Added;
    // Days whose text the imported one extended: it now holds its own text and what came.
    QList<QDate> Extended;
    // Days that held another text and now hold both.
    QList<QDate> BothTexts;
    // The year file could not be read: nothing came into this year.
    QString Error;
    // Characters the diary refuses (as its editor does), each day as "yyyy/mm/dd U+0000 ...".
    QStringList NotStored;
    // Characters stored as the code page's look-alike (〜 as ～), by kind in order of code point.
    QList<TCharacterCount> Changed;
    // Characters kept as character references (emoji, ¥, ‾), by kind in order of code point.
    QList<TCharacterCount> Referenced;
};

// The counts as a report lists them: "〜→～ 2, ¥ 1".
QString CharacterCounts(const QList<TCharacterCount> &counts);

// The days of one year as a window shows them, its unsaved text included.
struct TShownYear {
    int Year = 0;
    std::vector<TDayText> Days;
};

// Takes the days into the diary's store, a year at a time through TakeInVersion; the store must
// be active on the diary's folder. With the store's AutoSave on each year is saved as it is left
// (the ordinary save); with it off nothing is written. The store is back at its year after.
// A shown year given stands for that year's file: a report made before anything is saved says
// what taking the days into the window's year will do.
// Throws what the store's year switch and save throw.
QList<TYearOutcome> TakeInto(
    TKivDiary &store, const std::map<QDate, QString> &days, const TShownYear *shown = nullptr);

} // namespace diaryimport
