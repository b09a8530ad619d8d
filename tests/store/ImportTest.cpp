#include "DiaryImport.h"
#include "PictureFiles.h"
#include "Pictures.h"
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
        WriteZip(name, { { "Journal.json", json }, { "photos/abc.jpeg", QByteArray("JPEG") } });
    }
    void WriteZip(const QString &name, const QList<std::pair<const char *, QByteArray>> &entries)
    {
        int error = 0;
        zip_t *z = zip_open(QFile::encodeName(Path(name)).constData(), ZIP_CREATE, &error);
        ASSERT_NE(z, nullptr);
        // zip_close reads the buffers: they live until then.
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
        { "RedNotebook: a folder of month files, days by number, categories and tags last",
            { { "rn/2021-04.txt",
                  "1: {text: \"first\", Tags: {work: null}}\n3:\n  text: |\n    two\n    lines\n"
                  "4: {text: !!binary \"5pel6KiY\"}\n" },
                { "rn/2021-05.txt", "2: {Ideas: {x: null, y: null}}\n" } },
            "rn",
            { { QDate(2021, 4, 1), u"first\n\n- Tags\n  - work"_qs },
                { QDate(2021, 4, 3), u"two\nlines"_qs }, { QDate(2021, 4, 4), u"日記"_qs },
                { QDate(2021, 5, 2), u"- Ideas\n  - x\n  - y"_qs } },
            0 },
        { "Day files: namings in sub-folders, Markdown and Shift-JIS kept, the rest named",
            { { "d/2023/03/07.md", "# 見出し\r\n- item\r\n" }, { "d/x/2023-03-08.txt", "一" },
                { "d/20230309.txt", "\x93\xfa" }, { "d/notes.txt", "not a day" },
                { "d/journals/2023_03_10.md", "ログ" }, { "d/2023-03-11 Saturday.md", "黒" },
                { "d/2023.03.12.markdown", "点" }, { "d/2026-11-31.md", "x" },
                { "d/0000-01-01.txt", "x" } },
            "d",
            { { QDate(2023, 3, 7), u"# 見出し\n- item"_qs }, { QDate(2023, 3, 8), u"一"_qs },
                { QDate(2023, 3, 9), u"日"_qs }, { QDate(2023, 3, 10), u"ログ"_qs },
                { QDate(2023, 3, 11), u"黒"_qs }, { QDate(2023, 3, 12), u"点"_qs } },
            3 },
        { "DayOne unzipped: the folder of the journal's JSON and its photos",
            { { "do/Journal.json", kDayOne }, { "do/photos/abc.jpeg", "JPEG" } }, "do",
            { { QDate(2023, 3, 1), u"NY"_qs }, { QDate(2023, 3, 2), u"朝\n#散歩 #walk\n\n夜"_qs } },
            1 },
        { "DayOne: escapes go, a photo is named where its link stood, each tag once as one word",
            { { "e.json", R"({"entries":[{"creationDate":"2023-03-01T20:00:00Z",
                "timeZone":"GMT+0900","text":"1\\. 朝 \\- 晴れ\n![](dayone-moment://P1)\n#walk",
                "tags":["walk","night walk",5,{}],"photos":[{"identifier":"P1","md5":"abc",
                "type":"jpeg"}]}]})" } },
            "e.json",
            { { QDate(2023, 3, 2),
                u"1. 朝 - 晴れ\n[写真: photos/abc.jpeg]\n#walk\n#night_walk #5"_qs } },
            0 },
        { "jrnl's journal file: an entry opens with its time and title",
            { { "journal.txt",
                "[2023-05-01 09:00] 朝。\n本文\n\n[2023-05-01 08:00:00 PM] 夜\n\n"
                "[2023-05-02 07:00] 翌朝\n" } },
            "journal.txt",
            { { QDate(2023, 5, 1), u"朝。\n本文\n\n夜"_qs }, { QDate(2023, 5, 2), u"翌朝"_qs } },
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

TEST_F(Import, ADayOnePhotoComesInWhereItsLinkStood)
{
    const QByteArray png("\x89PNG\r\n\x1A\n a photo", 17);
    const QByteArray gif("GIF89a unlinked");
    WriteZip(u"photos.zip"_qs,
        { { "Journal.json",
              R"({"entries":[{"creationDate":"2023-03-01T20:00:00Z","timeZone":"Asia/Tokyo",
                "text":"朝 ![](dayone-moment://P1) 晴れ","photos":[{"identifier":"P1","md5":"p1",
                "type":"png"},{"identifier":"P2","md5":"p2","type":"gif"}]}]})" },
            { "photos/p1.png", png }, { "photos/p2.gif", gif } });
    const TSource source = ReadSource(Path(u"photos.zip"_qs));
    const QString linked = PictureName(QDate(2023, 3, 2), png, u"png"_qs);
    const QString unlinked = PictureName(QDate(2023, 3, 2), gif, u"gif"_qs);
    EXPECT_EQ(source.Days.at(QDate(2023, 3, 2)),
        u"朝 \n"_qs + PictureLine(linked) + u"\n 晴れ\n"_qs + PictureLine(unlinked));
    EXPECT_TRUE(source.Media.isEmpty());
    EXPECT_EQ(CopyPictures({ source }, Path(u"Data/"_qs)), QStringList());
    EXPECT_EQ(ReadAll(PicturePath(Path(u"Data/"_qs), linked)), png);
    EXPECT_EQ(ReadAll(PicturePath(Path(u"Data/"_qs), unlinked)), gif);
}

