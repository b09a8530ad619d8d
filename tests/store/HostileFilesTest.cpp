// Year files that no diary wrote: huge, with huge lines, with bytes that are no text, damaged, or
// not files at all. Each is read or refused with a message, and none is written over; a year whose
// load failed or was cut short stays blocked until it is read again.
#include "ChildProcess.h"
#include "Messages.h"
#include "StoreTestSupport.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <new>
#include <sys/stat.h>

namespace {

class HostileYearFile : public StoreInTempDir {
protected:
    QString YearPath() const { return Path(u"2009.jnl"_qs); }

    // Writes 'contents' as the 2009 file and returns a store opened on it.
    std::unique_ptr<TKivDiary> Load(const QByteArray &contents)
    {
        WriteAll(YearPath(), contents);
        return NewStore(2009);
    }

    // Saves the store as it stands and reads the file back into a fresh store.
    std::unique_ptr<TKivDiary> SaveAndReload(std::unique_ptr<TKivDiary> store)
    {
        store->MarkModified();
        store->SaveFile();
        store.reset();
        return NewStore(2009);
    }

    // The load of 'contents' fails with 'message', and no later step of the store writes over
    // the file or beside it.
    void ExpectRefusedAndKept(const QByteArray &contents, const QString &message)
    {
        WriteAll(YearPath(), contents);
        const QStringList before = QDir(Dir()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
        auto store = NewStore(2009, false);
        EXPECT_THROW_MSG(store->Open(), Exception, message.toStdString());
        EXPECT_TRUE(store->Days().empty());
        EXPECT_THROW(store->SetDayText(Day(2009, 1, 5), "typed after the failure"), Exception);
        store->MarkModified();
        store->Close();
        store.reset();
        EXPECT_EQ(ReadAll(YearPath()), contents);
        EXPECT_EQ(QDir(Dir()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
    }
};

QString cannotOpen(const QString &path) { return Text(msg::kCannotOpen).arg(path); }

TEST_F(HostileYearFile, FiftyMegabytesLoadAndStayAsTheyAre)
{
    // Every day of 2009, the whole year over and over: each round replaces the texts of the
    // round before, and the last round differs from the others.
    const auto round = [](const QByteArray &text) {
        QByteArray blocks;
        for (QDate d(2009, 1, 1); d.year() == 2009; d = d.addDays(1)) {
            blocks += "!----------------\r\n![" + d.toString(u"yyyy/MM/dd"_qs).toLatin1()
                + "]\r\n!----------------\r\n" + text + "\r\n";
        }
        return blocks;
    };
    const QByteArray repeated = round(QByteArray(120, 'r') + "\r\n!!" + QByteArray(60, 'e'));
    const QByteArray last = round("last");
    QByteArray contents = "!JNL 1.00 2009\r\n\r\n!WIDTH=640\r\npreamble\r\n";
    contents.reserve(52 << 20);
    while (contents.size() < (50 << 20))
        contents += repeated;
    contents += last;
    WriteAll(YearPath(), contents);

    QElapsedTimer timer;
    timer.start();
    auto store = NewStore(2009);
    RecordProperty("load_ms", static_cast<int>(timer.elapsed()));

    ASSERT_EQ(store->Days().size(), 366u);
    EXPECT_EQ(store->GetDayText(Day(2009, 12, 31)), "last\r\n");
    EXPECT_EQ(store->Days()[0]->FText, "preamble");
    EXPECT_EQ(store->Settings(), QList<QByteArray> { "WIDTH=640" });
    EXPECT_FALSE(store->Modified());
    EXPECT_TRUE(Shown.isEmpty());
    store->Close();
    store.reset();
    EXPECT_EQ(ReadAll(YearPath()), contents);
    EXPECT_FALSE(QFileInfo::exists(Path(u"2009.bak"_qs)));
}

TEST_F(HostileYearFile, MegabyteLinesComeBackWhole)
{
    const QByteArray mega(1 << 20, 'm');
    const QByteArray contents = "!JNL 1.00 2009\r\n!NOTE=" + mega + "\r\n" + mega + "\r\n"
        + "![2009/01/05]\r\n" + mega
        + "\r\n"
        // The reader ignores everything after the "]"; blanks may stand before every number.
        + "![2009/01/06]" + mega + "\r\nsix\r\n" + "![" + QByteArray(1 << 20, ' ')
        + "2009/01/07]\r\nseven\r\n";
    auto store = Load(contents);
    EXPECT_TRUE(Shown.isEmpty());
    EXPECT_EQ(store->GetSetting("NOTE"), mega);
    EXPECT_EQ(store->Days()[0]->FText, mega);
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), mega + "\r\n");
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 6)), "six\r\n");
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 7)), "seven\r\n");

    auto reread = SaveAndReload(std::move(store));
    EXPECT_EQ(ReadAll(Path(u"2009.bak"_qs)), contents);
    EXPECT_EQ(reread->GetSetting("NOTE"), mega);
    EXPECT_EQ(reread->Days()[0]->FText, mega);
    EXPECT_EQ(reread->GetDayText(Day(2009, 1, 5)), mega + "\r\n");
    EXPECT_EQ(reread->GetDayText(Day(2009, 1, 7)), "seven\r\n");
    EXPECT_TRUE(Shown.isEmpty());
}

