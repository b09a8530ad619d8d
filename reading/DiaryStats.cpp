#include "DiaryStats.h"

#include "DayTexts.h"
#include "DiaryIdentity.h"
#include "Messages.h"
#include "Text.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cmath>

using namespace diarysearch;
using namespace Qt::StringLiterals;

namespace diarystats {

namespace {

    // English words that say nothing of a day, and the names of weekdays and months, which are
    // dates.
    const QSet<QString> &asciiLeftOut()
    {
        static const QSet<QString> words = [] {
            QSet<QString> set;
            for (const char *word :
                { "the", "and", "or", "but", "of", "to", "in", "on", "at", "for", "with", "from",
                    "by", "an", "is", "are", "was", "were", "be", "been", "it", "its", "this",
                    "that", "my", "me", "we", "our", "you", "he", "she", "they", "not", "no", "so",
                    "as", "if", "do", "did", "had", "has", "have", "am", "pm", "monday", "tuesday",
                    "wednesday", "thursday", "friday", "saturday", "sunday", "mon", "tue", "wed",
                    "thu", "fri", "sat", "sun", "january", "february", "march", "april", "may",
                    "june", "july", "august", "september", "october", "november", "december", "jan",
                    "feb", "mar", "apr", "jun", "jul", "aug", "sep", "oct", "nov", "dec" })
                set.insert(QString::fromLatin1(word));
            return set;
        }();
        return words;
    }

    // A run of kanji that only counts or names a time (十二月, 三日, 二〇二六年) is a date, and one
    // holding 曜 a weekday's name.
    bool isDateKanji(QStringView run)
    {
        static const QString counting = u"〇一二三四五六七八九十百千万年月日時分秒"_s;
        if (run.contains(u'曜'))
            return true;
        return std::all_of(run.begin(), run.end(), [](QChar c) { return counting.contains(c); });
    }

    // A line that is only a date, as a heading of the day written into its text ("## 2026/12/09
    // (水)", "12月9日 水曜日", "【2026-12-09】"); matched on the folded line.
    bool isDayHeading(const QString &folded)
    {
        static const QRegularExpression heading(
            uR"(^[#*>\-\s\[【■●◆]*(\d{2,4}\s*[/.\-年]\s*)?)"
            uR"(\d{1,2}\s*[/.\-月]\s*\d{1,2}\s*日?\s*)"
            uR"((\(\S{1,9}\)|\S曜日?|[a-z]{3,9})?[\s\]】]*$)"_s);
        return heading.match(folded).hasMatch();
    }

    enum class TKind { None, Kanji, Katakana, Latin };
    constexpr qsizetype kLongestWord = 24;

    TKind kindOf(char32_t c, TKind run)
    {
        // The prolonged sound mark and the voiced marks belong to the katakana before them.
        if ((c == U'ー' || c == U'ｰ' || c == U'ﾞ' || c == U'ﾟ') && run == TKind::Katakana)
            return TKind::Katakana;
        if ((c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'ａ' && c <= U'ｚ')
            || (c >= U'Ａ' && c <= U'Ｚ'))
            return TKind::Latin;
        if (((c >= U'0' && c <= U'9') || (c >= U'０' && c <= U'９')) && run == TKind::Latin)
            return TKind::Latin;
        switch (QChar::script(c)) {
        case QChar::Script_Han:
            return TKind::Kanji;
        case QChar::Script_Katakana:
            return TKind::Katakana;
        default:
            return TKind::None;
        }
    }

    struct TWordTally {
        QHash<QString, qsizetype> At; // folded word -> index in Words
        std::vector<TWordCount> Words;
    };

