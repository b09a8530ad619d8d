#pragma once

#include "Cp932.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "KivDiary.h"
#include "Services.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/stat.h>

// Checks both the class of the exception and its exact message.
#define EXPECT_THROW_MSG(expr, Type, text)                                                         \
    do {                                                                                           \
        bool caught_ = false;                                                                      \
        try {                                                                                      \
            (void)(expr);                                                                          \
        } catch (const Type &e_) {                                                                 \
            caught_ = true;                                                                        \
            EXPECT_EQ(e_.Message().toStdString(), std::string(text)) << "from " #expr;             \
        } catch (const std::exception &e_) {                                                       \
            ADD_FAILURE() << #expr " threw another class: " << e_.what();                          \
            caught_ = true;                                                                        \
        }                                                                                          \
        if (!caught_)                                                                              \
            ADD_FAILURE() << #expr " did not throw " #Type;                                        \
    } while (false)

inline QByteArray sj(const char *utf8) { return cp932::Encode(QString::fromUtf8(utf8)); }

// The year of the tests' clock and their weekday names, for the format's functions.
constexpr int kYearNow = 2026;
inline TWeekdayNames JapaneseWeekdays()
{
    TWeekdayNames names;
    const char *const japanese[] = { "月", "火", "水", "木", "金", "土", "日" };
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = QString::fromUtf8(japanese[i]);
    return names;
}

// The bytes as the format reads the year's file in the given year; the contents written as the
// 2009 file, with weekday names, and read back.
inline TYearRead ReadYear(const QByteArray &bytes, int year = 2009, int thisYear = kYearNow)
{
    return ReadYearFile(bytes, year, thisYear);
}
inline TYearRead Reread(const TYearContents &contents)
{
    return ReadYear(WriteYearFile(contents, 2009, true, JapaneseWeekdays()));
}

inline double Day(int y, int m, int d) { return DateToDayNumber(QDate(y, m, d)); }

inline QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

inline void WriteAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(data), data.size());
}

// Writes the file in place and puts its modification time back, as cp -p, rsync -t and touch -r
// do; a moment passes first, so that the change time differs from the last write's.
inline void RewriteKeepingTime(const QString &path, const QByteArray &data)
{
    struct stat before { };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &before), 0) << path.toStdString();
    QThread::msleep(20);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(data), data.size());
    ASSERT_TRUE(f.flush());
    const timespec times[2] = { { 0, UTIME_OMIT }, before.st_mtim };
    ASSERT_EQ(::futimens(f.handle(), times), 0);
}

inline QByteArray Golden(const char *name)
{
    return ReadAll(qEnvironmentVariable("KIVLOG_STORE_TEST_DATA") + u'/' + QString::fromUtf8(name));
}

// Every test gets its own folder, a user's data and state folder of its own (where a year goes
// that cannot be saved, this machine's part of the backups' names), a clock pinned to 15 June 2026,
// Japanese weekday names and a record of what the store showed the user.
class StoreInTempDir : public ::testing::Test {
protected:
    StoreInTempDir()
        : FServices({ [this](const QString &m) { Shown << m; }, [this] { return Now; },
            [](int dow) { return JapaneseWeekdays()[static_cast<size_t>(dow - 1)]; } })
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(FHome.path()));
        qputenv("XDG_STATE_HOME", QFile::encodeName(FHome.path() + u"/state"_qs));
    }
    ~StoreInTempDir() override
    {
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("XDG_STATE_HOME");
    }

    QString Dir() const { return FDir.path() + u'/'; }
    // An empty folder again, and nothing remembered of it: for the next row of a table.
    void StartAfresh()
    {
        QDir(Dir()).removeRecursively();
        QDir(qEnvironmentVariable("XDG_STATE_HOME")).removeRecursively();
        QDir().mkpath(Dir());
    }
    QString Path(const QString &name) const { return Dir() + name; }

    // A store on the temporary folder, set up as the window sets up its own.
    std::unique_ptr<TKivDiary> NewStore(int year = 2009, bool open = true)
    {
        auto store = std::make_unique<TKivDiary>();
        store->SetBaseDir(FDir.path());
        store->SetExt(QStringLiteral("jnl"));
        store->SetYear(year);
        if (open)
            store->Open();
        return store;
    }

    QDateTime Now { QDate(kYearNow, 6, 15), QTime(12, 0) };
    QStringList Shown;

private:
    QTemporaryDir FDir;
    QTemporaryDir FHome;
    TScopedDiaryServices FServices;
};

// Texts in failure output read better as text than as QByteArray's default printout.
inline void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    QString shown = cp932::Decode(bytes);
    shown.replace(u'\r', u"\\r"_qs).replace(u'\n', u"\\n"_qs);
    *os << '"' << shown.toStdString() << '"';
}
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