TEST_F(Import, ARedNotebookPictureIsCopiedWhenItsFileIsThereAndNamedWhenNot)
{
    const QByteArray png("\x89PNG\r\n\x1A\n a photo", 17);
    Write({ { "pics/花.png", "" } });
    WriteAll(Path(u"pics/花.png"_qs), png);
    const QByteArray there = Path(u"pics/花"_qs).toUtf8();
    Write({ { "rn/2021-04.txt", "" } });
    WriteAll(Path(u"rn/2021-04.txt"_qs),
        "1: {text: \"庭 [\\\"\\\"" + there
            + "\\\"\\\".png?200] 咲いた\\n[\\\"\\\"file:///gone/x\\\"\\\".jpg]\"}\n");
    const TSource source = ReadSource(Path(u"rn"_qs));
    ASSERT_EQ(source.Error, QString());
    const QString name = PictureName(QDate(2021, 4, 1), png, u"png"_qs);
    EXPECT_EQ(source.Days.at(QDate(2021, 4, 1)),
        u"庭 \n"_qs + PictureLine(name) + u"\n 咲いた\n[\"\"file:///gone/x\"\".jpg]"_qs);
    EXPECT_EQ(source.Media, QStringList { u"/gone/x.jpg"_qs });
    EXPECT_EQ(CopyPictures({ source }, Path(u"Data/"_qs)), QStringList());
    EXPECT_EQ(ReadAll(PicturePath(Path(u"Data/"_qs), name)), png);
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
    WriteAll(Path(u"notes.txt"_qs), "hello");
    EXPECT_TRUE(ReadSource(Path(u"notes.txt"_qs)).Error.contains(u"of no kind import reads"_qs));
    const TSource zip = ReadSource(Path(u"full.zip"_qs));
    EXPECT_EQ(zip.Days.size(), 2u);
    EXPECT_EQ(zip.Media, QStringList { u"photos/abc.jpeg"_qs });
}

