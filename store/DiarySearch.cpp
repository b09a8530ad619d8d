#include "DiarySearch.h"

#include "Cp932.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "KivDiary.h"
#include "Services.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace diarysearch {

namespace {

    // Half-width katakana and signs U+FF61..U+FF9F as their full-width forms.
    constexpr char16_t kHalfWidthKana[] = {
        u'。',
        u'「',
        u'」',
        u'、',
        u'・',
        u'ヲ',
        u'ァ',
        u'ィ',
        u'ゥ',
        u'ェ',
        u'ォ',
        u'ャ',
        u'ュ',
        u'ョ',
        u'ッ',
        u'ー',
        u'ア',
        u'イ',
        u'ウ',
        u'エ',
        u'オ',
        u'カ',
        u'キ',
        u'ク',
        u'ケ',
        u'コ',
        u'サ',
        u'シ',
        u'ス',
        u'セ',
        u'ソ',
        u'タ',
        u'チ',
        u'ツ',
        u'テ',
        u'ト',
        u'ナ',
        u'ニ',
        u'ヌ',
        u'ネ',
        u'ノ',
        u'ハ',
        u'ヒ',
        u'フ',
        u'ヘ',
        u'ホ',
        u'マ',
        u'ミ',
        u'ム',
        u'メ',
        u'モ',
        u'ヤ',
        u'ユ',
        u'ヨ',
        u'ラ',
        u'リ',
        u'ル',
        u'レ',
        u'ロ',
        u'ワ',
        u'ン',
        u'゛',
        u'゜',
    };
    static_assert(std::size(kHalfWidthKana) == 0xFF9F - 0xFF61 + 1);

    constexpr char16_t kVoicedMark = 0xFF9E;
    constexpr char16_t kSemiVoicedMark = 0xFF9F;

    // The letter with the voiced mark (ガ for カ), or 0 when it has none.
    char16_t voiced(char16_t kana)
    {
        if ((kana >= u'カ' && kana <= u'ト' && (kana - u'カ') % 2 == 0 && kana < u'ッ')
            || (kana >= u'ツ' && kana <= u'ト' && (kana - u'ツ') % 2 == 0))
            return kana + 1;
        if (kana >= u'ハ' && kana <= u'ホ' && (kana - u'ハ') % 3 == 0)
            return kana + 1;
        switch (kana) {
        case u'ウ':
            return u'ヴ';
        case u'ワ':
            return u'ヷ';
        case u'ヲ':
            return u'ヺ';
        default:
            return 0;
        }
    }

    char16_t semiVoiced(char16_t kana)
    {
        return kana >= u'ハ' && kana <= u'ホ' && (kana - u'ハ') % 3 == 0 ? kana + 2 : 0;
    }

    void foldAppend(QStringView text, QString &out, std::vector<qsizetype> *map)
    {
        const qsizetype base = out.size();
        out.resize(base + text.size());
        char16_t *dst = reinterpret_cast<char16_t *>(out.data()) + base;
        char16_t *const start = dst;
        const char16_t *src = text.utf16();
        const char16_t *const end = src + text.size();
        while (src < end) {
            if (map)
                map->push_back(src - text.utf16());
            char16_t c = *src++;
            if (c < 0x80) {
                if (c >= u'A' && c <= u'Z')
                    c += 0x20;
            } else if (c >= 0xFF01 && c <= 0xFF5E) {
                c -= 0xFEE0;
                if (c >= u'A' && c <= u'Z')
                    c += 0x20;
            } else if (c == 0x3000) {
                c = u' ';
            } else if (c >= 0xFF61 && c <= 0xFF9F) {
                c = kHalfWidthKana[c - 0xFF61];
                if (src < end && (*src == kVoicedMark || *src == kSemiVoicedMark)) {
                    const char16_t joined = *src == kVoicedMark ? voiced(c) : semiVoiced(c);
                    if (joined) {
                        c = joined;
                        ++src;
                    }
                }
            } else if (!QChar::isSurrogate(c)) {
                c = QChar::toCaseFolded(c);
            }
            *dst++ = c;
        }
        out.resize(base + (dst - start));
        if (map)
            map->push_back(text.size());
    }

    bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

