// Opening a day that holds 20 large photos, from the click on 翌日 until the editor shows its
// text and the window is drawn again, against the same day's text without them: the pictures'
// small copies are made off the window's thread, so the two should take about as long.
#include "AppServices.h"
#include "DiaryFolder.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "PictureFiles.h"
#include "Pictures.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <benchmark/benchmark.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kYear = 2026;
constexpr int kPictures = 20;
const QDate kWithPictures(kYear, 6, 16);
const QDate kWithout(kYear, 6, 18);

QString dayText(QDate)
{
    return u"今日は朝から晴れていたので、川沿いを歩いて図書館まで行った。\r\n"_s;
}

// A year of one line a day; on one day also the lines of 20 phone-sized photos.
TDiaryFolder &folder()
{
    static TDiaryFolder f(kYear, 1, dayText);
    static const bool pictures = [] {
        TKivDiary store;
        store.SetBaseDir(f.Dir());
        store.SetExt(u".jnl"_s);
        store.SetYear(kYear);
        store.SetAutoSave(false);
        store.Open();
        QString text = dayText(kWithPictures);
        for (int i = 0; i < kPictures; ++i) {
            QImage image(4000, 3000, QImage::Format_RGB32);
            image.fill(QColor::fromHsv(i * 17 % 360, 160, 220));
            QPainter(&image).drawText(image.rect(), Qt::AlignCenter, QString::number(i));
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "JPEG", 90);
            text += PictureLine(AddPictureBytes(f.Dir(), bytes, kWithPictures, u"x"_s).Name)
                + u"\r\n"_s;
        }
        store.SetDayText(DateToDayNumber(kWithPictures), cp932::Encode(text));
        store.SaveFile();
        return true;
    }();
    (void)pictures;
    return f;
}

// From the day before to the day, the window drawn; the way back is not timed.
void openDay(benchmark::State &state, QDate day)
{
    const QString data = folder().Dir();
    QTemporaryDir home;
    const QString current = QDir::currentPath();
    QDir::setCurrent(home.path());
    qputenv("XDG_STATE_HOME", home.filePath(u"state"_s).toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath(u"share"_s).toUtf8());
    qputenv("XDG_CACHE_HOME", home.filePath(u"cache"_s).toUtf8());
    {
        TStandIn person;
        TScopedDiaryServices services({ [](const QString &) {},
            [day] { return QDateTime(day.addDays(-1), QTime(12, 0)); }, {} });
        auto form = std::make_unique<TForm1>(QStringList { u"kivlog"_s, u"-d"_s + data });
        form->show();
        QApplication::processEvents();
        bool shown = true;
        for (auto _ : state) {
            form->BtnNextDay->click();
            form->repaint();
            state.PauseTiming();
            shown = shown && DayNumberToDate(form->KivDiaryEdit1->Date()) == day;
            form->BtnPrevDay->click();
            QApplication::processEvents();
            state.ResumeTiming();
        }
        form.reset();
        if (!shown)
            state.SkipWithError("the editor did not show the day");
    }
    QDir::setCurrent(current);
}

void openDayWithPictures(benchmark::State &state) { openDay(state, kWithPictures); }
void openDayWithout(benchmark::State &state) { openDay(state, kWithout); }

} // namespace

BENCHMARK(openDayWithPictures)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(openDayWithout)->Unit(benchmark::kMillisecond)->UseRealTime();