TEST_F(Import, DaysComeInThroughTheStoreOnceAndAWrittenDayKeepsBoth)
{
    auto store = NewStore(2023);
    store->SetDayText(Day(2023, 3, 2), sj("前から"));
    store->SetDayText(Day(2023, 3, 3), sj("朝\r\n"));
    store->SaveFile();
    const std::map<QDate, QString> days { { QDate(2023, 3, 1), u"一\n二"_qs },
        { QDate(2023, 3, 2), u"新しい"_qs }, { QDate(2023, 3, 3), u"朝\n夜"_qs },
        { QDate(2024, 1, 1), u"元日 😀"_qs } };
    const QList<TYearOutcome> first = TakeInto(*store, days);
    ASSERT_EQ(first.size(), 2);
    EXPECT_EQ(first[0].Added, QList<QDate> { QDate(2023, 3, 1) });
    EXPECT_EQ(first[0].Extended, QList<QDate> { QDate(2023, 3, 3) });
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

// Each year is written with its own day-name setting, whatever the store came with.
TEST_F(Import, EachYearKeepsItsOwnDayHeadings)
{
    WriteAll(Path(u"2023.jnl"_qs), "!JNL 1.00 2023\r\n\r\n!DAYNAME=FALSE\r\n");
    WriteAll(Path(u"2024.jnl"_qs), "!JNL 1.00 2024\r\n\r\n!DAYNAME=TRUE\r\n");
    auto store = NewStore(2025);
    store->SetDayName(true);
    TakeInto(*store, { { QDate(2023, 3, 1), u"a"_qs }, { QDate(2024, 3, 1), u"b"_qs } });
    EXPECT_TRUE(ReadAll(Path(u"2023.jnl"_qs)).contains("![2023/03/01]\r\n"));
    EXPECT_TRUE(ReadAll(Path(u"2024.jnl"_qs)).contains("![2024/03/01](" + sj("金") + ")\r\n"));
    EXPECT_TRUE(store->DayName());
}

// What would read back as another visible character is kept as a reference; look-alikes of the
// code page are counted by kind; what the editor refuses is named by code point.
TEST_F(Import, CharactersThatWouldChangeAreKeptCountedOrNamed)
{
    auto store = NewStore(2023);
    const QList<TYearOutcome> out = TakeInto(*store,
        { { QDate(2023, 3, 1), u"\u00A51,000 \u301C\u301C \u203E 😀"_qs },
            { QDate(2023, 3, 2), QString::fromUtf16(u"a\u0000b\u001Bc\u0085d\te", 9) } });
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(store->GetDayText(Day(2023, 3, 1)),
        "&#xA5;1,000 " + sj("～～") + " &#x203E; &#x1F600;\r\n");
    EXPECT_EQ(store->GetDayText(Day(2023, 3, 2)), "abcd\te\r\n");
    EXPECT_EQ(out[0].Changed, (QList<TCharacterCount> { { u"\u301C"_qs, u"\uFF5E"_qs, 2 } }));
    EXPECT_EQ(out[0].Referenced,
        (QList<TCharacterCount> {
            { u"\u00A5"_qs, {}, 1 }, { u"\u203E"_qs, {}, 1 }, { u"😀"_qs, {}, 1 } }));
    EXPECT_EQ(out[0].NotStored, QStringList { u"2023/03/02 U+0000 U+001B U+0085"_qs });
}

TEST_F(Import, WhatWouldNotFitIntoMemoryIsRefusedWithItsReason)
{
    QFile big(Path(u"big.json"_qs));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(qint64(65) << 20));
    big.close();
    WriteZip(u"bomb.zip"_qs, QByteArray(4 << 20, ' '));
    EXPECT_TRUE(ReadSource(Path(u"big.json"_qs)).Error.contains(u"too large"_qs));
    EXPECT_TRUE(ReadSource(Path(u"bomb.zip"_qs)).Error.contains(u"zip bomb"_qs));
}

TEST_F(Import, ALinkOutOfTheDayFolderIsNotFollowed)
{
    Write({ { "key.txt", "secret" }, { "d/2023-03-08.txt", "一" } });
    ASSERT_TRUE(QFile::link(Path(u"key.txt"_qs), Path(u"d/2023-03-09.txt"_qs)));
    const TSource source = ReadSource(Path(u"d"_qs));
    EXPECT_EQ(source.Days, (std::map<QDate, QString> { { QDate(2023, 3, 8), u"一"_qs } }));
    ASSERT_EQ(source.Skipped.size(), 1);
    EXPECT_TRUE(source.Skipped[0].Where.endsWith(u"2023-03-09.txt"_qs));
}

TEST_F(Import, ARedNotebookBackupZipAndAnUnknownZoneComeInAndTheGuessIsSaid)
{
    WriteZip(u"RedNotebook-Backup.zip"_qs, { { "2021-04.txt", "1: {text: a}\n" } });
    const TSource backup = ReadSource(Path(u"RedNotebook-Backup.zip"_qs));
    EXPECT_EQ(backup.Days, (std::map<QDate, QString> { { QDate(2021, 4, 1), u"a"_qs } }));
    Write({ { "mars.json",
        R"({"entries":[{"creationDate":"2023-03-01T12:00:00Z","timeZone":"Mars/Olympus",
        "text":"x"}]})" } });
    const TSource mars = ReadSource(Path(u"mars.json"_qs));
    EXPECT_EQ(mars.Days.size(), 1u);
    ASSERT_EQ(mars.Guessed.size(), 1);
    EXPECT_EQ(mars.Guessed[0].Detail, u"Mars/Olympus"_qs);
}

} // namespace
