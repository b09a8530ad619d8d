#pragma once

#include <QCalendarWidget>

// The window's month calendar. It holds a day number together with a time of day of its own:
// setting a date changes only the day, so the fraction it reports is always the one it had.
class TMonthCalendar : public QCalendarWidget {
    Q_OBJECT

public:
    explicit TMonthCalendar(QWidget *parent = nullptr);

    // The selected day plus the calendar's own time of day: its floor is always the day.
    double Date() const;
    // Takes the whole day of value, truncated toward zero, and keeps the time of day. A day
    // the calendar cannot show throws Exception and leaves the calendar as it was.
    void SetDate(double value);

signals:
    // The user clicked a day. Choosing a day with the keyboard changes Date without it.
    void Click();

protected:
    void paintCell(QPainter *painter, const QRect &rect, QDate date) const override;
    void changeEvent(QEvent *event) override;

private:
    // The month title's colour, and the days of other months dimmed against this month's in
    // whatever palette the desktop gives.
    void FollowPalette();

    double FTimeOfDay;
};
