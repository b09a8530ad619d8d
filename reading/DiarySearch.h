#pragma once

#include "DiskCopies.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class TDayText;
class TKivDiary;

// Finding words in the diary: the matching rules, the year files of a diary's folder, and an
// index of the decoded texts of the years it has read. The window and kivlog-cli both search
// through it; it never writes, locks or changes a year file.
namespace diarysearch {

// A stretch of a text: first unit and number of units.
struct TSpan {
    qsizetype Start = 0;
    qsizetype Length = 0;
    friend bool operator==(const TSpan &, const TSpan &) = default;
};

// The form texts are compared in: Latin letters in lower case, full-width letters, digits and
// signs as their ASCII forms, the ideographic space as a blank, katakana as hiragana, half-width
// katakana too, with a following voiced or semi-voiced sound mark joined to its letter (ｶﾞ and
// ガ are が). When map is given, it receives for every unit of the result the position in the
// text of the unit it came from, and one more entry: text.size().
QString Fold(QStringView text, std::vector<qsizetype> *map = nullptr);

// What the user typed: words separated by blanks (the ideographic one too), all of which must
// occur in a day's text, in any order.
class TSearchQuery {
public:
    TSearchQuery() = default;
    explicit TSearchQuery(QStringView typed);
    bool IsEmpty() const { return FWords.isEmpty(); }
    // The folded words, longest first: the longest is the rarest, and days are looked for by it.
    const QStringList &Words() const { return FWords; }
    // Whether every word occurs in the folded text.
    bool MatchesFolded(QStringView folded) const;
    // Whether every day this query finds is also found by wider: each of its words lies inside
    // one of these (a character added to a word, a word added).
    bool Narrows(const TSearchQuery &wider) const;
    bool Matches(QStringView text) const { return MatchesFolded(Fold(text)); }
    // Every occurrence of any word in the text, in text positions, in order; overlapping and
    // touching occurrences joined into one.
    QList<TSpan> Hits(QStringView text) const;

private:
    QStringList FWords;
};

// One year file of the folder: its year and its path.
struct TYearFileRef {
    int Year = 0;
    QString Path;
};

// The year files of a folder: entries named prefix + four-digit year (1900 or later) + extension,
// exactly as the store builds its file names, oldest first. baseDir, prefix and ext as a store
// holds them (a non-empty folder ends in "/"; an empty one is the current folder).
QList<TYearFileRef> ListYearFiles(
    const QString &baseDir, const QString &prefix, const QString &ext);

// One day's text, decoded; line breaks as the year file has them (CR LF).
struct TDayEntry {
    double Date = 0;
    QString Text;
};

// Reads a year file of the folder without writing anything (messages about damaged day blocks
// are dropped; the year still reads). Days in date order. Throws the store's exception when the
// file cannot be read as a year file of that year.
std::vector<TDayEntry> ReadYearFile(
    const QString &baseDir, const QString &prefix, const QString &ext, int year);

// A day that holds every word of the query.
struct TSearchHit {
    double Date = 0;
    // The line holding the first hit, shortened around it when excerpts are limited, and the
    // hits in it.
    QString Line;
    QList<TSpan> Marks;
};

// The excerpt of a text for a hit list: the line holding the first hit, and the hits on it.
// maxChars < 0 keeps the whole line; otherwise the line is cut to about that many characters,
// starting a little before the first hit, and "…" marks what was cut.
TSearchHit Excerpt(double date, QStringView text, const TSearchQuery &query, qsizetype maxChars);

// The same fitted to a room: the whole line when its width fits, otherwise the stretch around
// the first hit that fits with the two "…", the hit inside it after up to a quarter of the room.
// width measures a stretch of text in the room's unit.
TSearchHit FittedExcerpt(double date, QStringView text, const TSearchQuery &query, double room,
    const std::function<double(QStringView)> &width);

// A year file that could not be read: its path and the reason.
struct TSkippedFile {
    QString Path;
    QString Reason;
};

struct TSearchResult {
    std::vector<TSearchHit> Hits; // oldest first
    QList<TSkippedFile> Skipped;
};

// The decoded and folded texts of the years read so far. A year is read again only when its
// file changed (size or modification time) or went away; the loaded year of a window comes
// from its store and its editor instead, so unsaved text is found too.
class TSearchIndex {
public:
    // One year's texts. Never changed once made: a reader on another thread makes one, and the
    // days found keep the one they were found in.
    struct TYearTexts {
        // Every day's decoded text one after another, and the same folded; each day's stretch
        // in both.
        QString Text;
        QString Folded;
        struct TDay {
            double Date;
            TSpan InText;
            TSpan InFolded;
        };
        std::vector<TDay> Days;
        // What was read: the file as the store identifies it, or the store's texts.
        TFileIdentity Seen;
        QList<QByteArray> Source;
    };
    using TYearPtr = std::shared_ptr<const TYearTexts>;

