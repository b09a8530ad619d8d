// Reading and writing year files.
#include "Cp932.h"
#include "DayNumber.h"
#include "DiskCopies.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "LineBreaks.h"
#include "Messages.h"
#include "Numbers.h"
#include "Services.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

namespace {

QString text(const char *utf8) { return QString::fromUtf8(utf8); }

constexpr QByteArrayView kCrLf("\r\n");

bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

QByteArrayView skipBlanksAndControls(QByteArrayView s)
{
    qsizetype i = 0;
    while (i < s.size() && isBlankOrControl(s[i]))
        ++i;
    return s.sliced(i);
}

// Cuts the text into lines at CR LF, lone CR and lone LF; a break at the very end opens no
// further line. The callback also learns whether its line ended in CR LF.
template <typename Fn> void forEachLine(QByteArrayView data, Fn &&fn)
{
    const char *p = data.data();
    const char *const end = p + data.size();
    while (p < end) {
        const char *stop = linebreaks::FindBreak(p, end);
        const bool crLf = end - stop >= 2 && stop[0] == '\r' && stop[1] == '\n';
        fn(QByteArrayView(p, stop - p), crLf);
        p = stop + (crLf ? 2 : 1);
    }
}

// Blanks (byte 32 only) may stand around the parts of a day header's date.
void skipSpaces(QByteArrayView s, qsizetype &i)
{
    while (i < s.size() && s[i] == ' ')
        ++i;
}

// A run of decimal digits; reading stops once the value has reached 1000, so "20091" reads
// as 2009 and leaves the 1 behind.
bool readNumber(QByteArrayView s, qsizetype &i, int &value, int &digits)
{
    value = 0;
    digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && value < 1000) {
        value = value * 10 + (s[i] - '0');
        ++digits;
        ++i;
    }
    return digits > 0;
}

// The date text of a day header: year/month/day in that fixed order whatever the locale says,
// or month/day of the current year.
std::optional<QDate> readHeaderDate(QByteArrayView s)
{
    qsizetype i = 0;
    int numbers[3] = {};
    int digits[3] = {};
    int count = 0;
    skipSpaces(s, i);
    if (!readNumber(s, i, numbers[0], digits[0]))
        return std::nullopt;
    count = 1;
    skipSpaces(s, i);
    if (i >= s.size() || s[i] != '/')
        return std::nullopt;
    ++i;
    skipSpaces(s, i);
    if (!readNumber(s, i, numbers[1], digits[1]))
        return std::nullopt;
    count = 2;
    skipSpaces(s, i);
    if (i < s.size()) {
        if (s[i] != '/')
            return std::nullopt;
        ++i;
        skipSpaces(s, i);
        if (!readNumber(s, i, numbers[2], digits[2]))
            return std::nullopt;
        count = 3;
        skipSpaces(s, i);
        if (i < s.size() && s[i] == '/') {
            ++i;
            skipSpaces(s, i);
        }
        if (i < s.size())
            return std::nullopt;
    }

    // The clock is asked only when the date needs it: it is slow, and a year file has hundreds
    // of headers.
    const auto currentYear = [] { return DiaryNow().date().year(); };
    int year = 0;
    int month = numbers[0];
    int day = numbers[1];
    if (count == 2) {
        year = currentYear();
    } else {
        year = numbers[0];
        month = numbers[1];
        day = numbers[2];
        if (digits[0] <= 2) {
            // The hundred years that begin 50 years before now.
            const int start = currentYear() - 50;
            year += start - start % 100;
            if (year < start)
                year += 100;
        }
    }
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day))
        return std::nullopt;
    return QDate(year, month, day);
}

bool startsWith2(QByteArrayView line, char first, char second)
{
    return line.size() >= 2 && line[0] == first && line[1] == second;
}

bool isDayHeader(QByteArrayView line, qsizetype &close)
{
    if (!startsWith2(line, '!', '['))
        return false;
    // "]" can be the second byte of a double-byte character, so scan by character.
    close = cp932::IndexOf(line, ']');
    return close >= 7;
}

bool isSettingLine(QByteArrayView line)
{
    return line.startsWith('!') && cp932::IndexOf(line, '=') >= 2;
}

void appendErrorLine(QByteArray &errorData, QByteArrayView line)
{
    if (!errorData.isEmpty())
        errorData += kCrLf;
    errorData += line;
}

