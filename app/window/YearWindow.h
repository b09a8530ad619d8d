#pragma once

#include "DiaryStats.h"

#include <QAbstractButton>
#include <QDate>
#include <QWidget>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QThread;
class QToolButton;

// One day of the year view: its number on a shade of the characters written that day; the day
// the diary shows is framed. A screen reader reads its date and count.
class TYearDayCell : public QAbstractButton {
    Q_OBJECT

public:
    explicit TYearDayCell(QWidget *parent);
    QDate Day;
    int Shade = 0;
    bool Shown = false;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A year at a glance, beside the diary: the twelve months of a year as small calendars, each
// day shaded by the characters written that day, a legend, the year's figures and its most
// used words. ← and → (and the two arrows) go to the year before and after; a click on a day
// opens it in the diary, a click on a word searches for it. Not modal; Esc closes it. It only
// shows what it is given.
class TYearWindow : public QWidget {
    Q_OBJECT

public:
    // open moves the diary to a day, search looks for a word, want asks for the figures of a
    // year (ShowYear then follows, at once or when they are made). Weeks begin on firstDay, as
    // in the diary's calendar.
    TYearWindow(QWidget *diary, Qt::DayOfWeek firstDay, std::function<void(double date)> open,
        std::function<void(const QString &word)> search, std::function<void(int year)> want);

    // The year's figures, or null while they are being made (the year's figures shown before
    // stay until then); shownDay is the diary's day.
    void ShowYear(int year, QDate shownDay, diarystats::TFiguresCache::TFiguresPtr figures);
    int Year() const { return FYear; }
    // The cell of a day of the year shown, or null.
    TYearDayCell *Cell(QDate day) const;

    // The colour of a shade, 0 (no text) to 4, in the palette's colours.
    static QColor ShadeColour(const QPalette &palette, int shade);

    QToolButton *BtnPrevYear = nullptr;
    QToolButton *BtnNextYear = nullptr;
    QLabel *LblYear = nullptr;
    QLabel *LblFacts = nullptr;
    QLabel *LblWords = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The legend's swatches in the colours of the palette now.
    void ColourLegend();

    std::function<void(double)> FOpen;
    std::function<void(int)> FWant;
    int FYear = 0;
    diarystats::TFiguresCache::TFiguresPtr FFigures;
    // Six weeks of seven days for each month.
    Qt::DayOfWeek FFirstDay;
    std::vector<TYearDayCell *> FCells;
    std::vector<std::pair<QLabel *, QLabel *>> FLegend; // the swatch and its range
};

// Makes the figures of years on a thread of its own, one after another in the order given, and
// hands each to the window's thread: a year file not read yet is read there too.
class TFiguresMaker : public QObject {
    Q_OBJECT

public:
    struct TJob {
        int Year = 0;
        diarysearch::TSearchIndex::TYearPtr Texts; // or, when null, File is read
        std::optional<diarysearch::TSearchIndex::TYearToRead> File;
        // The index's folder when the job was made.
        int Generation = 0;
    };
    struct TMade {
        TJob Job;
        diarysearch::TSearchIndex::TYearPtr Texts; // null when the file could not be read
        QString Reason;
        QStringList LeftOut;
        diarystats::TFiguresCache::TFiguresPtr Figures;
    };

    TFiguresMaker(QObject *parent, std::function<void(TMade)> made);
    ~TFiguresMaker() override;

    // Stops what it was making and makes these.
    void Start(std::vector<TJob> jobs, QStringList leftOut);

private:
    void Stop();

    std::function<void(TMade)> FMade;
    QThread *FThread = nullptr;
    std::atomic<bool> FStop = false;
};