TEST_F(HostileYearFile, MegabyteHeadersAreRefusedLikeShortOnes)
{
    // Reading a number stops at four digits, so a megabyte of them is an unreadable date.
    const QByteArray nines(1 << 20, '9');
    const TYearRead year = ReadYear("!JNL 1.00 2009\r\n![" + nines + "]\r\nrejected\r\n");
    EXPECT_EQ(year.Messages,
        QStringList { u'"' + QString::fromLatin1(nines) + u'"' + Text(msg::kBadDateTail) });
    EXPECT_EQ(year.Contents.ErrorData, "!![" + nines + "]\r\nrejected");

    ExpectRefusedAndKept("!JNL 1.00 2009" + QByteArray(1 << 20, 'x') + "\r\n", Text(msg::kBadData));
}

TEST_F(HostileYearFile, NulBytesAreKeptInTextsAndRefusedInStructure)
{
    const QByteArray nul(1, '\0');
    const QByteArray day = "a" + nul + "b\r\n" + nul + "!x";
    const TYearRead year = ReadYear("!JNL 1.00 2009\r\n!KEY" + nul + "=v" + nul + "\r\npre" + nul
        + "\r\n![2009/01/05]\r\n" + day + "\r\n![2009/01/06" + nul + "]\r\nbad\r\n");
    EXPECT_EQ(year.Contents.Settings, QList<QByteArray> { "KEY" + nul + "=v" + nul });
    EXPECT_EQ(
        year.Contents.Days, std::vector<TDayText> { TDayText(day + "\r\n", Day(2009, 1, 5)) });
    // A NUL ends no string here: the date text and the message keep all of it.
    EXPECT_EQ(year.Contents.ErrorData, "!![2009/01/06" + nul + "]\r\nbad");
    EXPECT_EQ(year.Messages, QStringList { u"\"2009/01/06\u0000\"は不正な日付けです。"_qs });

    const TYearRead again = Reread(year.Contents);
    EXPECT_EQ(again.Contents.Settings, year.Contents.Settings);
    EXPECT_EQ(again.Contents.Preamble,
        "pre" + nul + "\r\n!ErrorData\r\n!![2009/01/06" + nul + "]\r\nbad\r\n!End");
    EXPECT_EQ(again.Contents.Days, year.Contents.Days);
    EXPECT_TRUE(again.Messages.isEmpty());

    ExpectRefusedAndKept("!JNL 1.00 2009" + nul + "\r\n", Text(msg::kBadData));
    ExpectRefusedAndKept(QByteArray(4096, '\0'), Text(msg::kBadData));
    ExpectRefusedAndKept(QByteArray(), Text(msg::kBadData));
}