QByteArray readWholeFile(const QString &path)
{
    QFile file(path);
    // Only a plain file is a year file: a folder opens for reading on some systems, a pipe
    // would wait for a writer forever, and a device such as /dev/zero never ends.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw EFOpenError(text(msg::kCannotOpen).arg(path));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFOpenError(text(msg::kCannotOpen).arg(path));
    return data;
}

// The text of a day block: its lines, each followed by CR LF. In a file written with CR LF the
// lines of a block mostly stand together, so they are taken as one piece of the file instead of
// line by line.
class TDayCollector {
public:
    void Add(QByteArrayView line, bool endsInCrLf)
    {
        if (endsInCrLf && FEnd == line.data()) {
            FEnd = line.data() + line.size() + 2;
            return;
        }
        Flush();
        if (endsInCrLf) {
            FBegin = line.data();
            FEnd = line.data() + line.size() + 2;
        } else {
            FText += line;
            FText += kCrLf;
        }
    }
    QByteArray Take()
    {
        Flush();
        return std::exchange(FText, QByteArray());
    }

private:
    void Flush()
    {
        if (FBegin != FEnd)
            FText += QByteArrayView(FBegin, FEnd - FBegin);
        FBegin = FEnd = nullptr;
    }
    QByteArray FText;
    const char *FBegin = nullptr;
    const char *FEnd = nullptr;
};

// The first line of a year file of the given year; throws what makes the whole file unreadable,
// else returns where the first line ends.
qsizetype checkFirstLine(const QByteArray &data, int expectedYear)
{
    // A file of zero bytes has no first line to check; it is as unreadable as a bad one.
    const QByteArrayView all(data);
    qsizetype firstEnd = 0;
    while (firstEnd < all.size() && all[firstEnd] != '\r' && all[firstEnd] != '\n')
        ++firstEnd;
    double version = 0;
    quint16 year = 0;
    if (data.isEmpty() || !TKivDiary::ParseHeader(data.left(firstEnd), version, year))
        throw EKivDiaryError(text(msg::kBadData));
    if (version != 1)
        throw EKivDiaryError(
            text(msg::kBadVersionHead) + FormatShortest(version) + text(msg::kBadVersionTail));
    if (static_cast<int>(year) != expectedYear)
        throw EKivDiaryError(text(msg::kYearMismatch));
    return firstEnd;
}

QString crLf() { return QStringLiteral("\r\n"); }

// Counts a running load or save, so that what a message box lets run meanwhile stays out.
class TBusyScope {
public:
    explicit TBusyScope(int &busy)
        : FBusy(busy)
    {
        ++FBusy;
    }
    ~TBusyScope() { --FBusy; }
    TBusyScope(const TBusyScope &) = delete;
    TBusyScope &operator=(const TBusyScope &) = delete;

private:
    int &FBusy;
};

// A folder that takes no new files: the file there may still be written over in place.
bool noNewFiles(const TFileWrite &failed)
{
    return failed.Errno == EACCES || failed.Errno == EPERM;
}

// The backup is a courtesy: when it cannot be made the save goes on without it. True when the
// backup holds 'contents' (the year file as the diary verified it) in full.
bool makeBackup(const QString &path, QByteArrayView contents, const TFileAccess &access)
{
    const QString bak = BackupPathOf(path);
    const TFileWrite written = ReplaceFile(bak, contents, access);
    if (written)
        return true;
    if (!noNewFiles(written) || !QFileInfo(bak).isFile() || QFileInfo(bak).isSymLink())
        return false;
    // An existing backup is written over instead, and put back when that fails.
    QFile old(bak);
    if (!old.open(QIODevice::ReadOnly))
        return false;
    const QByteArray older = old.readAll();
    if (old.error() != QFileDevice::NoError)
        return false;
    old.close();
    return bool(OverwriteInPlace(bak, contents, access, QByteArrayView(older)));
}

QByteArrayView trimTrailing(QByteArrayView s)
{
    qsizetype n = s.size();
    while (n > 0 && isBlankOrControl(s[n - 1]))
        --n;
    return s.first(n);
}