    void countWords(QStringView line, const QSet<QString> &leftOut, TWordTally &tally)
    {
        const auto take = [&](QStringView word, TKind kind) {
            // Runs longer than any word are addresses, codes or a key held down.
            if (word.size() < 2 || word.size() > kLongestWord || kind == TKind::None
                || (kind == TKind::Kanji && isDateKanji(word)))
                return;
            const QString key = Fold(word);
            if (leftOut.contains(key) || (kind == TKind::Latin && asciiLeftOut().contains(key)))
                return;
            auto at = tally.At.find(key);
            if (at == tally.At.end()) {
                at = tally.At.insert(key, qsizetype(tally.Words.size()));
                tally.Words.push_back({ word.toString(), 0 });
            }
            ++tally.Words[size_t(*at)].Count;
        };
        TKind run = TKind::None;
        qsizetype start = 0;
        for (qsizetype i = 0; i < line.size();) {
            const char32_t c = QChar::isHighSurrogate(line[i].unicode()) && i + 1 < line.size()
                ? QChar::surrogateToUcs4(line[i], line[i + 1])
                : line[i].unicode();
            const TKind kind = kindOf(c, run);
            if (kind != run) {
                take(line.mid(start, i - start), run);
                run = kind;
                start = i;
            }
            i += QChar::requiresSurrogates(c) ? 2 : 1;
        }
        take(line.mid(start), run);
    }

    QString thousands(qint64 number) { return QLocale(QLocale::Japanese).toString(number); }

    QString dateText(QDate date) { return FormatDate(u"yyyy/mm/dd"_s, date); }

} // namespace

int CharactersIn(QStringView text)
{
    int count = 0;
    for (const QChar c : text)
        count += c.isSpace() || c.isLowSurrogate() ? 0 : 1;
    return count;
}

int TYearFigures::CharactersOn(QDate day) const
{
    return day.year() == Year && size_t(day.dayOfYear() - 1) < Characters.size()
        ? Characters[size_t(day.dayOfYear() - 1)]
        : 0;
}

int TYearFigures::ShadeOf(int characters) const
{
    int shade = 0;
    for (int i = 0; i < 4 && characters > 0; ++i)
        shade = characters >= ShadeFloors[size_t(i)] ? i + 1 : shade;
    return shade;
}

TYearFigures MakeFigures(
    const TSearchIndex::TYearTexts &texts, int year, const QStringList &leftOut)
{
    TYearFigures figures;
    figures.Year = year;
    const QDate first(year, 1, 1);
    figures.Characters.assign(size_t(first.daysInYear()), 0);

    // The lines of each day of the year, trimmed, and on how many days each stands.
    std::vector<QStringList> dayLines;
    QHash<QString, int> daysOfLine;
    for (const TSearchIndex::TYearTexts::TDay &day : texts.Days) {
        const QDate date = DayNumberToDate(day.Date);
        if (date.year() != year)
            continue;
        const QStringView text = QStringView(texts.Text).mid(day.InText.Start, day.InText.Length);
        const int characters = CharactersIn(text);
        figures.Characters[size_t(date.dayOfYear() - 1)] += characters;
        QStringList lines;
        for (const QStringView line : text.split(u'\n')) {
            if (const QString trimmed = line.trimmed().toString(); !trimmed.isEmpty())
                lines << trimmed;
        }
        for (const QString &line : QSet<QString>(lines.begin(), lines.end()))
            ++daysOfLine[line];
        dayLines.push_back(std::move(lines));
    }

    std::vector<int> written;
    TStretch run, gap;
    QDate lastWritten;
    for (QDate day = first; day.year() == year; day = day.addDays(1)) {
        const int characters = figures.Characters[size_t(day.dayOfYear() - 1)];
        if (characters == 0) {
            run = {};
            continue;
        }
        written.push_back(characters);
        figures.Total += characters;
        figures.MonthTotals[size_t(day.month() - 1)] += characters;
        if (characters > figures.CharactersOn(figures.MostWrittenDay))
            figures.MostWrittenDay = day;
        run = run.Days ? TStretch { run.First, run.Days + 1 } : TStretch { day, 1 };
        if (run.Days > figures.LongestRun.Days)
            figures.LongestRun = run;
        if (lastWritten.isValid()) {
            gap = { lastWritten.addDays(1), int(lastWritten.daysTo(day)) - 1 };
            if (gap.Days > figures.LongestGap.Days)
                figures.LongestGap = gap;
        }
        lastWritten = day;
    }
    figures.DaysWritten = int(written.size());
    for (int month = 1; month <= 12 && figures.Total > 0; ++month) {
        if (figures.MonthTotals[size_t(month - 1)] > (figures.MostWrittenMonth
                    ? figures.MonthTotals[size_t(figures.MostWrittenMonth - 1)]
                    : 0))
            figures.MostWrittenMonth = month;
    }
    if (!written.empty()) {
        std::sort(written.begin(), written.end());
        for (size_t i = 1; i < 4; ++i)
            figures.ShadeFloors[i] = std::max(2, written[written.size() * i / 4]);
    }

    // A line standing alike on many days is a template's, not what the day says.
    const int templateDays = std::max(3, (figures.DaysWritten + 19) / 20);
    const QSet<QString> left(leftOut.begin(), leftOut.end());
    TWordTally tally;
    for (const QStringList &lines : dayLines) {
        for (const QString &line : lines) {
            if (daysOfLine.value(line) < templateDays && !isDayHeading(Fold(line)))
                countWords(line, left, tally);
        }
    }
    std::stable_sort(tally.Words.begin(), tally.Words.end(),
        [](const TWordCount &a, const TWordCount &b) { return a.Count > b.Count; });
    if (tally.Words.size() > size_t(kWordsShown))
        tally.Words.resize(size_t(kWordsShown));
    figures.Words = std::move(tally.Words);
    return figures;
}

QString LeftOutWordsPath() { return DiaryConfigFolder() + u"words-left-out"_s; }

QStringList ReadLeftOutWords()
{
    QFile file(LeftOutWordsPath());
    QStringList words;
    if (!file.open(QIODevice::ReadOnly))
        return words;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString word = line.section(u'#', 0, 0).trimmed();
        if (!word.isEmpty())
            words << Fold(word);
    }
    return words;
}

