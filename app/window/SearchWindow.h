#pragma once

#include "DiarySearch.h"

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <vector>

class QLabel;
class QLineEdit;
class QListView;
class QModelIndex;
class QThread;
class TSearchResults;

// The search window beside the diary: a query field, the days found (newest first, each with
// its date, weekday and the line around the first hit, hits in bold) and their count. Not
// modal; Esc closes it. Keys search once per pass of the event loop, with the newest text: the
// years already read at once (only the days shown when the query narrows theirs), the year files
// not read yet (or changed) on a reader per core, their days added in batches as they come.
class TSearchWindow : public QWidget {
    Q_OBJECT

public:
    // prepare brings the index up to the diary (its folder and the unsaved text of the loaded
    // year) and says whether it could; read is told after years were taken in; open moves the
    // diary to a day.
    TSearchWindow(QWidget *diary, diarysearch::TSearchIndex *index, std::function<bool()> prepare,
        std::function<void()> read,
        std::function<void(double date, const diarysearch::TSearchQuery &)> open);
    ~TSearchWindow() override;

    // About the width of the list in characters until it has one: longer lines are cut around
    // their first hit, to the list's width once it is laid out.
    static constexpr qsizetype ExcerptChars = 60;

    QLineEdit *EdtQuery = nullptr;
    QListView *LstResults = nullptr;
    QLabel *LblCount = nullptr;
    // The data folder searched, read-only: the whole path can be scrolled and copied.
    QLineEdit *EdtFolder = nullptr;

    void SetFolder(const QString &path);

    // Searches for the query in the field now.
    void RunSearch();
    // Whether year files are being read.
    bool Reading() const { return !FReaders.empty(); }
    // Places the window beside the diary, where the screen has room.
    void PlaceBeside(QWidget *diary);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct TArrival {
        int Generation;
        diarysearch::TSearchIndex::TYearToRead File;
        diarysearch::TSearchIndex::TYearPtr Texts; // null when it could not be read
        QString Reason;
    };
    void SearchSoon();
    void StartReading();
    void TakeArrivalsSoon();
    void TakeArrivals();
    void ReaderDone();
    void ShowCount();
    void SelectFirst();
    void OpenRow(const QModelIndex &index);

    diarysearch::TSearchIndex *FIndex;
    std::function<bool()> FPrepare;
    std::function<void()> FRead;
    std::function<void(double, const diarysearch::TSearchQuery &)> FOpen;
    diarysearch::TSearchQuery FQuery;
    TSearchResults *FResults = nullptr;
    // The texts the days shown were found in, for a query that narrows theirs.
    diarysearch::TSearchIndex::TYearTextsMap FSearched;
    // A search or a batch of arrivals waits for the next pass of the event loop.
    bool FSearchPosted = false;
    bool FTakePosted = false;
    // The readers of one look at the folder, what they sent that is not taken in yet, how many
    // have finished, and whether the folder is to be looked at again once they are done (a
    // keystroke came while they read).
    std::vector<QThread *> FReaders;
    std::atomic<bool> FStop = false;
    std::vector<TArrival> FArrived;
    bool FLookAgain = false;
    int FReadersDone = 0;
    // Enter was pressed before its days came: the first one is selected when it comes.
    bool FSelectFirst = false;
    // Retries what waits for a box of the diary to close.
    QTimer FRetry;
};