// Position of the next CR LF followed by 'bangs' exclamation marks at or after 'from', or -1.
// Searched by LF with memchr: day texts are long and such lines are rare.
qsizetype findBreakBang(QByteArrayView s, qsizetype from, int bangs)
{
    const char *const begin = s.data();
    const char *const end = begin + s.size();
    for (const char *p = begin + from; p < end; ++p) {
        p = static_cast<const char *>(std::memchr(p, '\n', end - p));
        if (!p)
            return -1;
        if (p > begin + from && p[-1] == '\r' && end - p > bangs && p[1] == '!'
            && (bangs == 1 || p[2] == '!'))
            return p - 1 - begin;
    }
    return -1;
}

void appendEscaped(QByteArray &out, QByteArrayView s)
{
    if (s.isEmpty())
        return;
    if (s[0] == '!')
        out += '!';
    qsizetype from = 0;
    for (;;) {
        const qsizetype hit = findBreakBang(s, from, 1);
        if (hit < 0)
            break;
        out += s.sliced(from, hit + 3 - from);
        out += '!';
        from = hit + 3;
    }
    out += s.sliced(from);
}

} // namespace

QByteArray TKivDiary::EscapeText(const QByteArray &value)
{
    QByteArray out;
    out.reserve(value.size() + 8);
    appendEscaped(out, value);
    return out;
}

QByteArray TKivDiary::UnescapeText(const QByteArray &value)
{
    if (value.isEmpty())
        return value;
    QByteArrayView s(value);
    const bool leading = s.startsWith("!!");
    qsizetype from = 0;
    if (!leading && findBreakBang(s, 0, 2) < 0)
        return value;
    QByteArray out;
    out.reserve(value.size());
    if (leading)
        s = s.sliced(1);
    for (;;) {
        const qsizetype hit = findBreakBang(s, from, 2);
        if (hit < 0)
            break;
        out += s.sliced(from, hit + 3 - from);
        from = hit + 4;
    }
    out += s.sliced(from);
    return out;
}

bool TKivDiary::ParseHeader(const QByteArray &line, double &version, quint16 &year)
{
    if (!line.startsWith("!JNL"))
        return false;
    QByteArrayView rest = skipBlanksAndControls(QByteArrayView(line).sliced(4));
    const qsizetype blank = rest.indexOf(' ');
    const QByteArrayView versionText = blank > 0 ? rest.first(blank) : QByteArrayView();
    double parsedVersion = 0;
    if (!TryStrToDouble(versionText, parsedVersion))
        return false;
    rest = skipBlanksAndControls(rest.sliced(blank + 1));
    // Nothing may follow the year, not even a blank.
    qint32 parsedYear = 0;
    if (!TryStrToInt32(rest, parsedYear, THexMarks::YearFileHeader))
        return false;
    version = parsedVersion;
    year = static_cast<quint16>(parsedYear);
    return true;
}

void TKivDiary::LoadFile()
{
    if (!FActive)
        throw EKivDiaryError(text(msg::kNotActive));
    FErrorData.clear();
    FSettings.clear();
    FLoadError.clear();
    FModifiedByLoad = false;
    FDisk = TFileIdentity();
    FReportedDamaged = TFileIdentity();
    std::optional<TBusyScope> busy(std::in_place, FBusy);
    try {
        const QString path = FilePath();
        if (QFileInfo::exists(path)) {
            // Taken before the read: a change during the read then shows as a change later.
            TFileIdentity seen = StatFile(path);
            const QByteArray data = readWholeFile(path);
            seen.Hash = HashBytes(data);
            FDisk = seen;
            ReadLines(data);
        } else {
            FDays.push_back(std::make_unique<TDayText>(QByteArray(), 0));
            FModified = false;
        }
    } catch (const Exception &e) {
        FLoadError = e.Message();
        throw;
    } catch (const std::exception &e) {
        FLoadError = QString::fromLocal8Bit(e.what());
        throw;
    }
    busy.reset();
    emit Loaded();
}

