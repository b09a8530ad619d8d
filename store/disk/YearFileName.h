#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// How a data folder names its year files: a prefix, the year in four digits and an extension,
// as "d2026.jnl". The prefix and the extension may be empty; a non-empty extension begins with
// ".". Every year-file name of the programs is spelled and read back here.
struct TYearFileName {
    QString Prefix;
    QString Ext;

    // The year's four digits ("0000" to "9999"), as every name of the year spells them.
    static QString Digits(int year);
    // Prefix + the year's digits + Ext.
    QString Of(int year) const;
    // The year a name of this folder spells: Prefix, four digits, then 'tail' (Ext unless given,
    // ".bak" for the backup of a year file). Any four digits are a year here, 0000 too; a
    // caller that opens the file asks for 1900 and later.
    std::optional<int> YearOf(QStringView name) const { return YearOf(name, Ext); }
    std::optional<int> YearOf(QStringView name, QStringView tail) const;

    // A name read as some folder's year file, without knowing the folder's prefix: the
    // extension from the last ".", the year the four digits before it, the prefix what comes
    // first ("10000.jnl" is the prefix "1" and the year 0).
    struct TSplit;
    static std::optional<TSplit> Split(QStringView name);
};

struct TYearFileName::TSplit {
    TYearFileName Name;
    int Year = 0;
};
