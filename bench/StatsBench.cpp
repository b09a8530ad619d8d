// The figures and words of a year made from the texts the search index holds: one full year (the
// year view's first frame waits for nothing else), and all thirty years, against reading and
// folding those years into the index.
#include "DiaryFolder.h"
#include "DiaryStats.h"

#include <benchmark/benchmark.h>
#include <random>

using namespace diarysearch;
using namespace Qt::StringLiterals;

namespace {

constexpr int kFirstYear = 1996;
constexpr int kYears = 30;

// 30 years of about 520 characters a day, lines made of fragments so that few stand alike on
// two days, and a template's line on each.
const TDiaryFolder &folder()
{
    static TDiaryFolder diary(kFirstYear, kYears, [random = std::mt19937(42)](QDate) mutable {
        static const QStringList fragments = {
            u"今日は朝から晴れていたので、"_s,
            u"川沿いを歩いて図書館まで行った。"_s,
            u"午後は会議が三つ続き、"_s,
            u"資料の直しで夜まで掛かった。"_s,
            u"夕飯はカレー。"_s,
            u"ＡＢＣストアで買った玉ねぎが甘かった。"_s,
            u"雨が降りそうだったが、"_s,
            u"傘を持たずに出て少し濡れた。"_s,
            u"Read a chapter of the novel before bed. "_s,
            u"コーヒーを淹れて、"_s,
            u"友人から手紙が届いた。"_s,
            u"来月は京都へ行くらしい。"_s,
        };
        QString text = u"■今日の出来事\r\n"_s;
        while (text.size() < 520) {
            for (int i = 0; i < 4; ++i)
                text += fragments[random() % fragments.size()];
            text += u"\r\n"_s;
        }
        return text;
    });
    return diary;
}

TSearchIndex &index()
{
    static TSearchIndex held = [] {
        TSearchIndex read;
        read.SetFolder(folder().Dir(), QString(), u".jnl"_s);
        read.Refresh();
        return read;
    }();
    return held;
}

void figuresOfAYear(benchmark::State &state)
{
    const TSearchIndex::TYearPtr year = index().YearTexts(kFirstYear + kYears - 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(diarystats::MakeFigures(*year, kFirstYear + kYears - 1, {}));
}

void figuresOfThirtyYears(benchmark::State &state)
{
    for (auto _ : state) {
        for (const int year : index().Years())
            benchmark::DoNotOptimize(diarystats::MakeFigures(*index().YearTexts(year), year, {}));
    }
}

// The floor: the thirty year files read, decoded and folded as the search reads them.
void readingThirtyYears(benchmark::State &state)
{
    for (auto _ : state) {
        TSearchIndex read;
        read.SetFolder(folder().Dir(), QString(), u".jnl"_s);
        benchmark::DoNotOptimize(read.Refresh());
    }
}

} // namespace

BENCHMARK(figuresOfAYear)->Unit(benchmark::kMillisecond);
BENCHMARK(figuresOfThirtyYears)->Unit(benchmark::kMillisecond);
BENCHMARK(readingThirtyYears)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