void TKivDiary::ReadLines(const QByteArray &data)
{
    const QByteArrayView all(data);
    const qsizetype firstEnd = checkFirstLine(data, FYear);

    qsizetype restStart = firstEnd;
    if (restStart < all.size()) {
        if (all[restStart] == '\r' && restStart + 1 < all.size() && all[restStart + 1] == '\n')
            restStart += 2;
        else
            restStart += 1;
    }

    enum class State { Preamble, Day, Rejected };
    State state = State::Preamble;
    QByteArray preamble;
    TDayCollector day;
    bool escaped = false;
    double blockDate = 0;

    const auto finishBlock = [&] {
        if (state == State::Preamble) {
            FDays.push_back(std::make_unique<TDayText>(preamble, 0));
        } else if (state == State::Day) {
            const QByteArray collected = day.Take();
            // Only lines that begin with "!!" have anything to undo.
            if (!collected.isEmpty())
                StoreDayText(blockDate, escaped ? UnescapeText(collected) : collected);
            escaped = false;
        }
    };

    forEachLine(all.sliced(restStart), [&](QByteArrayView line, bool endsInCrLf) {
        qsizetype close = -1;
        if (isDayHeader(line, close)) {
            finishBlock();
            const QByteArrayView dateText = line.sliced(2, close - 2);
            const std::optional<QDate> date = readHeaderDate(dateText);
            if (!date) {
                ShowDiaryMessage(u'"' + cp932::Decode(dateText) + u'"' + text(msg::kBadDateTail));
            } else if (date->year() != FYear) {
                ShowDiaryMessage(text(msg::kDateOutOfRangeHead)
                    + FormatDate(QStringLiteral("yyyy/mm/dd"), *date)
                    + text(msg::kDateOutOfRangeTail));
            } else {
                blockDate = DateToDayNumber(*date);
                state = State::Day;
                return;
            }
            if (!FErrorData.isEmpty())
                FErrorData += kCrLf;
            FErrorData += '!';
            FErrorData += line;
            state = State::Rejected;
            return;
        }
        switch (state) {
        case State::Preamble:
            if (startsWith2(line, '!', '-'))
                break;
            if (isSettingLine(line)) {
                FSettings.append(line.sliced(1).toByteArray());
                break;
            }
            if (!preamble.isEmpty())
                preamble += kCrLf;
            preamble += line;
            break;
        case State::Day:
            if (!startsWith2(line, '!', '-')) {
                escaped = escaped || startsWith2(line, '!', '!');
                day.Add(line, endsInCrLf);
            }
            break;
        case State::Rejected:
            appendErrorLine(FErrorData, line);
            break;
        }
    });
    finishBlock();
    FModified = !FErrorData.isEmpty();
    FModifiedByLoad = FModified;
}

