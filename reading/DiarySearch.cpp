#include "DiarySearch.h"

#include "Cp932.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "FileReader.h"
#include "KivDiary.h"
#include "Services.h"
#include "YearFileName.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
    // From katakana ァ..ヶ to the hiragana of the same sound.
    constexpr char16_t kKatakanaToHiragana = u'ァ' - u'ぁ';

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

    // The folded form of one unit, where it does not depend on the next one.
    char16_t foldUnit(char16_t c)
    {
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
            if (c >= u'ァ' && c <= u'ヶ')
                c -= kKatakanaToHiragana;
        } else if (c >= u'ァ' && c <= u'ヶ') {
            c -= kKatakanaToHiragana;
        } else if (c >= 0x3000 && c < 0xA000) {
            // Kana and ideographs: nothing more to fold, and most of a diary's text.
        } else if (!QChar::isSurrogate(c)) {
            c = QChar::toCaseFolded(c);
        }
        return c;
    }

    // Every unit folded, made once: the text is folded through it in one pass.
    const char16_t *foldTable()
    {
        static const std::unique_ptr<char16_t[]> table = [] {
            auto units = std::make_unique<char16_t[]>(0x10000);
            for (char32_t c = 0; c < 0x10000; ++c)
                units[c] = foldUnit(char16_t(c));
            return units;
        }();
        return table.get();
    }

    void foldAppend(QStringView text, QString &out, std::vector<qsizetype> *map)
    {
        const char16_t *const table = foldTable();
        const qsizetype base = out.size();
        out.resize(base + text.size());
        char16_t *dst = reinterpret_cast<char16_t *>(out.data()) + base;
        char16_t *const start = dst;
        const char16_t *src = text.utf16();
        const char16_t *const end = src + text.size();
        while (src < end) {
            if (map)
                map->push_back(src - text.utf16());
            const char16_t c = *src++;
            char16_t folded = table[c];
            // A half-width letter and its voiced or semi-voiced sound mark are one letter.
            if (c >= 0xFF61 && c <= 0xFF9F && src < end
                && (*src == kVoicedMark || *src == kSemiVoicedMark)) {
                const char16_t katakana = kHalfWidthKana[c - 0xFF61];
                const char16_t joined
                    = *src == kVoicedMark ? voiced(katakana) : semiVoiced(katakana);
                if (joined) {
                    folded = foldUnit(joined);
                    ++src;
                }
            }
            *dst++ = folded;
        }
        out.resize(base + (dst - start));
        if (map)
            map->push_back(text.size());
    }

    // Where word occurs in folded text at or after from, or -1: exact units, the first one
    // looked for eight at a time.
    qsizetype find(QStringView text, QStringView word, qsizetype from = 0)
    {
        const qsizetype n = word.size();
        const qsizetype last = text.size() - n;
        if (n == 0)
            return from <= text.size() ? from : -1;
        const char16_t *const t = text.utf16();
        const char16_t *const w = word.utf16();
        const auto restMatches = [&](qsizetype at) {
            return std::memcmp(t + at + 1, w + 1, size_t(n - 1) * sizeof(char16_t)) == 0;
        };
        qsizetype i = std::max<qsizetype>(from, 0);
#ifdef __SSE2__
        const __m128i firstUnit = _mm_set1_epi16(static_cast<short>(w[0]));
        for (; i + 7 <= last; i += 8) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + i));
            for (unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(block, firstUnit)));
                 mask; mask &= mask - 1) {
                const int bit = __builtin_ctz(mask);
                mask &= ~(1u << bit); // each unit is two bits
                if (restMatches(i + bit / 2))
                    return i + bit / 2;
            }
        }
#endif
        for (; i <= last; ++i) {
            if (t[i] == w[0] && restMatches(i))
                return i;
        }
        return -1;
    }

    bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

    QList<TSpan> foldedHits(QStringView folded, const QStringList &words)
    {
        QList<TSpan> spans;
        for (const QString &word : words) {
            for (qsizetype p = find(folded, word); p >= 0; p = find(folded, word, p + 1))
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
        FWords.begin(), FWords.end(), [&](const QString &word) { return find(folded, word) >= 0; });
}

bool TSearchQuery::Narrows(const TSearchQuery &wider) const
{
    if (FWords.isEmpty() || wider.FWords.isEmpty())
        return false;
    return std::all_of(wider.FWords.begin(), wider.FWords.end(), [this](const QString &wide) {
        return std::any_of(FWords.begin(), FWords.end(),
            [&wide](const QString &word) { return word.contains(wide); });
    });
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
    const TYearFileName yearFiles { prefix, ext };
    for (const QString &name : names) {
        // Only a file the store would open for its year is listed.
        const std::optional<int> year = yearFiles.YearOf(name);
        if (year && *year >= 1900)
            files.append({ *year, baseDir + name });
    }
    std::sort(files.begin(), files.end(),
        [](const TYearFileRef &a, const TYearFileRef &b) { return a.Year < b.Year; });
    return files;
}

namespace {