    QList<TSpan> foldedHits(QStringView folded, const QStringList &words)
    {
        QList<TSpan> spans;
        for (const QString &word : words) {
            for (qsizetype p = folded.indexOf(word); p >= 0; p = folded.indexOf(word, p + 1))
                spans.append({ p, word.size() });
        }
        std::sort(spans.begin(), spans.end(),
            [](const TSpan &a, const TSpan &b) { return a.Start < b.Start; });
        QList<TSpan> joined;
        for (const TSpan &s : spans) {
            if (!joined.isEmpty() && s.Start <= joined.back().Start + joined.back().Length) {
                TSpan &last = joined.back();
                last.Length = std::max(last.Length, s.Start + s.Length - last.Start);
            } else {
                joined.append(s);
            }
        }
        return joined;
    }

    QString yearFileName(const QString &prefix, int year, const QString &ext)
    {
        return prefix + QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0')) + ext;
    }

} // namespace

QString Fold(QStringView text, std::vector<qsizetype> *map)
{
    QString out;
    if (map) {
        map->clear();
        map->reserve(static_cast<size_t>(text.size()) + 1);
    }
    foldAppend(text, out, map);
    return out;
}

TSearchQuery::TSearchQuery(QStringView typed)
{
    const QString folded = Fold(typed);
    qsizetype i = 0;
    while (i < folded.size()) {
        while (i < folded.size() && isBlank(folded[i]))
            ++i;
        const qsizetype start = i;
        while (i < folded.size() && !isBlank(folded[i]))
            ++i;
        if (i > start) {
            const QString word = folded.mid(start, i - start);
            if (!FWords.contains(word))
                FWords.append(word);
        }
    }
    std::stable_sort(FWords.begin(), FWords.end(),
        [](const QString &a, const QString &b) { return a.size() > b.size(); });
}

bool TSearchQuery::MatchesFolded(QStringView folded) const
{
    if (FWords.isEmpty())
        return false;
    return std::all_of(
        FWords.begin(), FWords.end(), [&](const QString &word) { return folded.contains(word); });
}

QList<TSpan> TSearchQuery::Hits(QStringView text) const
{
    std::vector<qsizetype> map;
    const QString folded = Fold(text, &map);
    QList<TSpan> spans = foldedHits(folded, FWords);
    for (TSpan &s : spans) {
        const qsizetype start = map[static_cast<size_t>(s.Start)];
        s = { start, map[static_cast<size_t>(s.Start + s.Length)] - start };
    }
    return spans;
}