void TKivDiary::SaveFile()
{
    if (!FActive)
        throw EKivDiaryError(text(msg::kNotActive));
    // A year whose file could not be read is never written over that file.
    if (!FLoadError.isEmpty()) {
        FModified = false;
        return;
    }
    SortDays();

    const QString path = FilePath();
    TBusyScope busy(FBusy);
    // What the save has to say waits until the year file is written: a message box lets events
    // and other programs run, and nothing they do to the file may fall between the last look at
    // the disk and the write that relies on it.
    QStringList notices;
    std::optional<QByteArray> onDisk;
    QString unreadable;
    const TDiskVerdict verdict = VerifyBeforeSave(path, onDisk, unreadable);
    const TFileAccess access = AccessForSave(path);
    if (verdict == TDiskVerdict::Other) {
        const TFileWrite kept
            = WriteUnderFreeName(ConflictPathBase(path, DiaryNow()), *onDisk, access);
        if (!kept)
            throw EFCreateError(text(msg::kCannotCreate).arg(kept.Path));
        notices << text(msg::kOtherVersionKept) + crLf() + kept.Path;
    }
    const QFileInfo existing(path);
    bool backedUp = false;
    if (verdict == TDiskVerdict::Damaged) {
        // Nothing is copied from a file that is not the diary's any more: the .bak and the dated
        // backups keep versions the diary read or wrote.
    } else if (onDisk) {
        backedUp = makeBackup(path, *onDisk, access);
        MakeDatedBackupOnce(*onDisk, access, notices);
    } else if (!existing.exists()) {
        // Also for a year file that was deleted or moved away since it was read: it is written
        // again, and the notice asks nothing.
        notices << u'[' + path + text(msg::kCreateNoticeTail);
    }
    const auto showNotices = [&] {
        for (const QString &notice : std::as_const(notices))
            ShowDiaryMessage(notice);
    };

    const QByteArrayView separator
        = FDayName ? QByteArrayView("!----------------") : QByteArrayView("!------------");
    std::array<QByteArray, 8> dayNames; // encoded once per save, by Qt's day of week
    qsizetype estimate = 64;
    for (const auto &entry : FDays)
        estimate += entry->FText.size() + 64;
    for (const QByteArray &setting : FSettings)
        estimate += setting.size() + 3;
    estimate += FErrorData.size() + 32;

    QByteArray out;
    out.reserve(estimate);
    out += "!JNL 1.00 ";
    out += QByteArray::number(FYear);
    out += kCrLf;
    if (!FSettings.isEmpty()) {
        out += kCrLf;
        for (const QByteArray &setting : FSettings) {
            out += '!';
            out += setting;
            out += kCrLf;
        }
    }
    if (!FDays.empty())
        out += FDays.front()->FText;
    out += kCrLf;
    if (!FErrorData.isEmpty()) {
        out += "!ErrorData\r\n";
        out += FErrorData;
        out += "\r\n!End\r\n";
    }
    for (size_t i = 1; i < FDays.size(); ++i) {
        const TDayText &entry = *FDays[i];
        const QDate date = DayNumberToDate(entry.FDate);
        out += separator;
        out += kCrLf;
        char header[32];
        const int n = std::snprintf(
            header, sizeof header, "![%04d/%02d/%02d]", date.year(), date.month(), date.day());
        out += QByteArrayView(header, n);
        if (FDayName) {
            QByteArray &name = dayNames[static_cast<size_t>(date.dayOfWeek())];
            if (name.isEmpty())
                name = cp932::Encode(FormatDate(QStringLiteral("ddd"), date));
            out += '(';
            out += name;
            out += ')';
        }
        out += kCrLf;
        out += separator;
        out += kCrLf;
        appendEscaped(out, trimTrailing(entry.FText));
        out += kCrLf;
    }

    if (verdict == TDiskVerdict::Damaged) {
        // The same text kept once beside the same damaged file needs no second copy.
        const size_t hash = HashBytes(out);
        if (!FKeptOwnBeside.SameStat(FReportedDamaged) || FKeptOwnHash != hash) {
            const TFileWrite kept
                = WriteUnderFreeName(ConflictPathBase(path, DiaryNow()), out, access);
            if (!kept)
                throw EFCreateError(text(msg::kCannotCreate).arg(kept.Path));
            FKeptOwnBeside = FReportedDamaged;
            FKeptOwnHash = hash;
            notices << text(msg::kChangedUnreadable) + crLf() + path + crLf()
                    + (unreadable.isEmpty() ? QString() : unreadable + crLf())
                    + text(msg::kOwnVersionKept) + crLf() + kept.Path;
        }
        FModified = false;
        FModifiedByLoad = false;
        emit Saved();
        showNotices();
        return;
    }

    // Written beside the old file and renamed over it, so a failed write leaves the old file.
    // Whatever stands there that is no plain file (a folder, a pipe, a link) is not the diary's
    // to replace.
    TFileWrite written = ReplaceFile(path, out, access);
    if (!written && noNewFiles(written) && backedUp && existing.isFile()) {
        // A folder that takes no new files, around a year file that may be written: with the
        // previous text whole in the backup, the year file is written in place.
        written = OverwriteInPlace(path, out, access, QByteArrayView(*onDisk));
    }
    if (!written)
        throw EFCreateError(text(msg::kCannotCreate).arg(path));
    FDisk = StatFile(path);
    FDisk.Hash = HashBytes(out);
    FReportedDamaged = TFileIdentity();
    FModified = false;
    FModifiedByLoad = false;
    emit Saved();
    showNotices();
}

TFileAccess TKivDiary::AccessForSave(const QString &path) const
{
    // Another program's version may have come more open than the year file the diary last saw,
    // or in a mode the diary cannot read: its text and copies take the mode and group of that
    // year file as the diary last saw it.
    if (FDisk.Exists)
        return { FDisk.Mode, FDisk.Group };
    return AccessOfFile(path);
}

TKivDiary::TDiskVerdict TKivDiary::VerifyBeforeSave(
    const QString &path, std::optional<QByteArray> &onDisk, QString &unreadable)
{
    TFileIdentity seen = StatFile(path);
    if (!seen.Exists)
        return TDiskVerdict::Ours;
    // Read even when unchanged: the backups are made of the bytes looked at here.
    try {
        onDisk = readWholeFile(path);
    } catch (const Exception &e) {
        if (seen.SameStat(FDisk))
            return TDiskVerdict::Ours; // the diary's own file, no longer readable to it
        unreadable = e.Message();
        FReportedDamaged = seen;
        return TDiskVerdict::Damaged;
    }
    if (seen.SameStat(FDisk))
        return TDiskVerdict::Ours;
    seen.Hash = HashBytes(*onDisk);
    if (FDisk.Exists && seen.Hash == FDisk.Hash && seen.Size == FDisk.Size) {
        // Touched or copied back unchanged: still the version this store holds.
        FDisk = seen;
        return TDiskVerdict::Ours;
    }
    try {
        checkFirstLine(*onDisk, FYear);
    } catch (const Exception &e) {
        unreadable = e.Message();
        FReportedDamaged = seen;
        return TDiskVerdict::Damaged;
    }
    return TDiskVerdict::Other;
}