    std::vector<TDayEntry> readDays(const QString &path, int year)
    {
        // A damaged day block is the business of whoever opens that year for writing; here it
        // is passed over in silence.
        const TYearContents contents = ReadYearFileAt(path, year).Contents;
        std::vector<TDayEntry> days;
        days.reserve(contents.Days.size());
        for (const TDayText &entry : contents.Days)
            days.push_back({ entry.FDate, cp932::Decode(entry.FText) });
        std::sort(days.begin(), days.end(),
            [](const TDayEntry &a, const TDayEntry &b) { return a.Date < b.Date; });
        return days;
    }

} // namespace

std::vector<TDayEntry> ReadYearFile(
    const QString &baseDir, const QString &prefix, const QString &ext, int year)
{
    return readDays(baseDir + TYearFileName { prefix, ext }.Of(year), year);
}

namespace {

    // The first hit's line: its start and end in the text.
    std::pair<qsizetype, qsizetype> lineAround(QStringView text, qsizetype at)
    {
        qsizetype lineStart = at;
        while (lineStart > 0 && text[lineStart - 1] != u'\n' && text[lineStart - 1] != u'\r')
            --lineStart;
        qsizetype lineEnd = at;
        while (lineEnd < text.size() && text[lineEnd] != u'\n' && text[lineEnd] != u'\r')
            ++lineEnd;
        return { lineStart, lineEnd };
    }

    // The stretch [from, to) of the line [lineStart, lineEnd), "…" where it was cut, and the
    // hits inside it.
    TSearchHit cutLine(double date, QStringView text, const QList<TSpan> &spans,
        std::pair<qsizetype, qsizetype> line, qsizetype from, qsizetype to)
    {
        TSearchHit hit;
        hit.Date = date;
        const QString head = from > line.first ? QStringLiteral("…") : QString();
        const QString tail = to < line.second ? QStringLiteral("…") : QString();
        hit.Line = head + text.mid(from, to - from).toString() + tail;
        for (const TSpan &s : spans) {
            const qsizetype start = std::max(s.Start, from);
            const qsizetype end = std::min(s.Start + s.Length, to);
            if (start < end)
                hit.Marks.append({ start - from + head.size(), end - start });
        }
        return hit;
    }

    TSearchHit excerptOf(
        double date, QStringView text, const QList<TSpan> &spans, qsizetype maxChars)
    {
        const qsizetype first = spans.isEmpty() ? 0 : spans.front().Start;
        const auto line = lineAround(text, first);
        qsizetype from = line.first;
        qsizetype to = line.second;
        if (maxChars >= 0 && to - from > maxChars) {
            from = std::max(line.first, first - maxChars / 4);
            to = std::min(line.second, from + maxChars);
            from = std::max(line.first, to - maxChars);
        }
        return cutLine(date, text, spans, line, from, to);
    }

    TSearchHit fittedExcerptOf(double date, QStringView text, const QList<TSpan> &spans,
        double room, const std::function<double(QStringView)> &width)
    {
        const qsizetype first = spans.isEmpty() ? 0 : spans.front().Start;
        const qsizetype firstEnd = spans.isEmpty() ? 0 : first + spans.front().Length;
        const auto line = lineAround(text, first);
        // Lines wider than any row are measured only around the hit.
        constexpr qsizetype kMeasured = 512;
        if (line.second - line.first <= 2 * kMeasured
            && width(text.mid(line.first, line.second - line.first)) <= room)
            return cutLine(date, text, spans, line, line.first, line.second);
        auto lo = std::max(line.first, first - kMeasured);
        lo += lo > line.first && text[lo].isLowSurrogate() ? 1 : 0;
        const qsizetype hi = std::min(line.second, firstEnd + kMeasured);

        // Each unit's advance, a surrogate pair's on its first unit, and the room less the two "…".
        std::vector<double> advance(static_cast<size_t>(hi - lo), 0.0);
        for (qsizetype i = lo; i < hi; ++i) {
            const qsizetype units = text[i].isHighSurrogate() && i + 1 < hi ? 2 : 1;
            advance[static_cast<size_t>(i - lo)] = width(text.mid(i, units));
            i += units - 1;
        }
        const auto at = [&](qsizetype pos) { return advance[static_cast<size_t>(pos - lo)]; };
        const double left = room - 2 * width(u"…");
        // The text before the hit takes up to a quarter of the row, less when the hit is wide.
        double hitWidth = 0;
        for (qsizetype i = first; i < firstEnd; ++i)
            hitWidth += at(i);
        double before = std::max(0.0, std::min(left / 4, left - hitWidth));
        const auto previous = [&](qsizetype pos) {
            return pos - (text[pos - 1].isLowSurrogate() && pos - 1 > lo ? 2 : 1);
        };
        qsizetype from = first;
        while (from > lo && at(previous(from)) <= before) {
            from = previous(from);
            before -= at(from);
        }
        double used = 0;
        qsizetype to = from;
        while (to < hi && used + at(to) <= left) {
            used += at(to);
            to += text[to].isHighSurrogate() && to + 1 < hi ? 2 : 1;
        }
        // Room left at the end goes to the text before the hit.
        while (to == hi && from > lo && used + at(previous(from)) <= left) {
            from = previous(from);
            used += at(from);
        }
        return cutLine(date, text, spans, line, from, std::max(to, from));
    }