QStringList FactLines(const TYearFigures &figures)
{
    if (figures.DaysWritten == 0)
        return { Text(msg::kFiguresNone) };
    const auto stretch = [](const char *text, const TStretch &s) {
        return Text(text).arg(thousands(s.Days), dateText(s.First), dateText(s.Last()));
    };
    return {
        Text(msg::kFiguresDays).arg(thousands(figures.DaysWritten)),
        Text(msg::kFiguresCharacters).arg(thousands(figures.Total)),
        stretch(msg::kFiguresRun, figures.LongestRun),
        figures.LongestGap.Days ? stretch(msg::kFiguresGap, figures.LongestGap)
                                : Text(msg::kFiguresNoGap),
        Text(msg::kFiguresDay)
            .arg(DayHeading(DateToDayNumber(figures.MostWrittenDay)),
                thousands(figures.CharactersOn(figures.MostWrittenDay))),
        Text(msg::kFiguresMonth)
            .arg(QString::number(figures.MostWrittenMonth),
                thousands(figures.MonthTotals[size_t(figures.MostWrittenMonth - 1)])),
    };
}

QString ShadeRange(const TYearFigures &figures, int shade)
{
    if (shade <= 0)
        return Text(msg::kShadeNone);
    const int from = figures.ShadeFloors[size_t(shade - 1)];
    if (shade == 4)
        return Text(msg::kShadeFrom).arg(thousands(from));
    const int to = figures.ShadeFloors[size_t(shade)] - 1;
    // Shades that share a floor with the next: no day has them.
    return to < from ? QString() : Text(msg::kShadeRange).arg(thousands(from), thousands(to));
}

TFiguresCache::TFiguresPtr TFiguresCache::Find(
    int year, const TSearchIndex::TYearPtr &texts, const QStringList &leftOut) const
{
    const auto kept = FYears.find(year);
    if (!texts || kept == FYears.end() || kept->second.LeftOut != leftOut)
        return nullptr;
    const TSearchIndex::TYearTexts &was = *kept->second.Texts;
    // A year read again from the same file (the index let it go and read it anew) is the same.
    const bool same = kept->second.Texts == texts
        || (was.Seen.Exists && texts->Seen.Exists && was.Seen.SameStat(texts->Seen));
    return same ? kept->second.Figures : nullptr;
}

void TFiguresCache::Keep(
    int year, const TSearchIndex::TYearPtr &texts, const QStringList &leftOut, TFiguresPtr figures)
{
    FYears[year] = { texts, leftOut, std::move(figures) };
}

} // namespace diarystats
