// Searching 30 years of diary (about 12 MB of CP932, 11,000 days), against the floor: reading
// the same files and finding one byte string in them with memmem.
#include "DiaryFolder.h"
#include "DiarySearch.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

using namespace diarysearch;

namespace {

constexpr int kFirstYear = 1996;
constexpr int kYears = 30;

// The 30 years, and what the figures are measured against: their size and their texts. With
// references, every day also has a line of characters the code page lacks.
struct TSearchFolder : TDiaryFolder {
    explicit TSearchFolder(bool references = false)
        : TDiaryFolder(kFirstYear, kYears, [references, random = std::mt19937(42)](QDate) mutable {
            static const QStringList sentences = {
                u"今日は朝から晴れていたので、川沿いを歩いて図書館まで行った。"_qs,
                u"午後は会議が三つ続き、資料の直しで夜まで掛かった。"_qs,
                u"夕飯はカレー。ＡＢＣストアで買った玉ねぎが甘かった。"_qs,
                u"雨が降りそうだったが、傘を持たずに出て少し濡れた。"_qs,
                u"友人から手紙が届いた。来月は京都へ行くらしい。"_qs,
                u"Read a chapter of the novel before bed; slept well."_qs,
                u"ｶﾀｶﾅの看板を見つけて、古い喫茶店に入ってみた。"_qs,
            };
            QString text;
            while (text.size() < 520)
                text += sentences[random() % sentences.size()] + u"\r\n"_qs;
            if (random() % 500 == 0)
                text += u"珍しい言葉：蜃気楼\r\n"_qs;
            if (references)
                text += u"空は☀️、夕飯は🍛。𠮷野家で😀\r\n"_qs;
            return text;
        })
    {
        for (const QString &path : Paths)
            Bytes += QFileInfo(path).size();
        for (int year = kFirstYear; year < kFirstYear + kYears; ++year) {
            for (const TDayEntry &day : ReadYearFile(Dir(), QString(), u".jnl"_qs, year))
                TextUnits += day.Text.size();
        }
    }

    qint64 Bytes = 0;
    // The day texts decoded, in UTF-16 units.
    qint64 TextUnits = 0;
};

TSearchFolder &folder()
{
    static TSearchFolder f;
    return f;
}

// The same with references.
TSearchFolder &folderWithReferences()
{
    static TSearchFolder f(true);
    return f;
}

const QString kRare = u"蜃気楼"_qs;

void readAndMemmem(benchmark::State &state)
{
    const QByteArray needle = cp932::Encode(kRare);
    std::vector<char> buffer;
    for (auto _ : state) {
        int found = 0;
        for (const QString &path : folder().Paths) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
            const off_t size = ::lseek(fd, 0, SEEK_END);
            buffer.resize(static_cast<size_t>(size));
            benchmark::DoNotOptimize(::pread(fd, buffer.data(), buffer.size(), 0));
            ::close(fd);
            const char *p = buffer.data();
            const char *end = p + buffer.size();
            while (const void *hit = ::memmem(p, static_cast<size_t>(end - p), needle.constData(),
                       static_cast<size_t>(needle.size()))) {
                ++found;
                p = static_cast<const char *>(hit) + needle.size();
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(state.iterations() * folder().Bytes);
}

// The year files' bytes one after another, read once.
QByteArray readAll(const TSearchFolder &from)
{
    QByteArray all;
    for (const QString &path : from.Paths) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            all += file.readAll();
    }
    return all;
}

const QByteArray &allBytesWithReferences()
{
    static const QByteArray bytes = readAll(folderWithReferences());
    return bytes;
}

const QByteArray &allBytes()
{
    static const QByteArray bytes = [] {
        QByteArray all;
        for (const QString &path : folder().Paths) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly))
                all += file.readAll();
        }
        return all;
    }();
    return bytes;
}