    // A day that holds every word, and the year's texts it was found in.
    struct TFoundDay {
        double Date = 0;
        TYearPtr Year;
        size_t Day = 0;
        QStringView Text() const;
    };

    // A year file to be read: new, or changed since it was read.
    struct TYearToRead {
        int Year = 0;
        QString Path;
        TFileIdentity Seen;
        // The year now, taken where the list is made: the readers on other threads do not ask
        // the clock.
        int ThisYear = 0;
    };

    void SetFolder(const QString &baseDir, const QString &prefix, const QString &ext);
    // Counts the changes of folder, so that what was read for another one can be told apart.
    int FolderChanges() const { return FFolderChanges; }
    int LiveYear() const { return FLiveYear; }

    // The store's loaded year with the days the user sees in it, the editor's unsaved text laid
    // over them. Replaces that year's file for every search until ClearLiveYear.
    void SetLiveYear(const TKivDiary &store, const std::vector<TDayText> &shownDays);
    void ClearLiveYear();

    // Lists the folder, reads what is new or changed, and returns the days that hold every word.
    TSearchResult Search(const TSearchQuery &query, qsizetype maxChars = -1);

    // The same in steps, for a window that must not wait for the disk. Stale lists the folder
    // and looks at each year file without reading one: it forgets the years whose files went
    // away and returns those to read, newest first.
    std::vector<TYearToRead> Stale();
    // Reads a year file on any thread, touching no index; throws as ReadYearFile does.
    static TYearPtr ReadYear(const TYearToRead &file);
    // The same for one query only: days whose bytes cannot hold it are left out undecoded.
    static TYearPtr ReadYear(const TYearToRead &file, const TSearchQuery &only);
    // The excerpts of the days of a year file that hold every word, as Excerpt makes them from
    // the year read for the query, decoding only what may hold a word; throws as ReadYearFile.
    static std::vector<TSearchHit> SearchYear(
        const TYearToRead &file, const TSearchQuery &query, qsizetype maxChars);
    // Takes in a year read, or the reason it could not be.
    void Adopt(const TYearToRead &file, TYearPtr texts);
    void AdoptFailure(const TYearToRead &file, const QString &reason);
    // The days that hold every word, oldest first: in the years read and the live year, or in
    // one year's texts.
    std::vector<TFoundDay> Find(const TSearchQuery &query) const;
    static std::vector<TFoundDay> FindIn(const TYearPtr &year, const TSearchQuery &query);
    // The texts each year is searched in now: the years read and the live year.
    using TYearTextsMap = std::map<int, TYearPtr>;
    TYearTextsMap Searched() const;
    // Find for a query that narrows wider, whose days were found in the texts searchedThen:
    // only those days are looked at again in the years whose texts are still the same.
    std::vector<TFoundDay> FindNarrowing(const TSearchQuery &query,
        const std::vector<TFoundDay> &widerFound, const TYearTextsMap &searchedThen) const;
    // The year files that could not be read, oldest first.
    QList<TSkippedFile> Skipped() const;
    // The texts of a year as far as the index holds them (the live year's with unsaved text),
    // or null; never reads a file.
    TYearPtr YearTexts(int year) const;

    // Lists the folder and reads what is new or changed on this thread, as Search does first;
    // returns the year files that could not be read.
    QList<TSkippedFile> Refresh();
    // The years held, the live one among them, oldest first; never reads a file.
    QList<int> Years() const;
    // The decoded days of a held year in date order (none for a year not held).
    std::vector<TDayEntry> DaysOf(int year) const;
    // The decoded text of one day, empty when the day has none or its year is not held.
    QString DayText(QDate date) const;

    // Whether the day holds text, as far as the index knows: from the live year or from a year
    // file read for a search; never reads a file.
    bool HasText(QDate date) const;
    bool KnowsYear(int year) const;

    // Units of decoded and folded text held, for the memory figure of the benchmark.
    qsizetype HeldUnits() const;

private:
    static void Fill(TYearTexts &year, const std::vector<TDayEntry> &days);
    static void FindInto(
        const TYearPtr &year, const TSearchQuery &query, std::vector<TFoundDay> &found);

    QString FBaseDir;
    QString FPrefix;
    QString FExt;
    int FFolderChanges = 0;
    std::map<int, TYearPtr> FYears;
    struct TFailed {
        TSkippedFile File;
        TFileIdentity Seen;
    };
    std::map<int, TFailed> FFailed;
    // The live year: its number (0 for none) and its texts.
    int FLiveYear = 0;
    TYearPtr FLive;
};

// The excerpt of a day found, as Excerpt makes it.
TSearchHit Excerpt(
    const TSearchIndex::TFoundDay &day, const TSearchQuery &query, qsizetype maxChars);
TSearchHit FittedExcerpt(const TSearchIndex::TFoundDay &day, const TSearchQuery &query, double room,
    const std::function<double(QStringView)> &width);

} // namespace diarysearch
