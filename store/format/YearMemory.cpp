#include "YearMemory.h"

#include "Cp932.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QIODevice>
#include <QtEndian>
#include <algorithm>

std::map<double, QByteArrayView> PartsOf(const TYearContents &contents)
{
    std::map<double, QByteArrayView> parts;
    if (!contents.Preamble.isEmpty())
        parts[kPreamblePart] = contents.Preamble;
    if (!contents.ErrorData.isEmpty())
        parts[kErrorDataPart] = contents.ErrorData;
    for (const TDayText &day : contents.Days)
        parts[day.FDate] = day.FText;
    return parts;
}

QByteArray CanonicalText(QByteArrayView text)
{
    const QByteArrayView written = WrittenDayText(text);
    QByteArray out;
    qsizetype from = 0;
    for (qsizetype at = written.indexOf('&'); at >= 0; at = written.indexOf('&', at + 1)) {
        qsizetype length = 0;
        const char32_t c = cp932::ReferenceAt(written.sliced(at), &length);
        if (c == 0)
            continue;
        const QByteArray canonical = "&#x" + QByteArray::number(quint32(c), 16).toUpper() + ';';
        if (written.sliced(at, length) == canonical) {
            at += length - 1;
            continue;
        }
        out += written.sliced(from, at - from);
        out += canonical;
        from = at + length;
        at = from - 1;
    }
    if (from == 0)
        return written.toByteArray();
    out += written.sliced(from);
    return out;
}

bool SameText(QByteArrayView a, QByteArrayView b)
{
    a = WrittenDayText(a);
    b = WrittenDayText(b);
    if (a == b)
        return true;
    // A reference spelt otherwise is the only way two texts differ in bytes alone.
    if (!a.contains('&') && !b.contains('&'))
        return false;
    return CanonicalText(a) == CanonicalText(b);
}

quint64 TextKey(QByteArrayView text)
{
    const QByteArray canonical = CanonicalText(text);
    const QByteArray sha = QCryptographicHash::hash(canonical, QCryptographicHash::Sha1);
    quint64 key = 0;
    for (int i = 0; i < 8; ++i)
        key = key << 8 | quint8(sha[i]);
    return key;
}

QList<QByteArray> LinesOf(QByteArrayView text)
{
    return CanonicalText(text).replace("\r\n", "\n").split('\n');
}

namespace {

QByteArrayView partOf(const std::map<double, QByteArrayView> &parts, double key)
{
    const auto it = parts.find(key);
    return it == parts.end() ? QByteArrayView() : it->second;
}

bool sameParts(const TYearContents &a, const TYearContents &b)
{
    const auto pa = PartsOf(a);
    const auto pb = PartsOf(b);
    if (pa.size() != pb.size())
        return false;
    for (const auto &[key, text] : pa) {
        if (!pb.count(key) || !SameText(text, pb.at(key)))
            return false;
    }
    return true;
}

// Whether 'other' may have grown from version i of this machine's: every text of it this
// machine held is that version's text of the part (a text held otherwise would be one the
// other version moved on from, or had not reached yet), and it holds one of them at least.
bool mayHaveGrownFrom(
    const TYearMemory &memory, size_t i, const std::map<double, QByteArrayView> &other)
{
    const auto parts = PartsOf(memory.Versions[i].Contents);
    bool shares = false;
    for (const auto &[key, text] : other) {
        if (!HoldsDayText(text))
            continue;
        if (SameText(text, partOf(parts, key)))
            shares = true;
        else if (memory.HeldBefore(key, text))
            return false;
    }
    return shares;
}

// The oldest version of this machine's, before 'end', that 'other' may have grown from: a base
// older than the true one keeps what both sides added (both stand where they meet), a newer
// one would take what this side added since for removed there.
std::optional<TYearContents> oldestBaseOf(
    const TYearMemory &memory, size_t end, const TYearContents &other)
{
    const auto parts = PartsOf(other);
    for (size_t i = 0; i < end; ++i) {
        if (mayHaveGrownFrom(memory, i, parts))
            return memory.Versions[i].Contents;
    }
    return std::nullopt;
}

} // namespace

const TYearContents &TYearMemory::Agreed() const
{
    static const TYearContents none;
    return Versions.empty() ? none : Versions.back().Contents;
}

