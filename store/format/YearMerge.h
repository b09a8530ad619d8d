#pragma once

#include "YearFile.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <set>
#include <vector>

// Text reaches a year from elsewhere in several ways: the version of the year file a save meets
// on disk, a reload, the recovery file, a sync engine's conflict copy, an import. All of them go
// through MergeYears, part by part: each day by its date, the preamble and the rejected lines each
// as a whole, each setting by its name.
//
// The rules, for one part with this diary's text "own" and the other version's text "other"
// (texts compare as the year file keeps them, without trailing blanks):
// 1. The same text on both sides stays as it is.
// 2. A part the other version lacks stays as this side has it: a copy or a version from another
//    machine says nothing about days it never saw. Only the year file's next version, and only
//    for a part whose text this diary last read there (the year file at the start counts) and
//    left unchanged, tells that the other side cleared it: then it goes. A sync engine that met
//    two versions keeps the other as a copy, which brings it back.
// 3. A text the other version is known to have grown from (what this diary last read there, or
//    what a recovered text was edited from) left unchanged on one side gives way to the other
//    side's.
// 4. A text this diary once held for the part (read or written, taken in, or cleared since), or
//    one whose lines all stand in the last text it held there, is one this side moved on from:
//    own stays, also when own is empty because the user cleared it. A text that gave way to
//    another version's is no longer held: a copy brings it back. Unless the other version grew
//    from this diary's last write, which lacked the day: then the other side kept or wrote it
//    knowingly, and it comes back.
// 5. A text whose lines already hold all the lines of the other, in order, is taken as it is.
// 6. Otherwise both stay: the lines both share at the beginning and at the end once, and between
//    them the two differing parts around the separator line, the lesser bytes first, so that
//    taking A into B and B into A ends equal.
// A setting counts as changed on this side only when it differs from what this diary last read
// or wrote; a changed one stays, an unchanged one takes the value of the year file's next
// version (never a copy's, whose values are older), and one the other side lacks stays. Further
// lines of one name in this diary's list stay as they are.
//
// Taking in a version whose text the year holds already changes nothing, however often.

// What is known of the other version.
struct TOtherVersion {
    // Per part, the hash of the text the other version grew from, where known.
    std::map<double, size_t> GrewFrom;
    // True for the year file's next version: a part it lacks that it grew from was cleared there.
    bool AbsentIsCleared = false;
    // True when it grew from this diary's last write: a day that write lacked (cleared here) and
    // the other version holds again was kept or written there knowingly, and comes back.
    bool SawOwnWrite = false;
};

struct TYearMerge;

// What this diary knows of earlier texts of its year: kept across saves, reloads and merges.
struct TYearHistory {
    // The year as last read from or written to its file (its settings are the base of theirs).
    TYearContents Base;
    // Per part (a day's date; kPreamblePart, kErrorDataPart), the hashes of the texts this diary
    // held there at each read, write or take-in.
    std::map<double, std::set<size_t>> Held;
    // Per part, the last text held there: a text whose lines it holds all is one this side
    // moved on from too.
    std::map<double, QByteArray> Last;
    // Per part, the hash of the text the year file held when this diary last read a version
    // written elsewhere: what the other side had. A part missing there is absent.
    std::map<double, size_t> Elsewhere;
    // The parts of this diary's last write, and the texts its last write that brought any
    // brought first (held nowhere before): a version that holds one grew from this diary's.
    std::map<double, size_t> Written;
    std::set<std::pair<double, size_t>> Brought;

    // What is known of a version of the year file found on disk: what it grew from (this
    // diary's last write when it holds a text that write brought, else the version last read
    // there), and that a part it lacks that it grew from was cleared there.
    TOtherVersion Known(const TYearContents &other) const;

    // After a read of the year file: 'elsewhere' when another program wrote it.
    void Read(const TYearContents &contents, bool elsewhere);
    // After a write of the year file.
    void Wrote(const TYearContents &contents);
    // Texts seen in a version taken in, which the diary moves on from from now on.
    void Saw(const TYearContents &contents);
    // After 'merge' of 'own': a text of this side that gave way to the other version's is not
    // one this side moved on from, so a copy that holds it brings it back.
    void GaveWay(const TYearContents &own, const TYearMerge &merge);
};

inline constexpr double kPreamblePart = 0;
inline constexpr double kErrorDataPart = -1;

// The hash a history keeps of a part's text.
size_t PartHash(QByteArrayView text);

struct TYearMerge {
    TYearContents Contents;
    // The parts both sides changed to different texts. They hold both around the separator line.
    std::vector<double> BothTextDays; // ascending
    bool BothPreambles = false;
    bool BothErrorData = false;
    // The days whose text the merge changed from this side's (came in, changed, cleared), for
    // the message that follows: ascending.
    std::vector<double> ChangedDays;
    // The days whose text differs from the other version's: what this side keeps or adds.
    std::vector<double> KeptDays;
    bool HoldsBothTexts() const { return !BothTextDays.empty() || BothPreambles || BothErrorData; }
};

TYearMerge MergeYears(const TYearHistory &history, const TYearContents &own,
    const TYearContents &other, const TOtherVersion &known);

// The merge with a version that grew from 'base', the year file this diary last read there.
TYearMerge MergeYears(
    const TYearContents &base, const TYearContents &own, const TYearContents &other);

// The recovery file's contents: the days of 'shown' whose text the year file lacks (the store's
// history knows what it holds), each with what it was edited from in a setting line.
TYearContents UnsavedDays(const TYearHistory &history, const std::vector<TDayText> &shown);
// The days of a recovery file to take in, and in 'known' what each was edited from.
TYearContents RecoveredDays(const TYearContents &recovered, TOtherVersion &known);

// The line between the two texts of a part that holds both, in CP932. It begins with no "!", so
// the year file never reads it as a day header, separator or setting.
QByteArray BothTextsSeparator();

// The parts that hold both texts, one line each ("2026/12/08", the preamble, the rejected lines),
// for a message.
QString DescribeBothTexts(const TYearMerge &merge);
// The days a merge changed beyond what this side held, one "2026/12/08" a line.
QString DescribeChangedDays(const std::vector<double> &days);
