#pragma once

// A folder of year files for the benchmarks: every day of the years written, each day's text
// made by the benchmark (called day after day, year after year, so a generator may keep state).

#include "Cp932.h"
#include "DayNumber.h"
#include "KivDiary.h"
#include "Services.h"

#include <QDate>
#include <QTemporaryDir>
#include <functional>

class TDiaryFolder {
public:
    TDiaryFolder(int firstYear, int years, const std::function<QString(QDate day)> &dayText)
        : FServices({ [](const QString &) {}, {}, {} })
    {
        for (int year = firstYear; year < firstYear + years; ++year) {
            TKivDiary store;
            store.SetBaseDir(FDir.path());
            store.SetExt(QStringLiteral(".jnl"));
            store.SetYear(year);
            store.SetAutoSave(false);
            store.Open();
            for (QDate d(year, 1, 1); d.year() == year; d = d.addDays(1))
                store.SetDayText(DateToDayNumber(d), cp932::Encode(dayText(d)));
            store.SaveFile();
            Paths << store.FilePath();
        }
    }

    QString Dir() const { return FDir.path() + u'/'; }

    QStringList Paths; // one year file a year, the oldest first

private:
    QTemporaryDir FDir;
    TScopedDiaryServices FServices;
};
