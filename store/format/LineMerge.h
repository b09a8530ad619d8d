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
// - runs changed on both sides alike stand once, and so do runs where one side's lines hold all
//   of the other's;
// - lines one side added right where the other removed or replaced lines both apply, when they
//   share no line; lines removed on one side and rewritten on the other keep the rewriting;
// - other runs of the two sides that overlap or touch hold both: this side's lines, the
//   separator line, the other's, with the lines both share at the beginning and at the end of
//   the run once, outside. No line of either side is left out.
// Runs with unchanged lines between them both apply, in their order.
//
// Without it (a sync engine's conflict copy, an import) nothing tells a removal from an
// addition, so nothing is removed: a text that holds all the lines of the other in their order
// is taken as it is; otherwise the lines both hold, in their order, stand for the base, so that
// every line of either side stays where it stood, the lines both hold once, and only where both
// have lines of their own at the same place do both stand around the separator, this side's
// first.
//
// Texts that hold both already (blocks between separator lines) are merged block by block: each
// block with what the other side made of it, a block the other side holds in its order once,
// this side's first block first and the others in the order of their bytes, so that versions
// taken in in any order end alike; no line stands more often than one side wrote it.
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