void TKivDiary::MakeDatedBackupOnce(
    const QByteArray &bytes, const TFileAccess &access, QStringList &notices)
{
    const QDate today = DiaryNow().date();
    if (MakeDatedBackup(FBaseDir, FPrefix, FYear, FExt, today, bytes, access))
        return;
    // A backup is a safety net, not a reason to refuse the save; saying so once is enough.
    const QString target = DatedBackupPath(FBaseDir, FPrefix, FYear, FExt, today);
    if (FReportedBackupFailures.contains(target))
        return;
    FReportedBackupFailures << target;
    notices << text(msg::kBackupFailed) + crLf() + target;
}

TKivDiary::TDiskChange TKivDiary::CheckFile()
{
    if (!FActive || FBusy > 0)
        return TDiskChange::None;
    const QString path = FilePath();
    TFileIdentity seen = StatFile(path);
    if (seen.SameStat(FDisk))
        return TDiskChange::None;
    if (!seen.Exists)
        return FDisk.Exists ? TDiskChange::Removed : TDiskChange::None;
    if (seen.SameStat(FReportedDamaged))
        return TDiskChange::None;
    try {
        seen.Hash = HashBytes(readWholeFile(path));
    } catch (...) {
        // Unreadable now: a reload will say so.
        return TDiskChange::Changed;
    }
    if (FDisk.Exists && seen.Hash == FDisk.Hash && seen.Size == FDisk.Size) {
        FDisk = seen;
        return TDiskChange::None;
    }
    return TDiskChange::Changed;
}

bool TKivDiary::ReloadFile()
{
    if (!FActive || FBusy > 0)
        return false;
    const QString path = FilePath();
    TFileIdentity seen = StatFile(path);
    // What the store holds stays until the other version has been read whole.
    std::vector<std::unique_ptr<TDayText>> days;
    QList<QByteArray> settings;
    QByteArray errorData;
    days.swap(FDays);
    settings.swap(FSettings);
    errorData.swap(FErrorData);
    const bool modified = FModified;
    const bool modifiedByLoad = FModifiedByLoad;
    const QString loadError = std::exchange(FLoadError, QString());
    const auto restore = [&] {
        FDays.clear();
        days.swap(FDays);
        settings.swap(FSettings);
        errorData.swap(FErrorData);
        FModified = modified;
        FModifiedByLoad = modifiedByLoad;
        FLoadError = loadError;
    };
    QString failure;
    {
        TBusyScope busy(FBusy);
        try {
            const QByteArray data = readWholeFile(path);
            seen.Hash = HashBytes(data);
            ReadLines(data);
        } catch (const Exception &e) {
            failure = e.Message();
        } catch (const std::exception &e) {
            failure = QString::fromLocal8Bit(e.what());
        } catch (...) {
            failure = text(msg::kBadData);
        }
        if (failure.isEmpty()) {
            FDisk = seen;
            FReportedDamaged = TFileIdentity();
        } else {
            restore();
        }
    }
    if (!failure.isEmpty()) {
        if (seen.SameStat(FReportedDamaged))
            return false;
        // With nothing unsaved, the shown version would stand in memory only, and any end of
        // the program would lose it: it goes into a conflict file at once, which the save of a
        // year file that no longer reads makes and names.
        if (!Unsaved() && FLoadError.isEmpty()) {
            try {
                SaveFile();
                return false;
            } catch (const Exception &) {
                // Not kept in a file: it stays shown, and the message says so.
            }
        }
        FReportedDamaged = seen;
        ShowDiaryMessage(text(msg::kChangedUnreadable) + crLf() + path + crLf() + failure
            + crLf() + text(msg::kShownVersionKept));
        return false;
    }
    emit Loaded();
    return true;
}