TOtherVersion TYearMemory::ForYearFile(const TYearContents &other) const
{
    TOtherVersion known;
    known.NewerSettings = true;
    if (!SetAside || *SetAside > Versions.size()) {
        known.Base = Agreed();
        return known;
    }
    // The engine chose the other version over this machine's write: it grew from an earlier
    // one, which this machine can only bound.
    known.Base = oldestBaseOf(*this, *SetAside, other);
    known.BaseIsBound = true;
    return known;
}

TOtherVersion TYearMemory::ForCopy(const TYearContents &other) const
{
    TOtherVersion known;
    known.Base = oldestBaseOf(*this, Versions.size(), other);
    known.BaseIsBound = true;
    return known;
}

void TYearMemory::Agree(const TYearContents &contents, bool ownWrite)
{
    Saw(contents);
    SetAside.reset();
    if (!Versions.empty() && sameParts(Versions.back().Contents, contents)) {
        Versions.back().Contents = contents;
        return;
    }
    Versions.push_back({ contents, ownWrite });
    if (Versions.size() > kVersionsKept)
        Versions.erase(Versions.begin());
}

void TYearMemory::Saw(const TYearContents &contents)
{
    for (const auto &[key, part] : PartsOf(contents)) {
        if (!HoldsDayText(part))
            continue;
        // A text held before had its lines kept then (but in a memory older than the lines).
        if (!Held[key].insert(TextKey(part)).second && HeldLines.count(key))
            continue;
        for (const QByteArray &line : LinesOf(part)) {
            if (!line.trimmed().isEmpty())
                HeldLines[key].insert(TextKey(line));
        }
    }
}

bool TYearMemory::HeldBefore(double part, QByteArrayView text) const
{
    const auto it = Held.find(part);
    return it != Held.end() && it->second.count(TextKey(text)) > 0;
}

bool TYearMemory::HeldLineBefore(double part, QByteArrayView line) const
{
    const auto it = HeldLines.find(part);
    return it != HeldLines.end() && it->second.count(TextKey(line)) > 0;
}

bool TYearMemory::NoteSetAside(const TYearContents &copy)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const auto &[key, text] : PartsOf(copy)) {
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(&key), sizeof key));
        const quint64 textKey = TextKey(text);
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(&textKey), sizeof textKey));
    }
    const quint64 weighed = qFromUnaligned<quint64>(hash.result().constData());
    if (std::find(CopiesWeighed.begin(), CopiesWeighed.end(), weighed) != CopiesWeighed.end())
        return false;
    CopiesWeighed.push_back(weighed);
    if (CopiesWeighed.size() > kCopiesKept)
        CopiesWeighed.erase(CopiesWeighed.begin());
    // The version this machine last agreed with (an editor's, read here, as well), or a write
    // not yet followed by a version read there: an older one the engine set aside was answered
    // by what this machine read since.
    for (size_t i = Versions.size(); i-- > 0;) {
        if (sameParts(Versions[i].Contents, copy)) {
            SetAside = i;
            return true;
        }
        if (!Versions[i].OwnWrite)
            break;
    }
    // Another machine's version set aside: two versions met in the engine, and the one the year
    // file holds next may not have grown from what this machine last agreed with either.
    if (!SetAside && !Versions.empty() && !sameParts(Versions.back().Contents, copy))
        SetAside = Versions.size();
    return false;
}

// The memory's bytes: a header, then each distinct text once, the versions referring to them.
namespace {

constexpr char kMagic[] = "kivlog-year-memory 1";

} // namespace