QList<TYearFileRef> ListYearFiles(const QString &baseDir, const QString &prefix, const QString &ext)
{
    QList<TYearFileRef> files;
    const QDir dir(baseDir.isEmpty() ? QStringLiteral(".") : baseDir);
    const QStringList names
        = dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        if (name.size() != prefix.size() + 4 + ext.size() || !name.startsWith(prefix)
            || !name.endsWith(ext))
            continue;
        const QStringView digits = QStringView(name).mid(prefix.size(), 4);
        if (!std::all_of(
                digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
            continue;
        const int year = digits.toInt();
        // Checked against the store's own spelling, so that only a file the store would open
        // for that year is listed.
        if (year >= 1900 && yearFileName(prefix, year, ext) == name)
            files.append({ year, baseDir + name });
    }
    std::sort(files.begin(), files.end(),
        [](const TYearFileRef &a, const TYearFileRef &b) { return a.Year < b.Year; });
    return files;
}

std::vector<TDayEntry> ReadYearFile(
    const QString &baseDir, const QString &prefix, const QString &ext, int year)
{
    // A damaged day block is the business of whoever opens that year for writing; here it is
    // passed over in silence.
    const TYearContents contents
        = ReadYearFileAt(baseDir + yearFileName(prefix, year, ext), year).Contents;

    std::vector<TDayEntry> days;
    days.reserve(contents.Days.size());
    for (const TDayText &entry : contents.Days)
        days.push_back({ entry.FDate, cp932::Decode(entry.FText) });
    std::sort(days.begin(), days.end(),
        [](const TDayEntry &a, const TDayEntry &b) { return a.Date < b.Date; });
    return days;
}

TSearchHit Excerpt(double date, QStringView text, const TSearchQuery &query, qsizetype maxChars)
{
    TSearchHit hit;
    hit.Date = date;
    const QList<TSpan> spans = query.Hits(text);
    const qsizetype first = spans.isEmpty() ? 0 : spans.front().Start;
    qsizetype lineStart = first;
    while (lineStart > 0 && text[lineStart - 1] != u'\n' && text[lineStart - 1] != u'\r')
        --lineStart;
    qsizetype lineEnd = first;
    while (lineEnd < text.size() && text[lineEnd] != u'\n' && text[lineEnd] != u'\r')
        ++lineEnd;

    qsizetype from = lineStart;
    qsizetype to = lineEnd;
    QString head;
    QString tail;
    if (maxChars >= 0 && lineEnd - lineStart > maxChars) {
        from = std::max(lineStart, first - maxChars / 4);
        to = std::min(lineEnd, from + maxChars);
        from = std::max(lineStart, to - maxChars);
        if (from > lineStart)
            head = QStringLiteral("…");
        if (to < lineEnd)
            tail = QStringLiteral("…");
    }
    hit.Line = head + text.mid(from, to - from).toString() + tail;
    for (const TSpan &s : spans) {
        const qsizetype start = std::max(s.Start, from);
        const qsizetype end = std::min(s.Start + s.Length, to);
        if (start < end)
            hit.Marks.append({ start - from + head.size(), end - start });
    }
    return hit;
}

void TSearchIndex::SetFolder(const QString &baseDir, const QString &prefix, const QString &ext)
{
    if (baseDir == FBaseDir && prefix == FPrefix && ext == FExt)
        return;
    FBaseDir = baseDir;
    FPrefix = prefix;
    FExt = ext;
    FYears.clear();
    FFailed.clear();
    ClearLiveYear();
}

void TSearchIndex::Fill(TYearTexts &year, const std::vector<TDayEntry> &days)
{
    year.Text.clear();
    year.Folded.clear();
    year.Days.clear();
    qsizetype units = 0;
    for (const TDayEntry &day : days)
        units += day.Text.size();
    year.Text.reserve(units);
    year.Folded.reserve(units);
    year.Days.reserve(days.size());
    for (const TDayEntry &day : days) {
        const qsizetype textStart = year.Text.size();
        const qsizetype foldedStart = year.Folded.size();
        year.Text += day.Text;
        foldAppend(day.Text, year.Folded, nullptr);
        year.Days.push_back({ day.Date, { textStart, day.Text.size() },
            { foldedStart, year.Folded.size() - foldedStart } });
    }
    year.Text.squeeze();
    year.Folded.squeeze();
}

void TSearchIndex::SetLiveYear(const TKivDiary &store, const std::vector<TDayText> &shownDays)
{
    // A year whose file could not be read holds nothing; its file is then tried, and listed
    // as skipped, like any other unreadable year.
    if (!store.Active() || !store.LoadError().isEmpty()) {
        ClearLiveYear();
        return;
    }
    std::vector<std::pair<double, QByteArray>> texts;
    texts.reserve(shownDays.size());
    for (const TDayText &day : shownDays)
        texts.emplace_back(std::floor(day.FDate), day.FText);
    std::sort(
        texts.begin(), texts.end(), [](const auto &a, const auto &b) { return a.first < b.first; });

    // The year left behind keeps its texts for the calendar's marks; its file, saved at the
    // switch, is read again at the next search.
    if (FLiveYear && FLiveYear != store.Year()) {
        FLive.Seen = TFileIdentity();
        FYears[FLiveYear] = std::move(FLive);
        FLive = TYearTexts();
        FLiveYear = 0;
    }
    bool same
        = FLiveYear == store.Year() && FLive.Source.size() == static_cast<qsizetype>(texts.size());
    for (size_t i = 0; same && i < texts.size(); ++i) {
        same = FLive.Days[i].Date == texts[i].first
            && FLive.Source[static_cast<qsizetype>(i)] == texts[i].second;
    }
    if (!same) {
        std::vector<TDayEntry> days;
        days.reserve(texts.size());
        FLive.Source.clear();
        for (const auto &[date, bytes] : texts) {
            days.push_back({ date, cp932::Decode(bytes) });
            FLive.Source.append(bytes);
        }
        Fill(FLive, days);
    }
    FLiveYear = store.Year();
}

void TSearchIndex::ClearLiveYear()
{
    FLiveYear = 0;
    FLive = TYearTexts();
}

void TSearchIndex::SearchYear(const TYearTexts &year, const TSearchQuery &query, qsizetype maxChars,
    std::vector<TSearchHit> &hits)
{
    // Days are found by the longest word; the others are looked for only in those days.
    const QString &lead = query.Words().front();
    const QStringView folded(year.Folded);
    size_t day = 0;
    qsizetype pos = 0;
    while (day < year.Days.size()) {
        const qsizetype found = folded.indexOf(lead, pos);
        if (found < 0)
            break;
        while (day < year.Days.size()
            && year.Days[day].InFolded.Start + year.Days[day].InFolded.Length <= found)
            ++day;
        if (day == year.Days.size())
            break;
        const auto &d = year.Days[day];
        const qsizetype dayEnd = d.InFolded.Start + d.InFolded.Length;
        if (found + lead.size() > dayEnd) {
            // Runs on into the next day's text.
            pos = found + 1;
            continue;
        }
        if (query.MatchesFolded(folded.mid(d.InFolded.Start, d.InFolded.Length))) {
            hits.push_back(Excerpt(d.Date,
                QStringView(year.Text).mid(d.InText.Start, d.InText.Length), query, maxChars));
        }
        pos = dayEnd;
        ++day;
    }
}

TSearchResult TSearchIndex::Search(const TSearchQuery &query, qsizetype maxChars)
{
    TSearchResult result;
    if (query.IsEmpty())
        return result;

    const QList<TYearFileRef> files = ListYearFiles(FBaseDir, FPrefix, FExt);
    std::map<int, TYearTexts> kept;
    std::map<int, TSkippedFile> failed;
    for (const TYearFileRef &file : files) {
        if (file.Year == FLiveYear)
            continue;
        // The same identity as the store's: a change that put the time back is a change.
        const TFileIdentity seen = StatFile(file.Path);
        const auto known = FYears.find(file.Year);
        if (known != FYears.end() && seen.Exists && known->second.Seen.SameStat(seen)) {
            kept.insert(FYears.extract(known));
            continue;
        }
        try {
            TYearTexts year;
            Fill(year, ReadYearFile(FBaseDir, FPrefix, FExt, file.Year));
            year.Seen = seen;
            kept.emplace(file.Year, std::move(year));
        } catch (const Exception &e) {
            failed[file.Year] = { file.Path, e.Message() };
        } catch (const std::exception &e) {
            failed[file.Year] = { file.Path, QString::fromLocal8Bit(e.what()) };
        }
    }
    FYears = std::move(kept);
    FFailed = std::move(failed);

    for (const auto &[yearNumber, year] : FYears)
        SearchYear(year, query, maxChars, result.Hits);
    if (FLiveYear)
        SearchYear(FLive, query, maxChars, result.Hits);
    std::sort(result.Hits.begin(), result.Hits.end(),
        [](const TSearchHit &a, const TSearchHit &b) { return a.Date < b.Date; });
    for (const auto &[yearNumber, skipped] : FFailed)
        result.Skipped.append(skipped);
    return result;
}

std::vector<TSearchHit> TSearchIndex::SearchDays(
    const std::vector<TDayEntry> &days, const TSearchQuery &query, qsizetype maxChars)
{
    std::vector<TSearchHit> hits;
    if (query.IsEmpty())
        return hits;
    TYearTexts year;
    Fill(year, days);
    SearchYear(year, query, maxChars, hits);
    return hits;
}

bool TSearchIndex::HasText(QDate date) const
{
    const int yearNumber = date.year();
    const double day = DateToDayNumber(date);
    const TYearTexts *year = nullptr;
    if (yearNumber == FLiveYear) {
        year = &FLive;
    } else if (const auto it = FYears.find(yearNumber); it != FYears.end()) {
        year = &it->second;
    }
    if (!year)
        return false;
    const auto it = std::lower_bound(year->Days.begin(), year->Days.end(), day,
        [](const TYearTexts::TDay &d, double value) { return d.Date < value; });
    return it != year->Days.end() && it->Date == day && it->InText.Length > 0;
}

bool TSearchIndex::KnowsYear(int year) const { return year == FLiveYear || FYears.contains(year); }

qsizetype TSearchIndex::HeldUnits() const
{
    qsizetype units = FLive.Text.size() + FLive.Folded.size();
    for (const auto &[yearNumber, year] : FYears)
        units += year.Text.size() + year.Folded.size();
    return units;
}

} // namespace diarysearch
