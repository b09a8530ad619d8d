#pragma once

#include "YearFile.h"
#include "YearMemory.h"

#include <QByteArray>
#include <QString>
#include <map>
#include <set>
#include <vector>

// Text reaches a year from elsewhere in several ways: the version of the year file a save meets
// on disk, a reload, the recovery file, a sync engine's conflict copy, an import. All of them go
// through MergeYears, part by part: each day by its date, the preamble and the rejected lines each
// as a whole, each setting by its name. Texts compare as text (a character reference however
// spelt is its character).
//
// A version that grew from a known base (the year file's next version grew from what this
// machine last agreed with there; a recovered day from the text it was edited from) is decided
// three-way, part by part:
// 1. Changed on one side only, that side's text stands: an edit, or a deletion of the whole part.
// 2. Changed on both, the lines are merged against the base: changes to different lines both
//    apply, in order; where the same lines changed on both sides both stand, this side's first,
//    around the separator line, and then only the lines that differ.
// A version with no base of its own (a conflict copy, an import) says nothing of what it lacks. A
// text this machine held for that part before, in this run or an earlier one, is an old one and
// brings nothing back; of another, the lines this machine held there stand for its base, so that
// a line taken out here stays out and only its new lines come in, beside this side's text where
// both wrote at the same place (an export imported again brings only what it gained). A copy
// that shows signs of having grown from a version this machine agreed with is decided three-way
// against that one, so that a day deleted or edited on the machine that wrote it is deleted or
// edited here too.
// A setting counts as changed on this side only when it differs from the base; a changed one
// stays, an unchanged one takes the value of the year file's next version (never a copy's, whose
// values are older), and one the other side lacks stays. Further lines of one name in this
// diary's list stay as they are.
//
// Taking in a version whose text the year holds already changes nothing, however often.

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

TYearMerge MergeYears(const TYearMemory &memory, const TYearContents &own,
    const TYearContents &other, const TOtherVersion &known);

// The merge with a version that grew from 'base', the year file this diary last read there.
TYearMerge MergeYears(
    const TYearContents &base, const TYearContents &own, const TYearContents &other);

// The recovery file's contents: the days of 'shown' whose text differs from the year file as
// this machine last agreed with it ('saved'), each with what it was edited from in a setting
// line; a day emptied since is named by that line alone.
TYearContents UnsavedDays(const TYearContents &saved, const std::vector<TDayText> &shown);
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
