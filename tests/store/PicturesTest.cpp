// Pictures of a day: the line that names one, and the files in the data folder.
#include "Pictures.h"

#include "PictureFiles.h"
#include "StoreTestSupport.h"

#include <QFileInfo>
#include <utime.h>

namespace {

const QByteArray kPng("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);
const QByteArray kJpeg("\xFF\xD8\xFF\xE0\0\x10JFIF", 10);

TEST(PictureLines, KindsAreKnownByTheirBytesNotTheirNames)
{
    const QByteArray bmp = QByteArray("BM") + QByteArray(24, '\0');
    const std::pair<QByteArray, const char *> rows[] = {
        { kJpeg, "jpg" },
        { kPng, "png" },
        { "GIF89a....", "gif" },
        { QByteArray("RIFF\0\0\0\0WEBPVP8 ", 16), "webp" },
        { bmp, "bmp" },
        { "%PDF-1.4", nullptr },
        { QByteArray("RIFF\0\0\0\0WAVEfmt ", 16), nullptr },
        { "BM is a bitmap", nullptr },
        { "", nullptr },
    };
    for (const auto &[bytes, kind] : rows) {
        const std::optional<QString> found = PictureKindOf(bytes);
        EXPECT_EQ(found.value_or(u"-"_qs).toStdString(), kind ? kind : "-") << bytes.toHex().data();
    }
}

TEST(PictureLines, ALineNamesAPictureOnlyInTheDiarysOwnForm)
{
    const std::pair<const char *, const char *> rows[] = {
        { "[写真 2026-12-09_3fa9c2d1.jpg]", "2026-12-09_3fa9c2d1.jpg" },
        { "  [写真 2026-12-09_3fa9c2d13fa9c2d1.webp]\r", "2026-12-09_3fa9c2d13fa9c2d1.webp" },
        { "[写真 2026-12-09_3fa9c2d.jpg]", nullptr }, // seven digits
        { "[写真 2026-12-09_3FA9C2D1.jpg]", nullptr },
        { "[写真 2026-02-30_3fa9c2d1.jpg]", nullptr },
        { "[写真 2026-12-09_3fa9c2d1.tif]", nullptr },
        { "[写真 ../2026-12-09_3fa9c2d1.jpg]", nullptr },
        { "今日の[写真 2026-12-09_3fa9c2d1.jpg]", nullptr },
        { "[写真2026-12-09_3fa9c2d1.jpg]", nullptr },
    };
    for (const auto &[line, name] : rows) {
        EXPECT_EQ(PictureOfLine(QString::fromUtf8(line)).value_or(u"-"_qs).toStdString(),
            name ? name : "-")
            << line;
    }
}

TEST(PictureLines, ANameTellsTheDayTheHashAndItsFolder)
{
    const QString name = PictureName(QDate(2026, 12, 9), "abc", u"png"_qs);
    // SHA-256 of "abc" begins ba7816bf 8f01cfea.
    EXPECT_EQ(name, u"2026-12-09_ba7816bf.png"_qs);
    EXPECT_EQ(PictureName(QDate(2026, 12, 9), "abc", u"png"_qs, 16),
        u"2026-12-09_ba7816bf8f01cfea.png"_qs);
    EXPECT_EQ(PictureFolderOf(name), u"photos/2026/"_qs);
    EXPECT_EQ(PictureOfLine(PictureLine(name)), name);
    EXPECT_EQ(
        PicturesOfText(u"朝\r\n[写真 2026-12-09_ba7816bf.png]\r\n夜\r\n"
                       u"[写真 2026-12-09_ba7816bf.png]\r\n[写真 2026-12-09_00000000.gif]"_qs),
        QStringList({ name, u"2026-12-09_00000000.gif"_qs }));
}

using PictureFiles = StoreInTempDir;

TEST_F(PictureFiles, TheSamePictureAddedTwiceIsOneFileAndIsNeverWrittenAgain)
{
    WriteAll(Path(u"a.png"_qs), kPng);
    const TPictureAdded first = AddPictureFile(Dir(), Path(u"a.png"_qs), QDate(2026, 12, 9));
    ASSERT_TRUE(first.Ok()) << first.Error.toStdString();
    const QString path = PicturePath(Dir(), first.Name);
    EXPECT_EQ(path, Dir() + u"photos/2026/"_qs + first.Name);
    EXPECT_EQ(ReadAll(path), kPng);
    struct stat before { };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0);
    QThread::msleep(20);
    EXPECT_EQ(AddPictureBytes(Dir(), kPng, QDate(2026, 12, 9), u"貼り付け"_qs).Name, first.Name);
    // The same file, not a new one put in its place; its time says it was added again.
    struct stat after { };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_GT(std::pair(after.st_mtim.tv_sec, after.st_mtim.tv_nsec),
        std::pair(before.st_mtim.tv_sec, before.st_mtim.tv_nsec));
    EXPECT_EQ(ReadAll(path), kPng);
    EXPECT_EQ(PictureFilesIn(Dir()), QStringList { first.Name });
}

TEST_F(PictureFiles, AnotherPictureUnderATakenNameGetsALongerOne)
{
    // A file of other bytes stands where the picture's name would lead.
    const QString name = PictureName(QDate(2026, 12, 9), kJpeg, u"jpg"_qs);
    QDir().mkpath(Dir() + u"photos/2026"_qs);
    WriteAll(PicturePath(Dir(), name), "other bytes");
    const TPictureAdded added = AddPictureBytes(Dir(), kJpeg, QDate(2026, 12, 9), u"x"_qs);
    EXPECT_EQ(added.Name, PictureName(QDate(2026, 12, 9), kJpeg, u"jpg"_qs, 16));
    EXPECT_EQ(ReadAll(PicturePath(Dir(), name)), "other bytes");
}

TEST_F(PictureFiles, WhatIsNoPictureIsRefusedByName)
{
    WriteAll(Path(u"手紙.pdf"_qs), "%PDF-1.4");
    const TPictureAdded added = AddPictureFile(Dir(), Path(u"手紙.pdf"_qs), QDate(2026, 12, 9));
    EXPECT_FALSE(added.Ok());
    EXPECT_TRUE(added.Error.contains(u"「手紙.pdf」"_qs)) << added.Error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Dir() + u"photos"_qs));
}

TEST_F(PictureFiles, AnUnnamedPictureIsPutAwayOnlyAfterThirtyDays)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString named = AddPictureBytes(Dir(), kPng, QDate(2026, 1, 2), u"x"_qs).Name;
    const QString old = AddPictureBytes(Dir(), kJpeg, QDate(2026, 1, 2), u"x"_qs).Name;
    const QString recent = AddPictureBytes(Dir(), "GIF89a", QDate(2026, 1, 2), u"x"_qs).Name;
    for (const QString &name : { named, old }) {
        const QByteArray path = QFile::encodeName(PicturePath(Dir(), name));
        const time_t then = now.addDays(-31).toSecsSinceEpoch();
        const utimbuf times { then, then };
        ASSERT_EQ(::utime(path.constData(), &times), 0);
    }
    const QStringList moved = PutAwayUnnamedPictures(Dir(), { named }, now);
    EXPECT_EQ(moved, QStringList { Dir() + u"backup/photos/"_qs + old });
    EXPECT_EQ(ReadAll(moved.value(0)), kJpeg);
    QStringList left { named, recent };
    left.sort();
    EXPECT_EQ(PictureFilesIn(Dir()), left);
}

} // namespace