// Decoding the same bytes: the floor is one pass of memchr over them, looking for a byte that
// is not there.
void decodeFloorMemchr(benchmark::State &state)
{
    const QByteArray &bytes = allBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memchr(bytes.constData(), 0, size_t(bytes.size())));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void decodeTable(benchmark::State &state)
{
    const QByteArray &bytes = allBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(cp932::Decode(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void decodeLosslessTable(benchmark::State &state)
{
    const QByteArray &bytes = allBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(cp932::DecodeLossless(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void decodeTableWithReferences(benchmark::State &state)
{
    const QByteArray &bytes = allBytesWithReferences();
    for (auto _ : state)
        benchmark::DoNotOptimize(cp932::Decode(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void decodeLosslessTableWithReferences(benchmark::State &state)
{
    const QByteArray &bytes = allBytesWithReferences();
    for (auto _ : state)
        benchmark::DoNotOptimize(cp932::DecodeLossless(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void decodeIconv(benchmark::State &state)
{
    const QByteArray &bytes = allBytes();
    for (auto _ : state)
        benchmark::DoNotOptimize(cp932::iconvpath::Decode(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}

void encodeTable(benchmark::State &state)
{
    const QString text = cp932::Decode(allBytes());
    for (auto _ : state)
        benchmark::DoNotOptimize(cp932::Encode(text));
    state.SetBytesProcessed(state.iterations() * allBytes().size());
}

void encodeIconv(benchmark::State &state)
{
    const QString text = cp932::Decode(allBytes());
    for (auto _ : state)
        benchmark::DoNotOptimize(cp932::iconvpath::Encode(text));
    state.SetBytesProcessed(state.iterations() * allBytes().size());
}

// The first search after start-up: every year file is read, decoded and folded.
void firstSearch(benchmark::State &state)
{
    const TSearchQuery query(kRare);
    for (auto _ : state) {
        TSearchIndex index;
        index.SetFolder(folder().Dir(), QString(), u".jnl"_qs);
        benchmark::DoNotOptimize(index.Search(query, 60));
    }
    state.SetBytesProcessed(state.iterations() * folder().Bytes);
}

void firstSearchWithReferences(benchmark::State &state)
{
    const TSearchQuery query(kRare);
    for (auto _ : state) {
        TSearchIndex index;
        index.SetFolder(folderWithReferences().Dir(), QString(), u".jnl"_qs);
        benchmark::DoNotOptimize(index.Search(query, 60));
    }
    state.SetBytesProcessed(state.iterations() * folderWithReferences().Bytes);
}

// Later searches: the folder is listed and every file looked at, nothing read again.
void warmSearch(benchmark::State &state, const QString &typed)
{
    TSearchIndex index;
    index.SetFolder(folder().Dir(), QString(), u".jnl"_qs);
    index.Search(TSearchQuery(u"x"_qs));
    const TSearchQuery query(typed);
    size_t hits = 0;
    for (auto _ : state)
        hits = index.Search(query, 60).Hits.size();
    state.counters["days_found"] = static_cast<double>(hits);
    // What the index holds against the decoded texts in UTF-16, the limit being 2.
    state.counters["memory_x_utf16"]
        = static_cast<double>(index.HeldUnits()) / static_cast<double>(folder().TextUnits);
    state.SetBytesProcessed(state.iterations() * folder().Bytes);
}

// What a keystroke costs the window once every year is read: the folder looked at, the days
// found, no excerpt made (the list makes those of the rows it shows).
void keystrokeWarm(benchmark::State &state, const QString &typed)
{
    TSearchIndex index;
    index.SetFolder(folder().Dir(), QString(), u".jnl"_qs);
    index.Search(TSearchQuery(u"x"_qs));
    const TSearchQuery query(typed);
    size_t found = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.Stale());
        found = index.Find(query).size();
    }
    state.counters["days_found"] = static_cast<double>(found);
}

// One more letter typed after a query shown: only the days it found are looked at again.
void keystrokeNarrowing(benchmark::State &state, const QString &typed)
{
    TSearchIndex index;
    index.SetFolder(folder().Dir(), QString(), u".jnl"_qs);
    index.Search(TSearchQuery(u"x"_qs));
    const TSearchQuery wider(typed.chopped(1));
    const auto widerFound = index.Find(wider);
    const auto searched = index.Searched();
    const TSearchQuery query(typed);
    size_t found = 0;
    for (auto _ : state)
        found = index.FindNarrowing(query, widerFound, searched).size();
    state.counters["days_found"] = static_cast<double>(found);
}

// The first keystroke of a run until the newest year's days can be shown: the folder looked
// at, the newest year file read and searched (the reading thread goes on with the others).
void keystrokeColdNewestYear(benchmark::State &state)
{
    const TSearchQuery query(u"カレー"_qs);
    for (auto _ : state) {
        TSearchIndex index;
        index.SetFolder(folder().Dir(), QString(), u".jnl"_qs);
        const auto stale = index.Stale();
        benchmark::DoNotOptimize(
            TSearchIndex::FindIn(TSearchIndex::ReadYear(stale.front()), query));
    }
}

} // namespace

BENCHMARK_CAPTURE(keystrokeWarm, rare_word, kRare)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(keystrokeWarm, two_words, u"図書館 ａｂｃ"_qs)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(keystrokeWarm, common_word, u"カレー"_qs)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(keystrokeWarm, common_word_3, u"喫茶店"_qs)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(keystrokeNarrowing, common_word_3, u"喫茶店"_qs)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(keystrokeNarrowing, rare_word, kRare)->Unit(benchmark::kMillisecond);
BENCHMARK(keystrokeColdNewestYear)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeFloorMemchr)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeTable)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeLosslessTable)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeTableWithReferences)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeLosslessTableWithReferences)->Unit(benchmark::kMillisecond);
BENCHMARK(decodeIconv)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeTable)->Unit(benchmark::kMillisecond);
BENCHMARK(encodeIconv)->Unit(benchmark::kMillisecond);
BENCHMARK(readAndMemmem)->Unit(benchmark::kMillisecond);
BENCHMARK(firstSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(firstSearchWithReferences)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(warmSearch, rare_word, kRare)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(warmSearch, two_words, u"図書館 ａｂｃ"_qs)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(warmSearch, common_word, u"カレー"_qs)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
