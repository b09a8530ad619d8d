#include "DiaryImport.h"
#include "StoreTestSupport.h"

#include <QFileInfo>
#include <zip.h>

using namespace diaryimport;

namespace {

struct TFile {
    const char *Name;
    const char *Content;
};

class Import : public StoreInTempDir {
protected:
    void Write(const QList<TFile> &files)
    {
        for (const TFile &f : files) {
            const QString path = Path(QString::fromUtf8(f.Name));
            QDir().mkpath(QFileInfo(path).path());
            WriteAll(path, f.Content);
        }
    }
    // A Day One export as its app writes it: the journal's JSON, a photo beside it.
    void WriteZip(const QString &name, const QByteArray &json)
    {
        int error = 0;
        zip_t *z = zip_open(QFile::encodeName(Path(name)).constData(), ZIP_CREATE, &error);
        ASSERT_NE(z, nullptr);
        // zip_close reads the buffers: they live until then.
        const std::pair<const char *, QByteArray> entries[]
            = { { "Journal.json", json }, { "photos/abc.jpeg", QByteArray("JPEG") } };
        for (const auto &[entry, bytes] : entries) {
            zip_source_t *src = zip_source_buffer(z, bytes.constData(), bytes.size(), 0);
            ASSERT_GE(zip_file_add(z, entry, src, 0), 0);
        }
        ASSERT_EQ(zip_close(z), 0);
    }
};

const char kDayOne[] = R"({"metadata":{"version":"1.0"},"entries":[
 {"creationDate":"2023-03-01T23:00:00Z","timeZone":"Asia/Tokyo","text":"夜"},
 {"creationDate":"2023-03-01T15:30:00Z","timeZone":"Asia/Tokyo","text":"朝\n","tags":["散歩","walk"],
  "photos":[{"md5":"abc","type":"jpeg"}]},
 {"creationDate":"2023-03-01T10:00:00Z","timeZone":"America/New_York","text":"NY"},
 {"creationDate":"2023-03-05T10:00:00Z","timeZone":"UTC","text":"  \n"}]})";

TEST_F(Import, EachSourceComesInByItsDayRules)
{
    struct TCase {
        const char *Name;
        QList<TFile> Files;
        const char *Source;
        std::map<QDate, QString> Days;
        qsizetype Skipped;
    };
    const QList<TCase> cases = {
        { "DayOne: the day of the entry's own zone, a day's entries in time order with tags",
            { { "j.json", kDayOne } }, "j.json",
            { { QDate(2023, 3, 1), u"NY"_qs }, { QDate(2023, 3, 2), u"朝\n#散歩 #walk\n\n夜"_qs } },
            1 },
        { "jrnl: the title is the first line, the entries of a day in time order",
            { { "jrnl.json",
                R"({"tags":{},"entries":[{"date":"2022-05-01","time":"21:00","title":"夜","body":""},
                {"date":"2022-05-01","time":"09:00","title":"朝","body":"\n本文 @tag"},
                {"date":"2022-13-01","time":"09:00","title":"?","body":""}]})" } },
            "jrnl.json", { { QDate(2022, 5, 1), u"朝\n本文 @tag\n\n夜"_qs } }, 1 },
        { "RedNotebook: a folder of month files, days by number",
            { { "rn/2021-04.txt", "1: {text: \"first\"}\n3:\n  text: |\n    two\n    lines\n" },
                { "rn/2021-05.txt", "2: {Ideas: {x: null}}\n" } },
            "rn", { { QDate(2021, 4, 1), u"first"_qs }, { QDate(2021, 4, 3), u"two\nlines"_qs } },
            1 },
        { "Day files: three namings in sub-folders, Markdown and Shift-JIS kept as they stand",
            { { "d/2023/03/07.md", "# 見出し\r\n- item\r\n" }, { "d/x/2023-03-08.txt", "一" },
                { "d/20230309.txt", "\x93\xfa" }, { "d/notes.txt", "not a day" } },
            "d",
            { { QDate(2023, 3, 7), u"# 見出し\n- item"_qs }, { QDate(2023, 3, 8), u"一"_qs },
                { QDate(2023, 3, 9), u"日"_qs } },
            0 },
    };
    for (const TCase &c : cases) {
        Write(c.Files);
        const TSource source = ReadSource(Path(QString::fromUtf8(c.Source)));
        EXPECT_EQ(source.Error, QString()) << c.Name;
        EXPECT_EQ(source.Days, c.Days) << c.Name;
        EXPECT_EQ(source.Skipped.size(), c.Skipped) << c.Name;
    }
}