QByteArray WriteYearMemory(const TYearMemory &memory)
{
    std::map<quint64, QByteArray> pool;
    const auto ref = [&pool](QByteArrayView text) {
        const quint64 key = TextKey(text) ^ quint64(text.size());
        pool.emplace(key, text.toByteArray());
        return key;
    };
    QByteArray versions;
    {
        QDataStream out(&versions, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << quint32(memory.Versions.size());
        for (const TYearMemory::TVersion &v : memory.Versions) {
            out << v.OwnWrite << ref(v.Contents.Preamble) << ref(v.Contents.ErrorData)
                << v.Contents.Settings << quint32(v.Contents.Days.size());
            for (const TDayText &day : v.Contents.Days)
                out << day.FDate << ref(day.FText);
        }
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << QByteArray(kMagic) << quint32(pool.size());
    for (const auto &[key, text] : pool)
        out << key << text;
    const auto writeKeys = [&out](const std::map<double, std::set<quint64>> &held) {
        out << quint32(held.size());
        for (const auto &[part, keys] : held) {
            out << part << quint32(keys.size());
            for (const quint64 key : keys)
                out << key;
        }
    };
    out << versions;
    writeKeys(memory.Held);
    out << (memory.SetAside ? qint32(*memory.SetAside) : qint32(-1));
    out << quint32(memory.CopiesWeighed.size());
    for (const quint64 key : memory.CopiesWeighed)
        out << key;
    writeKeys(memory.HeldLines);
    return bytes;
}

std::optional<TYearMemory> ReadYearMemory(QByteArrayView bytes)
{
    const QByteArray data = bytes.toByteArray();
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_0);
    QByteArray magic;
    in >> magic;
    if (magic != kMagic)
        return std::nullopt;
    // A count that the bytes cannot hold is a damaged memory, not a reason to allocate.
    const auto count = [&in, &data]() -> std::optional<quint32> {
        quint32 n = 0;
        in >> n;
        if (in.status() != QDataStream::Ok || n > quint32(data.size()))
            return std::nullopt;
        return n;
    };
    std::map<quint64, QByteArray> pool;
    const std::optional<quint32> texts = count();
    if (!texts)
        return std::nullopt;
    for (quint32 i = 0; i < *texts; ++i) {
        quint64 key = 0;
        QByteArray text;
        in >> key >> text;
        pool[key] = text;
    }
    const auto text = [&pool](quint64 key, bool &ok) {
        const auto it = pool.find(key);
        ok = ok && it != pool.end();
        return it == pool.end() ? QByteArray() : it->second;
    };
    QByteArray versions;
    in >> versions;
    TYearMemory memory;
    bool ok = in.status() == QDataStream::Ok;
    {
        QDataStream vin(versions);
        vin.setVersion(QDataStream::Qt_6_0);
        quint32 n = 0;
        vin >> n;
        for (quint32 i = 0; ok && i < n && vin.status() == QDataStream::Ok; ++i) {
            TYearMemory::TVersion v;
            quint64 preamble = 0;
            quint64 errorData = 0;
            quint32 days = 0;
            vin >> v.OwnWrite >> preamble >> errorData >> v.Contents.Settings >> days;
            if (days > quint32(versions.size()))
                return std::nullopt;
            v.Contents.Preamble = text(preamble, ok);
            v.Contents.ErrorData = text(errorData, ok);
            for (quint32 d = 0; d < days && vin.status() == QDataStream::Ok; ++d) {
                double date = 0;
                quint64 key = 0;
                vin >> date >> key;
                v.Contents.Days.emplace_back(text(key, ok), date);
            }
            memory.Versions.push_back(std::move(v));
        }
        ok = ok && vin.status() == QDataStream::Ok
            && memory.Versions.size() <= TYearMemory::kVersionsKept;
    }
    // Per part, a set of keys.
    const auto readKeys = [&in, &count](std::map<double, std::set<quint64>> &into) {
        const std::optional<quint32> parts = count();
        if (!parts)
            return false;
        for (quint32 i = 0; i < *parts && in.status() == QDataStream::Ok; ++i) {
            double part = 0;
            in >> part;
            const std::optional<quint32> keys = count();
            if (!keys)
                return false;
            std::set<quint64> &held = into[part];
            for (quint32 k = 0; k < *keys; ++k) {
                quint64 key = 0;
                in >> key;
                held.insert(key);
            }
        }
        return in.status() == QDataStream::Ok;
    };
    if (!ok || !readKeys(memory.Held))
        return std::nullopt;
    qint32 setAside = -1;
    in >> setAside;
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    if (setAside >= 0 && size_t(setAside) <= memory.Versions.size())
        memory.SetAside = size_t(setAside);
    // Written since the first memories: one without them has weighed no copy and kept no line.
    if (in.atEnd())
        return memory;
    const std::optional<quint32> copies = count();
    if (!copies || *copies > TYearMemory::kCopiesKept)
        return std::nullopt;
    for (quint32 i = 0; i < *copies; ++i) {
        quint64 key = 0;
        in >> key;
        memory.CopiesWeighed.push_back(key);
    }
    if (!readKeys(memory.HeldLines))
        return std::nullopt;
    return memory;
}