    // The hits of a day on the line of its first hit, which is all an excerpt shows (no word
    // holds a line break), from its folded text when folding kept every position.
    QList<TSpan> hitsOf(QStringView text, QStringView folded, const TSearchQuery &query)
    {
        if (folded.size() != text.size())
            return query.Hits(text);
        qsizetype first = -1;
        for (const QString &word : query.Words()) {
            const qsizetype at = find(folded, word);
            first = at >= 0 && (first < 0 || at < first) ? at : first;
        }
        if (first < 0)
            return {};
        const auto [lineStart, lineEnd] = lineAround(folded, first);
        QList<TSpan> spans = foldedHits(folded.mid(lineStart, lineEnd - lineStart), query.Words());
        for (TSpan &span : spans)
            span.Start += lineStart;
        return spans;
    }

    QList<TSpan> dayHits(const TSearchIndex::TFoundDay &day, const TSearchQuery &query)
    {
        const auto &d = day.Year->Days[day.Day];
        return hitsOf(day.Text(),
            QStringView(day.Year->Folded).mid(d.InFolded.Start, d.InFolded.Length), query);
    }

} // namespace

TSearchHit Excerpt(double date, QStringView text, const TSearchQuery &query, qsizetype maxChars)
{
    return excerptOf(date, text, query.Hits(text), maxChars);
}

TSearchHit FittedExcerpt(double date, QStringView text, const TSearchQuery &query, double room,
    const std::function<double(QStringView)> &width)
{
    return fittedExcerptOf(date, text, query.Hits(text), room, width);
}

QStringView TSearchIndex::TFoundDay::Text() const
{
    const TSpan &span = Year->Days[Day].InText;
    return QStringView(Year->Text).mid(span.Start, span.Length);
}

TSearchHit Excerpt(
    const TSearchIndex::TFoundDay &day, const TSearchQuery &query, qsizetype maxChars)
{
    return excerptOf(day.Date, day.Text(), dayHits(day, query), maxChars);
}

TSearchHit FittedExcerpt(const TSearchIndex::TFoundDay &day, const TSearchQuery &query, double room,
    const std::function<double(QStringView)> &width)
{
    return fittedExcerptOf(day.Date, day.Text(), dayHits(day, query), room, width);
}

void TSearchIndex::SetFolder(const QString &baseDir, const QString &prefix, const QString &ext)
{
    if (baseDir == FBaseDir && prefix == FPrefix && ext == FExt)
        return;
    FBaseDir = baseDir;
    FPrefix = prefix;
    FExt = ext;
    ++FFolderChanges;
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
    // switch, is read again at the next search (its identity no longer matches).
    if (FLiveYear && FLiveYear != store.Year()) {
        if (FLive) {
            auto left = std::make_shared<TYearTexts>(*FLive);
            left->Seen = TFileIdentity();
            FYears[FLiveYear] = std::move(left);
        }
        FLive.reset();
        FLiveYear = 0;
    }
    bool same = FLive && FLiveYear == store.Year()
        && FLive->Source.size() == static_cast<qsizetype>(texts.size());
    for (size_t i = 0; same && i < texts.size(); ++i) {
        same = FLive->Days[i].Date == texts[i].first
            && FLive->Source[static_cast<qsizetype>(i)] == texts[i].second;
    }
    if (!same) {
        auto live = std::make_shared<TYearTexts>();
        std::vector<TDayEntry> days;
        days.reserve(texts.size());
        for (const auto &[date, bytes] : texts) {
            days.push_back({ date, cp932::Decode(bytes) });
            live->Source.append(bytes);
        }
        Fill(*live, days);
        FLive = std::move(live);
    }
    FLiveYear = store.Year();
}

void TSearchIndex::ClearLiveYear()
{
    FLiveYear = 0;
    FLive.reset();
}

void TSearchIndex::FindInto(
    const TYearPtr &year, const TSearchQuery &query, std::vector<TFoundDay> &found)
{
    if (query.IsEmpty())
        return;
    // Days are found by the longest word; the others are looked for only in those days.
    const QString &lead = query.Words().front();
    const QStringView folded(year->Folded);
    const auto &days = year->Days;
    size_t day = 0;
    qsizetype pos = 0;
    while (day < days.size()) {
        const qsizetype at = find(folded, lead, pos);
        if (at < 0)
            break;
        while (day < days.size() && days[day].InFolded.Start + days[day].InFolded.Length <= at)
            ++day;
        if (day == days.size())
            break;
        const auto &d = days[day];
        const qsizetype dayEnd = d.InFolded.Start + d.InFolded.Length;
        if (at + lead.size() > dayEnd) {
            // Runs on into the next day's text.
            pos = at + 1;
            continue;
        }
        if (query.Words().size() == 1
            || query.MatchesFolded(folded.mid(d.InFolded.Start, d.InFolded.Length)))
            found.push_back({ d.Date, year, day });
        pos = dayEnd;
        ++day;
    }
}

std::vector<TSearchIndex::TFoundDay> TSearchIndex::FindIn(
    const TYearPtr &year, const TSearchQuery &query)
{
    std::vector<TFoundDay> found;
    if (year)
        FindInto(year, query, found);
    return found;
}

