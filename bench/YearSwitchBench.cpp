// A year switch in the main window, from the click on 前年/翌年 until the editor shows the day
// of the other year and the window is drawn again; against the floor: reading the year file's
// bytes with one pass of memchr over them, and the store loading the year alone.
#include "AppServices.h"
#include "DiaryFolder.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFirstYear = 2023;
constexpr int kToday = 2024; // the window opens on a day of the later year, a leap year

// Two full years: every day about 1 KB of Japanese text, some lines beginning with "!".
TDiaryFolder &folder()
{
    static TDiaryFolder f(kFirstYear, 2, [](QDate d) {
        QString text = u"!"_s + QString::number(d.dayOfYear()) + u"\r\n"_s;
        while (text.size() < 540)
            text += u"今日は朝から晴れていたので、川沿いを歩いて図書館まで行った。\r\n"_s;
        return text;
    });
    return f;
}

const QString &todayPath() { return folder().Paths.back(); }

qint64 todayBytes() { return QFileInfo(todayPath()).size(); }

void switchYear(benchmark::State &state)
{
    // The window's own files (recovery, what cannot be saved) go to a folder of its own; boxes
    // are counted, not shown: a box would stop the run.
    const QString data = folder().Dir(); // written before the window's services are set
    QTemporaryDir home;
    const QString current = QDir::currentPath();
    QDir::setCurrent(home.path());
    qputenv("XDG_STATE_HOME", home.filePath(u"state"_s).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(u"share"_s).toUtf8());
    int boxes = 0;
    {
        TStandIn person;
        TScopedDiaryServices services({ [&boxes](const QString &) { ++boxes; },
            [] { return QDateTime(QDate(kToday, 6, 15), QTime(12, 0)); }, {} });
        auto form = std::make_unique<TForm1>(QStringList { u"kivlog"_s, u"-d"_s + data });
        form->show();
        QApplication::processEvents();

        bool shown = true;
        for (auto _ : state) {
            const bool back = DayNumberToDate(form->KivDiaryEdit1->Date()).year() == kToday;
            (back ? form->BtnPrevYear : form->BtnNextYear)->click();
            form->repaint();
            const int year = DayNumberToDate(form->KivDiaryEdit1->Date()).year();
            shown = shown && year == (back ? kToday - 1 : kToday)
                && !form->KivDiaryEdit1->toPlainText().isEmpty();
        }
        form.reset();
        if (!shown)
            state.SkipWithError("the editor did not show the other year's day");
        if (boxes > 0 || !person.Told.isEmpty() || !person.Asked.isEmpty())
            state.SkipWithError("a box came up");
        if (!QDir(data).entryList({ u"*.bak"_s }).isEmpty())
            state.SkipWithError("a year was written though nothing was changed");
    }
    QDir::setCurrent(current);
    state.SetBytesProcessed(state.iterations() * todayBytes());
}

// What any reader of the year has to do: read the file and look at every byte once.
void readAndMemchr(benchmark::State &state)
{
    const QByteArray path = QFile::encodeName(todayPath());
    std::vector<char> buffer(static_cast<size_t>(todayBytes()) + 1);
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY);
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
        benchmark::DoNotOptimize(std::memchr(buffer.data(), 0, static_cast<size_t>(n)));
    }
    state.SetBytesProcessed(state.iterations() * todayBytes());
}

// The store reading and decoding the year, no window.
void loadYear(benchmark::State &state)
{
    TScopedDiaryServices services({ [](const QString &) {}, {}, {} });
    for (auto _ : state) {
        TKivDiary store;
        store.SetBaseDir(folder().Dir());
        store.SetExt(u".jnl"_s);
        store.SetYear(kToday);
        store.SetAutoSave(false);
        store.Open();
        benchmark::DoNotOptimize(store.Days().size());
    }
    state.SetBytesProcessed(state.iterations() * todayBytes());
}

} // namespace

BENCHMARK(switchYear)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(readAndMemchr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(loadYear)->Unit(benchmark::kMillisecond)->UseRealTime();
