#pragma once

#include "YearFile.h"

#include <QByteArray>
#include <QString>
#include <vector>

// Two versions of one year made into one, part by part: each day by its date, each setting by
// its name, the preamble and the rejected lines each as a whole.
struct TYearMerge {
    TYearContents Contents;
    // The parts both sides changed to different texts. They hold both: this side's text, the
    // separator line, the other side's text. A setting changed on both sides keeps this side's
    // value and is not listed.
    std::vector<double> BothTextDays; // ascending
    bool BothPreambles = false;
    bool BothErrorData = false;
    bool HoldsBothTexts() const { return !BothTextDays.empty() || BothPreambles || BothErrorData; }
};

// The merge of 'own' (this diary's version) and 'other' (one written elsewhere) that both grew
// from 'base': a part changed on one side only is taken from that side, one changed on both to
// different texts holds both. A part one side removed and the other changed keeps the change.
// Day texts compare as the year file keeps them (without trailing blanks). Days come out in
// date order; settings in own's order, then those only other has.
//
// For a version without a known common base (a sync engine's conflict copy) the base is an empty
// year: nothing is removed, and whatever differs holds both texts.
TYearMerge MergeYears(
    const TYearContents &base, const TYearContents &own, const TYearContents &other);

// The line between the two texts of a part that holds both, in CP932. It begins with no "!", so
// the year file never reads it as a day header, separator or setting.
QByteArray BothTextsSeparator();

// The parts that hold both texts, one line each ("2026/12/08", the preamble, the rejected lines),
// for a message.
QString DescribeBothTexts(const TYearMerge &merge);