std::vector<TSearchIndex::TFoundDay> TSearchIndex::Find(const TSearchQuery &query) const
{
    std::vector<TFoundDay> found;
    for (const auto &[yearNumber, year] : FYears) {
        if (yearNumber != FLiveYear)
            FindInto(year, query, found);
    }
    if (FLive)
        FindInto(FLive, query, found);
    std::sort(found.begin(), found.end(),
        [](const TFoundDay &a, const TFoundDay &b) { return a.Date < b.Date; });
    return found;
}

TSearchIndex::TYearTextsMap TSearchIndex::Searched() const
{
    TYearTextsMap years = FYears;
    if (FLive)
        years[FLiveYear] = FLive;
    return years;
}

std::vector<TSearchIndex::TFoundDay> TSearchIndex::FindNarrowing(const TSearchQuery &query,
    const std::vector<TFoundDay> &widerFound, const TYearTextsMap &searchedThen) const
{
    std::vector<TFoundDay> found;
    if (query.IsEmpty())
        return found;
    const TYearTextsMap now = Searched();
    const auto unchanged = [&](int year, const TYearPtr &texts) {
        const auto then = searchedThen.find(year);
        return then != searchedThen.end() && then->second == texts;
    };
    // The days come year by year: whether a year's texts are still those is asked once.
    const TYearTexts *lastYear = nullptr;
    bool keep = false;
    for (const TFoundDay &day : widerFound) {
        if (day.Year.get() != lastYear) {
            lastYear = day.Year.get();
            const int year = DayNumberToDate(day.Date).year();
            const auto held = now.find(year);
            keep = held != now.end() && held->second == day.Year && unchanged(year, day.Year);
        }
        const auto &span = day.Year->Days[day.Day].InFolded;
        if (keep && query.MatchesFolded(QStringView(day.Year->Folded).mid(span.Start, span.Length)))
            found.push_back(day);
    }
    for (const auto &[year, texts] : now) {
        if (!unchanged(year, texts))
            FindInto(texts, query, found);
    }
    std::sort(found.begin(), found.end(),
        [](const TFoundDay &a, const TFoundDay &b) { return a.Date < b.Date; });
    return found;
}

std::vector<TSearchIndex::TYearToRead> TSearchIndex::Stale()
{
    std::vector<TYearToRead> stale;
    const int thisYear = DiaryNow().date().year();
    std::map<int, TYearPtr> kept;
    std::map<int, TFailed> failed;
    for (const TYearFileRef &file : ListYearFiles(FBaseDir, FPrefix, FExt)) {
        if (file.Year == FLiveYear)
            continue;
        // The same identity as the store's: a change that put the time back is a change.
        const TFileIdentity seen = StatFile(file.Path);
        const auto known = FYears.find(file.Year);
        if (known != FYears.end() && seen.Exists && known->second->Seen.SameStat(seen)) {
            kept.insert(FYears.extract(known));
            continue;
        }
        // A file that could not be read is tried again once it changed.
        const auto refused = FFailed.find(file.Year);
        if (refused != FFailed.end() && seen.Exists && refused->second.Seen.SameStat(seen)) {
            failed.insert(FFailed.extract(refused));
            continue;
        }
        // Until read again, a changed year still answers with what it held.
        if (known != FYears.end())
            kept.insert(FYears.extract(known));
        stale.push_back({ file.Year, file.Path, seen, thisYear });
    }
    FYears = std::move(kept);
    FFailed = std::move(failed);
    std::reverse(stale.begin(), stale.end());
    return stale;
}

namespace {

    // Decodes bytes into text and folds them into folded in one pass, each with room for
    // bytes.size() units; returns the units of each written. A text with "&" takes the
    // decoder's own way, which reads character references.
    std::pair<qsizetype, qsizetype> decodeFolded(
        QByteArrayView bytes, char16_t *text, char16_t *folded)
    {
        if (bytes.contains('&')) {
            const qsizetype units = cp932::DecodeInto(bytes, text);
            QString out;
            foldAppend(QStringView(text, units), out, nullptr);
            std::copy(out.utf16(), out.utf16() + out.size(), folded);
            return { units, out.size() };
        }
        const cp932::TDecodeTables table = cp932::DecodeTables();
        const char16_t *const single = table.Single;
        const char16_t *const pairs = table.Pair;
        const char16_t *const fold = foldTable();
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
        const auto *const end = p + bytes.size();
        char16_t *t = text;
        char16_t *f = folded;
        while (p < end) {
            const unsigned char b = *p;
            char16_t c = b;
            // Most of a diary is double-byte characters, taken first (a byte below 0x80 or one
            // that stands alone makes no pair).
            if (end - p > 1 && (c = pairs[size_t(b) << 8 | p[1]])) {
                p += 2;
                *t++ = c;
                *f++ = fold[c];
                continue;
            }
            c = b;
            if (b < 0x80) {
                ++p;
            } else if ((c = single[b])) {
                ++p;
                // A half-width letter and its voiced or semi-voiced sound mark are one letter.
                if (c >= 0xFF61 && c <= 0xFF9D && p < end
                    && (single[*p] == kVoicedMark || single[*p] == kSemiVoicedMark)) {
                    const char16_t katakana = kHalfWidthKana[c - 0xFF61];
                    const char16_t mark = single[*p];
                    if (const char16_t joined
                        = mark == kVoicedMark ? voiced(katakana) : semiVoiced(katakana)) {
                        *t++ = c;
                        *t++ = mark;
                        ++p;
                        *f++ = fold[joined];
                        continue;
                    }
                }
            } else {
                c = u'\uFFFD';
                ++p;
            }
            *t++ = c;
            *f++ = fold[c];
        }
        return { t - text, f - folded };
    }

} // namespace

