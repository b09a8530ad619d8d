#pragma once

#include "DayNumber.h"

#include <QDateTime>
#include <QString>
#include <functional>

// What the store needs from its surroundings, replaceable as a whole or in part: the window
// shows messages in a message box, the command-line tool on stderr, tests record them; tests
// also pin the clock and the weekday names.
struct TDiaryServices {
    // Shows one message to the user and returns when the user has seen it.
    std::function<void(const QString &text)> ShowMessage;
    // The local date and time.
    std::function<QDateTime()> Now;
    // The abbreviated weekday name of the user's locale; dayOfWeek as Qt counts it
    // (1 = Monday ... 7 = Sunday).
    std::function<QString(int dayOfWeek)> ShortDayName;
};

// The services in force. Members may be replaced; an empty member falls back to the default.
TDiaryServices &DiaryServices();

// Convenience calls that honour the fallback.
void ShowDiaryMessage(const QString &text);
QDateTime DiaryNow();
// The diary's day now, as a whole day number: the diary day begins at about 08:00, so before
// that it is still the day before.
double DiaryToday();
QString DiaryShortDayName(int dayOfWeek);
// All seven, for the year file's day headers.
TWeekdayNames DiaryWeekdayNames();

// Puts services in place for the lifetime of the object and restores the previous ones after.
class TScopedDiaryServices {
public:
    explicit TScopedDiaryServices(TDiaryServices services);
    ~TScopedDiaryServices();
    TScopedDiaryServices(const TScopedDiaryServices &) = delete;
    TScopedDiaryServices &operator=(const TScopedDiaryServices &) = delete;

private:
    TDiaryServices FSaved;
};
