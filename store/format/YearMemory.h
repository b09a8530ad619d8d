#pragma once

#include "YearFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <map>
#include <optional>
#include <set>
#include <vector>

inline constexpr double kPreamblePart = 0;
inline constexpr double kErrorDataPart = -1;

// Each part of a year by its key: days by date (a later entry of a day is the one that counts,
// as when the file is read), the preamble and the rejected lines when they hold anything.
std::map<double, QByteArrayView> PartsOf(const TYearContents &contents);

// A text as the year file keeps it, its character references in one spelling ("&#x1f600;" and
// "&#X1F600;" are both "&#x1F600;"): two texts are the same text when these are equal.
QByteArray CanonicalText(QByteArrayView text);
bool SameText(QByteArrayView a, QByteArrayView b);
// A key of a text's canonical form that stays the same from run to run and machine to machine.
quint64 TextKey(QByteArrayView text);
// A text's lines as it reads: split at line breaks, CR LF or LF, references in one spelling.
QList<QByteArray> LinesOf(QByteArrayView text);

// What a version from elsewhere grew from, where that is known.
struct TOtherVersion {
    // The whole version it grew from: a part missing there was absent. Its settings are the
    // base of the other version's, which count as newer ones (the year file's next version).
    std::optional<TYearContents> Base;
    bool NewerSettings = false;
    // The base is only a bound (a version set aside, a copy): a part the other version lacks
    // says nothing, and only a part this side left as the base had it is decided against it.
    bool BaseIsBound = false;
    // Without a whole base, what single parts grew from: a recovered day's text before the edit
    // (empty for a day that was empty then).
    std::map<double, QByteArray> PartBase;
};

// What this machine knows of one year of its diary, kept outside the synced folder from run to
// run: the versions of the year file it last agreed with (read there or wrote), and per part
// every text it has held there. The year file's next version grew from the last of them; a
// version with no base of its own (a conflict copy) is placed by what it holds.
struct TYearMemory {
    struct TVersion {
        TYearContents Contents;
        bool OwnWrite = false;
        bool operator==(const TVersion &) const = default;
    };
    // Oldest first, at most kVersionsKept; the last one is what the year file held when this
    // machine last read or wrote it.
    static constexpr size_t kVersionsKept = 8;
    std::vector<TVersion> Versions;
    // Per part (a day's date; kPreamblePart, kErrorDataPart), the keys of the texts held there.
    std::map<double, std::set<quint64>> Held;
    // Per part, the keys of the lines (blank ones aside) held there in any of those texts.
    std::map<double, std::set<quint64>> HeldLines;
    // A write of this machine that a sync engine set aside as a conflict copy (its index in
    // Versions; Versions.size() for another machine's): the year file's next version was chosen
    // over it, not grown from it.
    std::optional<size_t> SetAside;
    // The copies already weighed, by a key of their parts, oldest first: one that was there when
    // this machine last agreed with the year file tells nothing of the file's next version.
    static constexpr size_t kCopiesKept = 64;
    std::vector<quint64> CopiesWeighed;

    bool operator==(const TYearMemory &) const = default;

    const TYearContents &Agreed() const;
    // The base of the year file's next version.
    TOtherVersion ForYearFile(const TYearContents &other) const;
    // The base of a version with none of its own: the oldest version this machine agreed with
    // that it may have grown from (it holds no text of this machine's but that version's, and
    // one of them at least), nothing when there is none.
    TOtherVersion ForCopy(const TYearContents &other) const;
    // The year file read ('ownWrite' false) or written.
    void Agree(const TYearContents &contents, bool ownWrite);
    // Texts held (taken in): brought again by a version without base, they bring nothing.
    void Saw(const TYearContents &contents);
    bool HeldBefore(double part, QByteArrayView text) const;
    bool HeldLineBefore(double part, QByteArrayView line) const;
    // Whether 'copy' is one of this machine's writes since it last read the year file; it is
    // then taken for one a sync engine set aside. Another version set aside as a copy tells as
    // much of the year file's next version: it is bounded by every version this machine knows.
    // A copy weighed before tells nothing more.
    bool NoteSetAside(const TYearContents &copy);
};

// The memory as bytes and back; nothing for bytes that are not a whole memory.
QByteArray WriteYearMemory(const TYearMemory &memory);
std::optional<TYearMemory> ReadYearMemory(QByteArrayView bytes);