namespace {

    // The byte forms of every folded letter, made once: each single byte, each double-byte pair
    // and each half-width letter with its sound mark, by the letter it folds to. A letter found
    // in a text that holds no "&" came from one of its forms.
    struct TByteForm {
        char16_t Letter;
        std::uint8_t Length;
        std::array<char, 2> Bytes;
        bool operator<(const TByteForm &other) const { return Letter < other.Letter; }
    };

    const std::vector<TByteForm> &formsOfLetters()
    {
        static const std::vector<TByteForm> forms = [] {
            std::vector<TByteForm> f;
            const cp932::TDecodeTables table = cp932::DecodeTables();
            const char16_t *const fold = foldTable();
            const auto add = [&](char16_t unit, int length, int first, int second) {
                f.push_back({ fold[unit], std::uint8_t(length), { char(first), char(second) } });
            };
            for (int b = 0; b < 0x80; ++b)
                add(char16_t(b), 1, b, 0);
            for (int b = 0x80; b < 0x100; ++b) {
                if (table.Single[b])
                    add(table.Single[b], 1, b, 0);
            }
            for (int b = 0x80; b < 0x100; ++b) {
                const char16_t c = table.Single[b];
                if (c < 0xFF61 || c > 0xFF9D)
                    continue;
                const char16_t katakana = kHalfWidthKana[c - 0xFF61];
                for (int mark = 0x80; mark < 0x100; ++mark) {
                    if (table.Single[mark] == kVoicedMark && voiced(katakana))
                        add(voiced(katakana), 2, b, mark);
                    if (table.Single[mark] == kSemiVoicedMark && semiVoiced(katakana))
                        add(semiVoiced(katakana), 2, b, mark);
                }
            }
            for (int lead = 0x80; lead < 0x100; ++lead) {
                for (int trail = 0; !table.Single[lead] && trail < 0x100; ++trail) {
                    if (const char16_t unit = table.Pair[lead * 256 + trail])
                        add(unit, 2, lead, trail);
                }
            }
            std::stable_sort(f.begin(), f.end());
            return f;
        }();
        return forms;
    }

