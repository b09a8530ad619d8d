#include "Services.h"

#include "Cp932.h"
#include "DayNumber.h"

#include <QLocale>
#include <cmath>
#include <cstdio>

namespace {

TDiaryServices &current()
{
    static TDiaryServices services;
    return services;
}

// Sunday first would be the diary's own order; Qt counts Monday = 1 ... Sunday = 7.
const char16_t *const kJapaneseDayNames[] = { u"月", u"火", u"水", u"木", u"金", u"土", u"日" };

} // namespace

TDiaryServices &DiaryServices() { return current(); }

void ShowDiaryMessage(const QString &text)
{
    if (const auto &show = current().ShowMessage) {
        show(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

QDateTime DiaryNow()
{
    if (const auto &now = current().Now)
        return now();
    return QDateTime::currentDateTime();
}

double DiaryToday()
{
    // Not quite a third of a day, so the new day starts at 07:59:59.712.
    constexpr double kDayStartShift = 0.33333;
    return std::floor(DateTimeToDayNumber(DiaryNow()) - kDayStartShift);
}

QString DiaryShortDayName(int dayOfWeek)
{
    QString name;
    if (const auto &provider = current().ShortDayName)
        name = provider(dayOfWeek);
    else
        name = QLocale().dayName(dayOfWeek, QLocale::ShortFormat);
    // The name goes into year files as CP932; a name that cannot be written there (or none at
    // all) is replaced by the Japanese one, so nothing unreadable reaches the file.
    if (name.isEmpty() || !cp932::CanEncode(name))
        name = QString::fromUtf16(kJapaneseDayNames[(dayOfWeek + 6) % 7]);
    return name;
}

TWeekdayNames DiaryWeekdayNames()
{
    TWeekdayNames names;
    for (int day = 1; day <= 7; ++day)
        names[static_cast<size_t>(day - 1)] = DiaryShortDayName(day);
    return names;
}

TScopedDiaryServices::TScopedDiaryServices(TDiaryServices services)
    : FSaved(current())
{
    current() = std::move(services);
}

TScopedDiaryServices::~TScopedDiaryServices() { current() = std::move(FSaved); }