TEST_F(HostileYearFile, BytesThatAreNoCp932PassThroughUnchanged)
{
    // Bytes no character uses, a lead byte before a line break, and a lead byte at the very
    // end of the file.
    const QByteArray odd("\x80\xA0\xFD\xFE\xFF", 5);
    const QByteArray day = odd + "\x81\r\n!" + odd + "\x9F";
    const TYearRead year = ReadYear("!JNL 1.00 2009\r\n" + odd + "\r\n![" + odd + "]\r\nrejected "
        + odd + "\r\n![2009/01/05]\r\n" + day + "\r\n![2009/01/06]\r\nend\xE0");
    const std::vector<TDayText> days { { day + "\r\n", Day(2009, 1, 5) },
        { "end\xE0\r\n", Day(2009, 1, 6) } };
    EXPECT_EQ(year.Contents.Preamble, odd);
    EXPECT_EQ(year.Contents.Days, days);
    EXPECT_EQ(year.Contents.ErrorData, "!![" + odd + "]\r\nrejected " + odd);
    EXPECT_EQ(year.Messages,
        QStringList { u"\"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\"は不正な日付けです。"_qs });
    EXPECT_EQ(Reread(year.Contents).Contents.Days, days);
}

TEST(SettingNames, BytesThatDoNotDecodeMatchOnlyThemselves)
{
    TKivDiary store;
    store.SetSetting("\xFF", "first");
    store.SetSetting("\xFE", "second");
    EXPECT_EQ(store.Settings(), (QList<QByteArray> { "\xFF=first", "\xFE=second" }));
    EXPECT_EQ(store.GetSetting("\xFE"), "second");
}

TEST_F(HostileYearFile, ThingsThatAreNoFileAreRefusedAtOnce)
{
    // A pipe would wait for a writer forever and a device never ends; neither is a year file.
    const QString path = YearPath();
    ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0644), 0);
    const std::string message = cannotOpen(path).toStdString();
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        auto store = NewStore(2009, false);
        check.ExpectEq(ThrownMessage<EFOpenError>([&] { store->Open(); }),
            std::optional(QString::fromStdString(message)), "a pipe is refused");
        store->MarkModified();
        store->Close();
    });
    struct stat info { };
    EXPECT_TRUE(::stat(path.toLocal8Bit().constData(), &info) == 0 && S_ISFIFO(info.st_mode));

    QFile::remove(path);
    ASSERT_TRUE(QFile::link(u"/dev/zero"_qs, path));
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        auto store = NewStore(2009, false);
        check.ExpectEq(ThrownMessage<EFOpenError>([&] { store->Open(); }),
            std::optional(QString::fromStdString(message)), "an endless device is refused");
    });
    EXPECT_EQ(QFileInfo(path).symLinkTarget(), u"/dev/zero"_qs);
}

TEST_F(HostileYearFile, FileWithoutReadPermissionIsRefusedAndNeverWritten)
{
    // Writable but not readable: the store could write over it, and must not.
    const QByteArray contents = "!JNL 1.00 2010\r\n![2010/01/01]\r\nunread\r\n";
    const QString path = Path(u"2010.jnl"_qs);
    WriteAll(path, contents);
    EXPECT_IN_CHILD(TChildUser::Unprivileged, Dir(), [&](TChildChecks &check) {
        check.Expect(::chmod(path.toLocal8Bit().constData(), 0200) == 0, "chmod");
        const QString message = cannotOpen(path);
        auto store = NewStore(2009);
        store->SetDayText(Day(2009, 12, 31), "old year");
        check.ExpectEq(ThrownMessage<EFOpenError>([&] { store->GetDayText(Day(2010, 1, 1)); }),
            std::optional(message), "the year switch names the file");
        check.Expect(ReadAll(Path(u"2009.jnl"_qs)).contains("old year"), "the old year saved");
        check.ExpectEq(
            ThrownMessage<EKivDiaryError>([&] { store->SetDayText(Day(2010, 1, 2), "x"); }),
            std::optional(message), "the year stays blocked");
        store->MarkModified();
        store->Close();
        store.reset();
        check.Expect(::chmod(path.toLocal8Bit().constData(), 0600) == 0, "chmod back");
    });
    EXPECT_EQ(ReadAll(path), contents);
    EXPECT_FALSE(QFileInfo::exists(Path(u"2010.bak"_qs)));
}