    // Where form stands in bytes at or after from, or -1; a pair looked for sixteen places at
    // a time.
    qsizetype findForm(QByteArrayView bytes, const TByteForm &form, qsizetype from)
    {
        const char *const start = bytes.data();
        const char *p = start + from;
        const char *const end = start + bytes.size();
        if (form.Length == 1) {
            const void *at = p < end ? std::memchr(p, form.Bytes[0], size_t(end - p)) : nullptr;
            return at ? static_cast<const char *>(at) - start : -1;
        }
        const char lead = form.Bytes[0];
        const char trail = form.Bytes[1];
#ifdef __SSE2__
        const __m128i leads = _mm_set1_epi8(lead);
        const __m128i trails = _mm_set1_epi8(trail);
        for (; end - p >= 17; p += 16) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
            if (const int mask = _mm_movemask_epi8(
                    _mm_and_si128(_mm_cmpeq_epi8(here, leads), _mm_cmpeq_epi8(after, trails))))
                return p - start + __builtin_ctz(unsigned(mask));
        }
#endif
        for (; end - p >= 2; ++p) {
            if (p[0] == lead && p[1] == trail)
                return p - start;
        }
        return -1;
    }

    // One folded word as the bytes of a text without "&" may spell it: each letter in any of
    // its forms. Looked for by the letter whose forms should turn up least, then the letters
    // around it. A byte match may lie across characters (a single byte is also the second byte
    // of many pairs): it only tells which line to decode.
    class TByteWord {
    public:
        explicit TByteWord(QStringView word)
        {
            const std::vector<TByteForm> &forms = formsOfLetters();
            int bestCost = 0;
            for (const QChar letter : word) {
                const char16_t c = letter.unicode();
                // A byte that decodes to nothing could stand for U+FFFD anywhere.
                if (c == u'\uFFFD')
                    FFilters = false;
                const auto range
                    = std::equal_range(forms.begin(), forms.end(), TByteForm { c, 0, {} });
                FLetters.emplace_back(forms.data() + (range.first - forms.begin()),
                    size_t(range.second - range.first));
                int cost = 0;
                for (const TByteForm &form : FLetters.back())
                    cost += formCost(form);
                if (FLetters.size() == 1 || cost < bestCost) {
                    bestCost = cost;
                    FAnchor = FLetters.size() - 1;
                }
            }
            FFilters = FFilters && !FLetters.empty();
        }

        // Takes as the anchor the letter whose forms turn up least often in sample, a stretch of
        // the text to be searched: how often a byte stands in a text depends on the text.
        void ChooseAnchor(QByteArrayView sample)
        {
            qsizetype fewest = -1;
            for (size_t i = 0; i < FLetters.size(); ++i) {
                qsizetype count = 0;
                for (const TByteForm &form : FLetters[i]) {
                    for (qsizetype at = findForm(sample, form, 0); at >= 0 && count != fewest;
                         at = findForm(sample, form, at + 1))
                        ++count;
                }
                if (fewest < 0 || count < fewest) {
                    fewest = count;
                    FAnchor = i;
                }
            }
        }

        // Whether the word can be looked for in bytes; otherwise every text may hold it.
        bool Filters() const { return FFilters; }

        // The start of the anchor letter's form in the first match at or after from, or -1.
        qsizetype Find(QByteArrayView bytes, qsizetype from) const
        {
            const TForms anchor = FLetters[FAnchor];
            // Where each form of the anchor is next, looked for again only once passed.
            constexpr size_t kKept = 8;
            std::array<qsizetype, kKept> next;
            next.fill(-2);
            for (;;) {
                qsizetype best = -1;
                for (size_t i = 0; i < anchor.size(); ++i) {
                    qsizetype at;
                    if (i < kKept) {
                        if (next[i] != -1 && next[i] < from)
                            next[i] = findForm(bytes, anchor[i], from);
                        at = next[i];
                    } else {
                        at = findForm(bytes, anchor[i], from);
                    }
                    if (at >= 0 && (best < 0 || at < best))
                        best = at;
                }
                if (best < 0)
                    return -1;
                // Every form of the anchor at that place, the pair or the single byte.
                for (const TByteForm &form : anchor) {
                    if (startsWith(bytes, best, form) && matchesBefore(bytes, best, FAnchor)
                        && matchesAfter(bytes, best + form.Length, FAnchor + 1))
                        return best;
                }
                from = best + 1;
            }
        }

        bool In(QByteArrayView bytes) const { return Find(bytes, 0) >= 0; }

    private:
        using TForms = std::span<const TByteForm>;

        // How often a form is to be met in a diary's bytes, roughly: a single byte is also the
        // second byte of many pairs, kana and signs fill most of a text.
        static int formCost(const TByteForm &form)
        {
            if (form.Length == 1)
                return 16;
            const auto lead = static_cast<unsigned char>(form.Bytes[0]);
            if (lead == 0x81 || lead == 0x82 || lead == 0x83)
                return 4;
            return lead < 0xE0 && lead >= 0xA1 ? 3 : 1;
        }

        static bool startsWith(QByteArrayView bytes, qsizetype at, const TByteForm &form)
        {
            return at >= 0 && at + form.Length <= bytes.size() && bytes[at] == form.Bytes[0]
                && (form.Length == 1 || bytes[at + 1] == form.Bytes[1]);
        }

        // Whether letters [0, letter) end at end.
        bool matchesBefore(QByteArrayView bytes, qsizetype end, size_t letter) const
        {
            if (letter == 0)
                return true;
            for (const TByteForm &form : FLetters[letter - 1]) {
                if (startsWith(bytes, end - form.Length, form)
                    && matchesBefore(bytes, end - form.Length, letter - 1))
                    return true;
            }
            return false;
        }

        // Whether letters [letter, size) start at start.
        bool matchesAfter(QByteArrayView bytes, qsizetype start, size_t letter) const
        {
            if (letter == FLetters.size())
                return true;
            for (const TByteForm &form : FLetters[letter]) {
                if (startsWith(bytes, start, form)
                    && matchesAfter(bytes, start + form.Length, letter + 1))
                    return true;
            }
            return false;
        }

        std::vector<TForms> FLetters;
        size_t FAnchor = 0;
        bool FFilters = true;
    };

    // The words of a query as bytes, for texts without "&".
    std::vector<TByteWord> byteWords(const TSearchQuery &query)
    {
        std::vector<TByteWord> words;
        for (const QString &word : query.Words())
            words.emplace_back(word);
        return words;
    }

    // Whether bytes may hold every word: bytes with "&" always may, a character reference in
    // them reading as any letter. A match found across characters only costs a decode.
    bool mayHold(QByteArrayView bytes, const std::vector<TByteWord> &words)
    {
        if (words.empty() || std::memchr(bytes.data(), '&', size_t(bytes.size())))
            return true;
        return std::all_of(words.begin(), words.end(),
            [&](const TByteWord &word) { return !word.Filters() || word.In(bytes); });
    }

    // The year's contents, or none when the query cannot be in the file: a file that spells no
    // word in any form is not taken apart, once its header has been checked as the reader
    // checks it (an unreadable year is named whatever the query).
    TYearContents contentsFor(const TSearchIndex::TYearToRead &file, std::vector<TByteWord> &words)
    {
        const bool filters = std::any_of(
            words.begin(), words.end(), [](const TByteWord &word) { return word.Filters(); });
        if (!filters || !QFileInfo::exists(file.Path))
            return ReadYearFileAt(file.Path, file.Year, file.ThisYear).Contents;
        const QByteArray bytes = ReadWholeFile(file.Path);
        CheckYearFileHeader(bytes, file.Year);
        constexpr qsizetype kSample = 4096;
        for (TByteWord &word : words)
            word.ChooseAnchor(QByteArrayView(bytes).first(std::min(bytes.size(), kSample)));
        if (!mayHold(bytes, words))
            return {};
        return ReadYearFile(
            bytes, file.Year, file.ThisYear != 0 ? file.ThisYear : DiaryNow().date().year())
            .Contents;
    }

    // The days of the contents that may hold every word, in date order.
    std::vector<const TDayText *> daysToRead(
        const TYearContents &contents, const std::vector<TByteWord> &words)
    {
        std::vector<const TDayText *> days;
        days.reserve(contents.Days.size());
        for (const TDayText &day : contents.Days) {
            if (mayHold(day.FText, words))
                days.push_back(&day);
        }
        std::stable_sort(days.begin(), days.end(),
            [](const TDayText *a, const TDayText *b) { return a->FDate < b->FDate; });
        return days;
    }

    TSearchIndex::TYearPtr readYear(const TSearchIndex::TYearToRead &file, const TSearchQuery *only)
    {
        std::vector<TByteWord> words = only ? byteWords(*only) : std::vector<TByteWord>();
        // Decoded straight into the year's text: one buffer, no text per day.
        const TYearContents contents = contentsFor(file, words);
        const std::vector<const TDayText *> days = daysToRead(contents, words);
        qsizetype bytes = 0;
        for (const TDayText *day : days)
            bytes += day->FText.size();
        auto year = std::make_shared<TSearchIndex::TYearTexts>();
        year->Text.resize(bytes);
        year->Folded.resize(bytes);
        year->Days.reserve(days.size());
        char16_t *const text = reinterpret_cast<char16_t *>(year->Text.data());
        char16_t *const folded = reinterpret_cast<char16_t *>(year->Folded.data());
        qsizetype used = 0;
        qsizetype foldedUsed = 0;
        for (const TDayText *day : days) {
            const auto [units, foldedUnits]
                = decodeFolded(day->FText, text + used, folded + foldedUsed);
            year->Days.push_back({ day->FDate, { used, units }, { foldedUsed, foldedUnits } });
            used += units;
            foldedUsed += foldedUnits;
        }
        year->Text.truncate(used);
        year->Folded.truncate(foldedUsed);
        year->Seen = file.Seen;
        return year;
    }

    // One line of a day's bytes decoded and folded.
    struct TDecodedLine {
        qsizetype Start = 0;
        QString Text;
        QString Folded;
    };

    // The hit of a day of bytes without "&", decoding only the lines a word is spelled on: the
    // first line where each word is found, and the excerpt of the earliest of those. A word is
    // never split by a line break, and a line's bytes decode alike alone or in their day (a
    // line break is never the second byte of a pair).
    std::optional<TSearchHit> hitInLines(double date, QByteArrayView bytes,
        const TSearchQuery &query, const std::vector<TByteWord> &words, qsizetype maxChars)
    {
        std::vector<TDecodedLine> decoded;
        const auto lineAt = [&](qsizetype start, qsizetype end) -> const TDecodedLine & {
            for (const TDecodedLine &line : decoded) {
                if (line.Start == start)
                    return line;
            }
            TDecodedLine line { start, QString(end - start, Qt::Uninitialized),
                QString(end - start, Qt::Uninitialized) };
            const auto [units, foldedUnits] = decodeFolded(bytes.sliced(start, end - start),
                reinterpret_cast<char16_t *>(line.Text.data()),
                reinterpret_cast<char16_t *>(line.Folded.data()));
            line.Text.truncate(units);
            line.Folded.truncate(foldedUnits);
            decoded.push_back(std::move(line));
            return decoded.back();
        };
        const auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
        qsizetype firstLine = -1;
        for (size_t w = 0; w < words.size(); ++w) {
            const QString &word = query.Words()[qsizetype(w)];
            qsizetype found = -1;
            for (qsizetype at = words[w].Find(bytes, 0); at >= 0 && found < 0;) {
                qsizetype start = at;
                while (start > 0 && !isBreak(bytes[start - 1]))
                    --start;
                qsizetype end = at;
                while (end < bytes.size() && !isBreak(bytes[end]))
                    ++end;
                if (find(lineAt(start, end).Folded, word) >= 0)
                    found = start;
                else
                    at = end < bytes.size() ? words[w].Find(bytes, end) : -1;
            }
            if (found < 0)
                return std::nullopt;
            firstLine = firstLine < 0 ? found : std::min(firstLine, found);
        }
        for (const TDecodedLine &line : decoded) {
            if (line.Start == firstLine)
                return excerptOf(date, line.Text, hitsOf(line.Text, line.Folded, query), maxChars);
        }
        return std::nullopt;
    }

} // namespace

