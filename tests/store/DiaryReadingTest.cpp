#include "DiaryReading.h"

#include "StoreTestSupport.h"

using namespace diarysearch;

namespace {

class DiaryReadingInTempDir : public StoreInTempDir {
protected:
    // Each (date, text) a day of its year's file.
    void WriteYears(const std::vector<std::pair<QDate, const char *>> &days)
    {
        std::map<int, QByteArray> files;
        for (const auto &[date, text] : days) {
            QByteArray &file = files[date.year()];
            if (file.isEmpty())
                file = "!JNL 1.00 " + QByteArray::number(date.year()) + "\r\n";
            file += date.toString(u"'!['yyyy/MM/dd']'"_qs).toLatin1() + "\r\n" + sj(text) + "\r\n";
        }
        for (const auto &[year, bytes] : files)
            WriteAll(Path(QString::number(year) + u".jnl"_qs), bytes);
    }

    static QList<QDate> Dates(const std::vector<TDayEntry> &days)
    {
        QList<QDate> dates;
        for (const TDayEntry &day : days)
            dates << DayNumberToDate(day.Date);
        return dates;
    }
};

TEST_F(DiaryReadingInTempDir, OnThisDayFindsTheDayInEveryYearNewestFirst)
{
    WriteYears({ { QDate(2019, 2, 28), "2019 28" }, { QDate(2020, 2, 29), "閏日" },
        { QDate(2020, 2, 28), "2020 28" }, { QDate(2021, 3, 1), "2021 1 Mar" },
        { QDate(2023, 2, 28), " \t" }, { QDate(2024, 2, 29), "閏日 again" } });
    // The loaded year as shown: its unsaved text counts; its saved one no longer does.
    auto store = NewStore(2022);
    TSearchIndex index;
    index.SetFolder(Dir(), QString(), u".jnl"_qs);
    index.SetLiveYear(*store, { TDayText(sj("未保存"), Day(2022, 2, 28)) });
    EXPECT_TRUE(index.Refresh().isEmpty());

    const struct {
        QDate Day;
        QList<QDate> Found;
    } cases[] = {
        // 29 February only in the years that have one; blanks are no text.
        { QDate(2021, 2, 28), { QDate(2022, 2, 28), QDate(2020, 2, 28), QDate(2019, 2, 28) } },
        { QDate(2024, 2, 29), { QDate(2024, 2, 29), QDate(2020, 2, 29) } },
        { QDate(2030, 3, 1), { QDate(2021, 3, 1) } },
        { QDate(2030, 3, 2), {} },
    };
    for (const auto &c : cases)
        EXPECT_EQ(Dates(diaryreading::OnThisDay(index, c.Day)), c.Found)
            << c.Day.toString().toStdString();
    EXPECT_EQ(diaryreading::OnThisDay(index, QDate(2024, 2, 29)).back().Text, u"閏日\r\n"_qs);

    EXPECT_EQ(Dates(diaryreading::DaysIn(index, { Day(2020, 2, 29), Day(2022, 12, 31) })),
        (QList<QDate> { QDate(2020, 2, 29), QDate(2021, 3, 1), QDate(2022, 2, 28) }));
    EXPECT_EQ(diaryreading::FirstLines(u"\r\n  one \r\n\r\ntwo\r\nthree"_qs, 2),
        (QStringList { u"one"_qs, u"two"_qs }));
}

} // namespace
