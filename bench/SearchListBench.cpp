// The search window's list: a query that finds 10,900 days against one that finds a screenful,
// from the keystroke to the list drawn, the years read already; keys typed in a burst and one
// more letter typed against the same query pasted; and the first search typed at once after the
// window opened, until its first screenful is drawn and until its count is complete.
#include "DiaryFolder.h"
#include "DiarySearch.h"
#include "SearchWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <random>
#include <time.h>

using namespace diarysearch;
using namespace Qt::StringLiterals;

namespace {

constexpr int kFirstYear = 1996;
constexpr int kYears = 30;

// 30 years, 10,958 days; every day but 58 says "晴れ", one day in 500 "蜃気楼".
const TDiaryFolder &listFolder()
{
    static TDiaryFolder folder(kFirstYear, kYears, [day = 0](QDate) mutable {
        QString text = u"今日は朝から川沿いを歩いて図書館まで行った。\r\n"_s;
        if (day % 189 != 0)
            text += u"晴れていたので、帰りに古い喫茶店に入ってみた。\r\n"_s;
        if (day % 500 == 0)
            text += u"珍しい言葉：蜃気楼\r\n"_s;
        ++day;
        return text;
    });
    return folder;
}

void typeAndDraw(benchmark::State &state, const QString &typed)
{
    TSearchIndex index;
    index.SetFolder(listFolder().Dir(), QString(), u".jnl"_s);
    index.Search(TSearchQuery(u"x"_s));
    TSearchWindow window(
        nullptr, &index, [] { return true; }, [] {}, [](double, const TSearchQuery &) {});
    window.show();
    QApplication::processEvents();
    for (auto _ : state) {
        window.EdtQuery->setText(typed);
        window.RunSearch();
        window.LstResults->viewport()->repaint();
    }
    state.counters["days_found"] = window.LstResults->model()->rowCount();
}

// 30 years of about 520 characters a day (12 MB of CP932), as the search benchmark has them.
const TDiaryFolder &bigFolder()
{
    static TDiaryFolder folder(kFirstYear, kYears, [random = std::mt19937(42)](QDate) mutable {
        static const QStringList sentences = {
            u"今日は朝から晴れていたので、川沿いを歩いて図書館まで行った。"_s,
            u"午後は会議が三つ続き、資料の直しで夜まで掛かった。"_s,
            u"夕飯はカレー。ＡＢＣストアで買った玉ねぎが甘かった。"_s,
            u"雨が降りそうだったが、傘を持たずに出て少し濡れた。"_s,
            u"友人から手紙が届いた。来月は京都へ行くらしい。"_s,
            u"Read a chapter of the novel before bed; slept well."_s,
            u"ｶﾀｶﾅの看板を見つけて、古い喫茶店に入ってみた。"_s,
        };
        QString text;
        while (text.size() < 520)
            text += sentences[random() % sentences.size()] + u"\r\n"_s;
        if (random() % 500 == 0)
            text += u"珍しい言葉：蜃気楼\r\n"_s;
        return text;
    });
    return folder;
}

// Keys typed faster than the window takes them: queued, all there by the time it looks. A
// paste is one key with the whole text.
void typeKeys(QWidget *field, const QString &keys, bool paste = false)
{
    for (const QString &key : paste ? QStringList { keys } : keys.split(QString())) {
        if (!key.isEmpty())
            QCoreApplication::postEvent(
                field, new QKeyEvent(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, key));
    }
}

// The time this thread has run, in milliseconds: on a machine shared with others, what the
// window itself spends.
double threadMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// From the last key of a burst to the list drawn, against the same query pasted and searched at
// once; and one more letter typed after a query shown, which narrows it.
void burstAgainstPaste(benchmark::State &state, const QString &typed)
{
    TSearchIndex index;
    index.SetFolder(bigFolder().Dir(), QString(), u".jnl"_s);
    index.Search(TSearchQuery(u"x"_s));
    TSearchWindow window(
        nullptr, &index, [] { return true; }, [] {}, [](double, const TSearchQuery &) {});
    window.show();
    QApplication::processEvents();
    bool searched = false;
    QObject::connect(window.LstResults->model(), &QAbstractItemModel::modelReset,
        [&searched] { searched = true; });
    // Until the search asked for has run.
    const auto takeKeys = [&searched] {
        searched = false;
        while (!searched)
            QApplication::processEvents();
    };
    std::vector<double> burst;
    std::vector<double> pasted;
    std::vector<double> narrowed;
    std::vector<double> burstWall;
    std::vector<double> pastedWall;
    QElapsedTimer clock;
    // From the keys queued to the list drawn: this thread's time, and the wall clock's.
    const auto measure = [&](const QString &keys, bool paste, std::vector<double> &cpu,
                             std::vector<double> *wall) {
        // What the field and the list left to draw is drawn first, outside the time.
        QApplication::processEvents();
        typeKeys(window.EdtQuery, keys, paste);
        clock.start();
        const double start = threadMs();
        takeKeys();
        window.LstResults->viewport()->repaint();
        cpu.push_back(threadMs() - start);
        if (wall)
            wall->push_back(double(clock.nsecsElapsed()) / 1e6);
    };
    for (auto _ : state) {
        window.EdtQuery->clear();
        window.RunSearch();
        measure(typed, false, burst, &burstWall);
        window.EdtQuery->setText(typed.chopped(1));
        window.RunSearch();
        measure(typed.right(1), false, narrowed, nullptr);
        window.EdtQuery->clear();
        window.RunSearch();
        measure(typed, true, pasted, &pastedWall);
    }
    state.counters["burst_wall_ms"] = median(burstWall);
    state.counters["pasted_wall_ms"] = median(pastedWall);
    state.counters["burst_ms"] = median(burst);
    state.counters["pasted_ms"] = median(pasted);
    state.counters["burst_x_pasted"] = median(burst) / median(pasted);
    state.counters["narrowed_ms"] = median(narrowed);
    state.counters["days_found"] = window.LstResults->model()->rowCount();
}

// The first search typed at once after the window opened: every year read on the readers,
// until the first screenful is drawn and until the count is complete; the floor is reading the
// same files and finding the word's bytes in them.
void firstSearchTypedAtOnce(benchmark::State &state)
{
    const QString typed = u"喫茶店"_s;
    std::vector<double> screen;
    std::vector<double> complete;
    std::vector<double> floor;
    QElapsedTimer clock;
    for (auto _ : state) {
        clock.start();
        const QByteArray needle = cp932::Encode(typed);
        qsizetype found = 0;
        for (const QString &path : bigFolder().Paths) {
            QFile file(path);
            if (file.open(QIODevice::ReadOnly)) {
                const QByteArray bytes = file.readAll();
                for (qsizetype at = bytes.indexOf(needle); at >= 0;
                     at = bytes.indexOf(needle, at + 1))
                    ++found;
            }
        }
        benchmark::DoNotOptimize(found);
        floor.push_back(double(clock.nsecsElapsed()) / 1e6);

        TSearchIndex index;
        index.SetFolder(bigFolder().Dir(), QString(), u".jnl"_s);
        TSearchWindow window(
            nullptr, &index, [] { return true; }, [] {}, [](double, const TSearchQuery &) {});
        window.show();
        QApplication::processEvents();
        const QAbstractItemModel *model = window.LstResults->model();
        clock.start();
        window.EdtQuery->setText(typed);
        window.RunSearch();
        const int screenRows = window.LstResults->viewport()->height()
                / std::max(1, window.LstResults->sizeHintForRow(0))
            + 1;
        bool drawn = false;
        while (window.Reading() || !drawn) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
            if (!drawn && model->rowCount() >= screenRows) {
                window.LstResults->viewport()->repaint();
                screen.push_back(double(clock.nsecsElapsed()) / 1e6);
                drawn = true;
            }
        }
        window.LstResults->viewport()->repaint();
        complete.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    state.counters["screen_ms"] = median(screen);
    state.counters["complete_ms"] = median(complete);
    state.counters["floor_ms"] = median(floor);
    state.counters["complete_x_floor"] = median(complete) / median(floor);
}

} // namespace

BENCHMARK_CAPTURE(typeAndDraw, screenful, u"蜃気楼"_s)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(typeAndDraw, days_10900, u"晴れ"_s)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(burstAgainstPaste, screenful, u"蜃気楼"_s)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15);
BENCHMARK_CAPTURE(burstAgainstPaste, common_word, u"喫茶店"_s)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15);
BENCHMARK(firstSearchTypedAtOnce)->Unit(benchmark::kMillisecond)->Iterations(7);