TSearchIndex::TYearPtr TSearchIndex::ReadYear(const TYearToRead &file)
{
    return readYear(file, nullptr);
}

TSearchIndex::TYearPtr TSearchIndex::ReadYear(const TYearToRead &file, const TSearchQuery &only)
{
    return readYear(file, &only);
}

std::vector<TSearchHit> TSearchIndex::SearchYear(
    const TYearToRead &file, const TSearchQuery &query, qsizetype maxChars)
{
    std::vector<TSearchHit> hits;
    if (query.IsEmpty())
        return hits;
    std::vector<TByteWord> words = byteWords(query);
    const bool byLines = std::all_of(
        words.begin(), words.end(), [](const TByteWord &word) { return word.Filters(); });
    const TYearContents contents = contentsFor(file, words);
    // Every day: one that spells a word nowhere is passed over by looking for its lines.
    for (const TDayText *day : daysToRead(contents, byLines ? std::vector<TByteWord>() : words)) {
        const QByteArray &bytes = day->FText;
        if (byLines && !bytes.contains('&')) {
            if (std::optional<TSearchHit> hit
                = hitInLines(day->FDate, bytes, query, words, maxChars))
                hits.push_back(std::move(*hit));
            continue;
        }
        QString text(bytes.size(), Qt::Uninitialized);
        QString folded(bytes.size(), Qt::Uninitialized);
        const auto [units, foldedUnits] = decodeFolded(bytes,
            reinterpret_cast<char16_t *>(text.data()), reinterpret_cast<char16_t *>(folded.data()));
        text.truncate(units);
        folded.truncate(foldedUnits);
        if (query.MatchesFolded(folded))
            hits.push_back(excerptOf(day->FDate, text, hitsOf(text, folded, query), maxChars));
    }
    return hits;
}