TEST_F(Import, ADamagedSourceIsNamedAndGivesNothing)
{
    Write({ { "bad.json", "{\"entries\": [" }, { "odd.json", "{\"entries\": [{\"x\": 1}]}" },
        { "rn/2021-04.txt", "1: {text: a}\n" }, { "rn/2021-05.txt", "- a list\n- not days\n" },
        { "2021-06.txt", "40: {text: a}\n" }, { "2023-02-30.txt", "x" } });
    WriteZip(u"full.zip"_qs, kDayOne);
    WriteAll(Path(u"cut.zip"_qs), ReadAll(Path(u"full.zip"_qs)).left(60));
    for (const char *name : { "bad.json", "odd.json", "rn", "2021-06.txt", "cut.zip", "missing.zip",
             "2023-02-30.txt" }) {
        const TSource source = ReadSource(Path(QString::fromUtf8(name)));
        EXPECT_TRUE(source.Error.contains(Path(QString::fromUtf8(name)))
            || source.Error.contains(QString::fromUtf8(name)))
            << name << ": " << source.Error.toStdString();
        EXPECT_TRUE(source.Days.empty()) << name;
    }
    const TSource zip = ReadSource(Path(u"full.zip"_qs));
    EXPECT_EQ(zip.Days.size(), 2u);
    EXPECT_EQ(zip.Media, QStringList { u"photos/abc.jpeg"_qs });
}

TEST_F(Import, DaysComeInThroughTheStoreOnceAndAWrittenDayKeepsBoth)
{
    auto store = NewStore(2023);
    store->SetDayText(Day(2023, 3, 2), sj("前から"));
    store->SaveFile();
    const std::map<QDate, QString> days { { QDate(2023, 3, 1), u"一\n二"_qs },
        { QDate(2023, 3, 2), u"新しい"_qs }, { QDate(2024, 1, 1), u"元日 😀"_qs } };
    const QList<TYearOutcome> first = TakeInto(*store, days);
    ASSERT_EQ(first.size(), 2);
    EXPECT_EQ(first[0].Added, QList<QDate> { QDate(2023, 3, 1) });
    EXPECT_EQ(first[0].BothTexts, QList<QDate> { QDate(2023, 3, 2) });
    EXPECT_EQ(first[1].Added, QList<QDate> { QDate(2024, 1, 1) });
    // The emoji is kept as a character reference.
    EXPECT_TRUE(first[1].NotStored.isEmpty());
    EXPECT_TRUE(ReadAll(Path(u"2024.jnl"_qs)).contains("&#x1F600;"));
    EXPECT_EQ(store->Year(), 2023);
    EXPECT_EQ(store->GetDayText(Day(2023, 3, 1)), sj("一\r\n二\r\n"));
    EXPECT_TRUE(ReadAll(Path(u"2024.jnl"_qs)).contains(sj("元日")));

    // Again: nothing new, nothing written.
    const QByteArray year2024 = ReadAll(Path(u"2024.jnl"_qs));
    const QList<TYearOutcome> again = TakeInto(*store, { { QDate(2024, 1, 1), u"元日 😀"_qs } });
    EXPECT_TRUE(again[0].Added.isEmpty());
    EXPECT_TRUE(again[0].BothTexts.isEmpty());
    EXPECT_EQ(ReadAll(Path(u"2024.jnl"_qs)), year2024);
}

} // namespace
