#pragma once

#include "DiarySearch.h"

#include <QTimer>
#include <QWidget>
#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;

// The search window beside the diary: a query field, the days found (newest first, each with
// its date, weekday and the line around the first hit, hits in bold) and their count. Not
// modal; Esc closes it. It only asks: Search runs a query, Open moves the diary to a day.
class TSearchWindow : public QWidget {
    Q_OBJECT

public:
    TSearchWindow(QWidget *diary,
        std::function<diarysearch::TSearchResult(const diarysearch::TSearchQuery &)> search,
        std::function<void(double date, const diarysearch::TSearchQuery &)> open);

    // About the width of the list in characters: longer lines are cut around their first hit.
    static constexpr qsizetype ExcerptChars = 60;

    QLineEdit *EdtQuery = nullptr;
    QListWidget *LstResults = nullptr;
    QLabel *LblCount = nullptr;
    // The data folder searched, read-only: the whole path can be scrolled and copied.
    QLineEdit *EdtFolder = nullptr;

    void SetFolder(const QString &path);

    // Runs the query in the field now instead of after the typing pause.
    void RunSearch();
    // Places the window beside the diary, where the screen has room.
    void PlaceBeside(QWidget *diary);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void OpenItem(QListWidgetItem *item);

    std::function<diarysearch::TSearchResult(const diarysearch::TSearchQuery &)> FSearch;
    std::function<void(double, const diarysearch::TSearchQuery &)> FOpen;
    diarysearch::TSearchQuery FQuery;
    QTimer FPause;
};