void TSearchIndex::Adopt(const TYearToRead &file, TYearPtr texts)
{
    FFailed.erase(file.Year);
    FYears[file.Year] = std::move(texts);
}

void TSearchIndex::AdoptFailure(const TYearToRead &file, const QString &reason)
{
    FYears.erase(file.Year);
    FFailed[file.Year] = { { file.Path, reason }, file.Seen };
}

QList<TSkippedFile> TSearchIndex::Skipped() const
{
    QList<TSkippedFile> skipped;
    for (const auto &[yearNumber, file] : FFailed)
        skipped.append(file.File);
    return skipped;
}

TSearchIndex::TYearPtr TSearchIndex::YearTexts(int year) const
{
    if (year == FLiveYear)
        return FLive;
    const auto it = FYears.find(year);
    return it == FYears.end() ? nullptr : it->second;
}

TSearchResult TSearchIndex::Search(const TSearchQuery &query, qsizetype maxChars)
{
    TSearchResult result;
    if (query.IsEmpty())
        return result;
    result.Skipped = Refresh();
    for (const TFoundDay &day : Find(query))
        result.Hits.push_back(Excerpt(day, query, maxChars));
    return result;
}

QList<TSkippedFile> TSearchIndex::Refresh()
{
    for (const TYearToRead &file : Stale()) {
        try {
            Adopt(file, ReadYear(file));
        } catch (const std::exception &e) {
            AdoptFailure(file, ExceptionMessage(e));
        }
    }
    return Skipped();
}

QList<int> TSearchIndex::Years() const
{
    QList<int> years;
    for (const auto &[yearNumber, year] : FYears)
        years.append(yearNumber);
    if (FLive && !FYears.contains(FLiveYear))
        years.insert(std::lower_bound(years.begin(), years.end(), FLiveYear), FLiveYear);
    return years;
}

std::vector<TDayEntry> TSearchIndex::DaysOf(int yearNumber) const
{
    std::vector<TDayEntry> days;
    if (const TYearPtr year = YearTexts(yearNumber)) {
        days.reserve(year->Days.size());
        for (const TYearTexts::TDay &day : year->Days)
            days.push_back({ day.Date, year->Text.mid(day.InText.Start, day.InText.Length) });
    }
    return days;
}

QString TSearchIndex::DayText(QDate date) const
{
    const TYearPtr year = YearTexts(date.year());
    if (!year)
        return {};
    const double day = DateToDayNumber(date);
    const auto it = std::lower_bound(year->Days.begin(), year->Days.end(), day,
        [](const TYearTexts::TDay &d, double value) { return d.Date < value; });
    if (it == year->Days.end() || it->Date != day)
        return {};
    return year->Text.mid(it->InText.Start, it->InText.Length);
}

bool TSearchIndex::HasText(QDate date) const
{
    const TYearPtr year = YearTexts(date.year());
    if (!year)
        return false;
    const double day = DateToDayNumber(date);
    const auto it = std::lower_bound(year->Days.begin(), year->Days.end(), day,
        [](const TYearTexts::TDay &d, double value) { return d.Date < value; });
    return it != year->Days.end() && it->Date == day && it->InText.Length > 0;
}

bool TSearchIndex::KnowsYear(int year) const { return bool(YearTexts(year)); }

qsizetype TSearchIndex::HeldUnits() const
{
    qsizetype units = FLive ? FLive->Text.size() + FLive->Folded.size() : 0;
    for (const auto &[yearNumber, year] : FYears)
        units += year->Text.size() + year->Folded.size();
    return units;
}

} // namespace diarysearch
