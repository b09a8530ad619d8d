#pragma once

#include "DiarySearch.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <array>
#include <map>
#include <memory>
#include <vector>

// A year at a glance: how much was written day by day, the plain figures of the year and its
// most used words, made from the texts a search index holds. The window's year view and
// kivlog-cli stats show the same figures.
namespace diarystats {

// The characters written in a text: every character but blanks and line breaks; one beyond the
// basic plane (𠮷, an emoji) counts once.
int CharactersIn(QStringView text);

// Days in a row: the first and how many.
struct TStretch {
    QDate First;
    int Days = 0;
    QDate Last() const { return First.addDays(Days - 1); }
};

struct TWordCount {
    QString Word; // as first written
    int Count = 0;
};

// Words of the year shown at most.
inline constexpr int kWordsShown = 30;

struct TYearFigures {
    int Year = 0;
    // The characters of each day, 1 January first.
    std::vector<int> Characters;
    int DaysWritten = 0;
    qint64 Total = 0;
    TStretch LongestRun; // written days one after another
    TStretch LongestGap; // days without text between two written days
    QDate MostWrittenDay;
    int MostWrittenMonth = 0; // 1 to 12, 0 when nothing was written
    std::array<qint64, 12> MonthTotals {};
    // The shades of the days: a day with text has shade 1 to 4, the highest whose floor its
    // characters reach. The floors are the year's own quarters, so every year uses all four.
    std::array<int, 4> ShadeFloors { 1, 1, 1, 1 };
    std::vector<TWordCount> Words; // most used first, at most kWordsShown

    int CharactersOn(QDate day) const;
    int ShadeOf(int characters) const;
};

// The figures of a year's texts (days outside the year are not counted). leftOut holds the
// user's own words not to count, folded as the search folds.
TYearFigures MakeFigures(
    const diarysearch::TSearchIndex::TYearTexts &texts, int year, const QStringList &leftOut);

// The user's own words left out of the words of the year, kept on this machine only:
// $XDG_CONFIG_HOME/kivlog/words-left-out, one word a line (UTF-8), "#" begins a comment.
QString LeftOutWordsPath();
// The words of that file, folded; none when there is no file.
QStringList ReadLeftOutWords();

// The figures as lines to read, the same in the window and the tool: days written, characters,
// the longest run and gap, the most written day and month.
QStringList FactLines(const TYearFigures &figures);
// The range of characters a shade stands for, as the legend says it ("1～120字").
QString ShadeRange(const TYearFigures &figures, int shade);

// The figures of each year, made once for the texts they were made from: a year's figures are
// made again only when its file is another (its identity as the search index saw it) or, for
// the year the window holds, when its texts changed, or when the words left out did.
class TFiguresCache {
public:
    using TFiguresPtr = std::shared_ptr<const TYearFigures>;
    // The figures kept for these texts, or null.
    TFiguresPtr Find(int year, const diarysearch::TSearchIndex::TYearPtr &texts,
        const QStringList &leftOut) const;
    void Keep(int year, const diarysearch::TSearchIndex::TYearPtr &texts,
        const QStringList &leftOut, TFiguresPtr figures);

private:
    struct TKept {
        diarysearch::TSearchIndex::TYearPtr Texts;
        QStringList LeftOut;
        TFiguresPtr Figures;
    };
    std::map<int, TKept> FYears;
};

} // namespace diarystats
