#pragma once

#include "DiarySearch.h"

#include <QWidget>
#include <functional>
#include <vector>

class QLabel;
class QListWidget;
class QListWidgetItem;

// The same day in the diary's other years, beside the diary: one row a year that has text on
// it, newest first, with its date, weekday and first lines; the diary's own year in bold with
// a mark. Not modal; Esc closes it. It only shows what it is given: Open moves the diary.
class TOnThisDayWindow : public QWidget {
    Q_OBJECT

public:
    TOnThisDayWindow(QWidget *diary, std::function<void(double date)> open);

    // Lines of a day's text shown in its row.
    static constexpr qsizetype ShownLines = 2;

    QListWidget *LstDays = nullptr;
    QLabel *LblCount = nullptr;

    // Shows the days found for the diary's day; the row of the same date as before stays current.
    // The year files that could not be read follow them, named.
    void Show(double day, const std::vector<diarysearch::TDayEntry> &days,
        const QList<diarysearch::TSkippedFile> &skipped = {});

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void OpenItem(QListWidgetItem *item);

    std::function<void(double)> FOpen;
};