TEST_F(HostileYearFile, AYearThatFailedToLoadIsNeverWritten)
{
    const QByteArray damaged = "!JNL 1.00 2010x\r\n![2010/01/01]\r\nprecious\r\n";
    WriteAll(Path(u"2010.jnl"_qs), damaged);
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 12, 31), "saved on the way out");
    EXPECT_THROW_MSG(store->GetDayText(Day(2010, 1, 1)), EKivDiaryError, msg::kBadData);
    EXPECT_EQ(store->Year(), 2010);
    EXPECT_EQ(store->LoadError(), Text(msg::kBadData));
    EXPECT_TRUE(ReadAll(Path(u"2009.jnl"_qs)).contains("saved on the way out"));

    EXPECT_THROW_MSG(store->GetDayText(Day(2010, 1, 1)), EKivDiaryError, msg::kBadData);
    EXPECT_THROW_MSG(store->SetDayText(Day(2010, 1, 2), "lost"), EKivDiaryError, msg::kBadData);
    EXPECT_TRUE(store->Days().empty());

    store->MarkModified();
    store->SaveFile();
    EXPECT_FALSE(store->Modified());
    store->MarkModified();
    store->Close();
    EXPECT_FALSE(store->Modified());
    EXPECT_EQ(ReadAll(Path(u"2010.jnl"_qs)), damaged);
    EXPECT_FALSE(QFileInfo::exists(Path(u"2010.bak"_qs)));

    // Repaired by hand, the year opens again.
    WriteAll(Path(u"2010.jnl"_qs), "!JNL 1.00 2010\r\n![2010/01/01]\r\nprecious\r\n");
    store->Open();
    EXPECT_EQ(store->LoadError(), QString());
    EXPECT_EQ(store->GetDayText(Day(2010, 1, 1)), "precious\r\n");
}

TEST_F(HostileYearFile, AnUnreadableYearFileBlocksItsYearWithTheFileMessage)
{
    QDir(Dir()).mkdir(u"2010.jnl"_qs);
    auto store = NewStore(2010, false);
    const std::string message = cannotOpen(Path(u"2010.jnl"_qs)).toStdString();
    EXPECT_THROW_MSG(store->Open(), EFOpenError, message);
    EXPECT_TRUE(store->Active());
    EXPECT_THROW_MSG(store->GetDayText(Day(2010, 3, 3)), EKivDiaryError, message);

    // Leaving the year ends it; the other year works as usual.
    store->SetDayText(Day(2011, 3, 3), "fine");
    EXPECT_EQ(store->LoadError(), QString());
    EXPECT_EQ(store->GetDayText(Day(2011, 3, 3)), "fine");
}

TEST_F(HostileYearFile, ALoadCutShortByAForeignExceptionBlocksItsYear)
{
    // The message about the bad date is where the load is cut short, after the first day.
    const QByteArray file = "!JNL 1.00 2009\r\n![2009/01/05]\r\nfirst\r\n![2009/02/30]\r\n"
                            "![2009/01/06]\r\nlast\r\n";
    WriteAll(Path(u"2009.jnl"_qs), file);
    {
        TScopedDiaryServices failing({ [](const QString &) { throw std::bad_alloc(); }, {}, {} });
        auto store = NewStore(2009, false);
        EXPECT_THROW(store->Open(), std::bad_alloc);
        EXPECT_THROW(store->SetDayText(Day(2009, 1, 7), "typed"), EKivDiaryError);
        store->MarkModified();
        store->SaveFile();
    }
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), file);
}

} // namespace
