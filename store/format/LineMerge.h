#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// One part of a year (a day, the preamble, the rejected lines) merged line by line from three
// versions: the text both sides grew from, this side's ("own") and the other version's. Texts
// compare as the year file keeps them (WrittenDayText), lines split at CR LF, and a line equals
// another when it reads as the same characters: "&#x1f600;" is the same line as "&#x1F600;".
//
// With the text both sides grew from, each side's changes are found as runs of lines replaced,
// removed or added (a shortest edit of lines), and then:
// - a run changed on one side only takes that side's lines, a removal too;
// - runs changed on both sides alike stand once;
// - runs of the two sides that overlap or touch (no unchanged line between them) and differ hold
//   both: this side's lines, the separator line, the other's, with the lines both share at the
//   beginning and at the end of the run once, outside. No line of either side is left out.
//   When one side's lines there (or this side's whole text) already hold both texts around a
//   separator and all the other's lines in their order, that side's stand: a version taken in
//   twice changes nothing more.
// Runs with unchanged lines between them both apply, in their order; so do lines one side added
// right where the other removed or replaced lines, when they share no line.
//
// Without it (a sync engine's conflict copy, an import) nothing tells a removal from an
// addition, so nothing is removed:
// - a text that holds all the lines of the other in their order is taken as it is;
// - otherwise the lines both hold, in their order, stand for the base: every line of either
//   side stays where it stood, the lines both hold once, and only where both have lines of
//   their own at the same place do both stand around the separator, this side's first. A text
//   that holds both already (blocks between separators) gets the other's differing blocks it
//   lacks as blocks of their own; the blocks after the first stand in the order of their
//   bytes, so that copies taken in in any order end alike.
//
// A text that holds both around separators meeting a version with the same lines in another
// order of blocks (the other machine joined the same texts the other way round) is not joined
// again: without a base this side's stands, with one the other version's, so that the year
// file's order settles both machines.

struct TLineMerge {
    // Without trailing blanks and line breaks, as WrittenDayText gives a text.
    QByteArray Text;
    // Lines changed on both sides stand both, around the separator line.
    bool Both = false;
};

// 'base' is the text both sides grew from; nullopt when nothing is known of it.
TLineMerge MergeLines(std::optional<QByteArrayView> base, QByteArrayView own, QByteArrayView other);
