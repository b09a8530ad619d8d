// A full year of diary: 366 days of about 1 KB of Japanese text each, in CP932.
#include "Cp932.h"
#include "DayNumber.h"
#include "KivDiary.h"
#include "Services.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr int kYear = 2024; // a leap year: 366 days

class TYearFixture {
public:
    TYearFixture()
        : FServices({ [](const QString &) {}, {}, {} })
    {
        auto store = NewStore();
        const QByteArray line
            = cp932::Encode(u"今日は朝から晴れていたので、川沿いを歩いて図書館まで行った。"_qs);
        for (QDate d(kYear, 1, 1); d.year() == kYear; d = d.addDays(1)) {
            QByteArray text;
            // Some lines begin with "!" so that escaping has work to do.
            text += "!" + QByteArray::number(d.dayOfYear()) + "\r\n";
            while (text.size() < 1000)
                text += line + "\r\n";
            store->SetDayText(DateToDayNumber(d), text);
        }
        store->SetSetting("WIDTH", "640");
        store->SetSetting("HEIGHT", "480");
        store->SaveFile();
        Path = store->FilePath();
        QFile file(Path);
        file.open(QIODevice::ReadOnly);
        Bytes = file.readAll();
    }

    std::unique_ptr<TKivDiary> NewStore()
    {
        auto store = std::make_unique<TKivDiary>();
        store->SetBaseDir(FDir.path());
        store->SetExt(u".jnl"_qs);
        store->SetYear(kYear);
        store->SetAutoSave(false);
        store->Open();
        return store;
    }

    QString Path;
    QByteArray Bytes;

private:
    QTemporaryDir FDir;
    TScopedDiaryServices FServices;
};

TYearFixture &fixture()
{
    static TYearFixture year;
    return year;
}

void BM_LoadYear(benchmark::State &state)
{
    auto &year = fixture();
    for (auto _ : state) {
        auto store = year.NewStore();
        benchmark::DoNotOptimize(store->Days().size());
    }
    state.SetBytesProcessed(state.iterations() * year.Bytes.size());
}

// What any reader has to do: read the file and find its lines.
void BM_ReadAndSplitBaseline(benchmark::State &state)
{
    auto &year = fixture();
    const QByteArray path = QFile::encodeName(year.Path);
    std::vector<char> buffer(static_cast<size_t>(year.Bytes.size()) + 1);
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY);
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
        size_t lines = 0;
        const char *p = buffer.data();
        const char *const end = p + n;
        while (p < end) {
            const char *lf = static_cast<const char *>(std::memchr(p, '\n', end - p));
            if (!lf)
                break;
            ++lines;
            p = lf + 1;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(state.iterations() * year.Bytes.size());
}

void BM_SaveYear(benchmark::State &state)
{
    auto &year = fixture();
    auto store = year.NewStore();
    for (auto _ : state) {
        store->MarkModified();
        store->SaveFile();
    }
    state.SetBytesProcessed(state.iterations() * year.Bytes.size());
}

// What any writer has to do: one write call of the whole file.
void BM_WriteBaseline(benchmark::State &state)
{
    auto &year = fixture();
    const QByteArray path = QFile::encodeName(year.Path + u".plain"_qs);
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        benchmark::DoNotOptimize(::write(fd, year.Bytes.constData(), year.Bytes.size()));
        ::close(fd);
    }
    state.SetBytesProcessed(state.iterations() * year.Bytes.size());
}

BENCHMARK(BM_LoadYear)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ReadAndSplitBaseline)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SaveYear)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_WriteBaseline)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
