// The search window's list: a query that finds 10,900 days against one that finds a screenful,
// from the keystroke to the list drawn, the years read already.
#include "DiaryFolder.h"
#include "DiarySearch.h"
#include "SearchWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <benchmark/benchmark.h>

using namespace diarysearch;
using namespace Qt::StringLiterals;

namespace {

constexpr int kFirstYear = 1996;
constexpr int kYears = 30;

void typeAndDraw(benchmark::State &state, const QString &typed)
{
    // 30 years, 10,958 days; every day but 58 says "晴れ", one day in 500 "蜃気楼".
    static TDiaryFolder folder(kFirstYear, kYears, [day = 0](QDate) mutable {
        QString text = u"今日は朝から川沿いを歩いて図書館まで行った。\r\n"_s;
        if (day % 189 != 0)
            text += u"晴れていたので、帰りに古い喫茶店に入ってみた。\r\n"_s;
        if (day % 500 == 0)
            text += u"珍しい言葉：蜃気楼\r\n"_s;
        ++day;
        return text;
    });
    TSearchIndex index;
    index.SetFolder(folder.Dir(), QString(), u".jnl"_s);
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

} // namespace

BENCHMARK_CAPTURE(typeAndDraw, screenful, u"蜃気楼"_s)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(typeAndDraw, days_10900, u"晴れ"_s)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
