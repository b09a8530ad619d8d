#pragma once

#include <QByteArray>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QFont;
class QFontDialog;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class TAlignLayout;
class TDiskWatch;
class TInbox;
class TKivDiary;
class TKivDiaryEdit;
class TMonthCalendar;
class TNoticeBar;
class TPictureRow;
class QKeySequence;
class TRecovery;
class TKeysWindow;
class TSearchWindow;
class TOnThisDayWindow;
class TYearWindow;
class TFiguresMaker;
namespace diarystats {
class TFiguresCache;
}
namespace diarysearch {
class TSearchIndex;
class TSearchQuery;
struct TSkippedFile;
}

// The font dialog component, built the first time it is used: it opens only from the popup
// menu, and building it with the window would hold up the window's first appearance. It is
// used as a pointer to the dialog, which it then makes a child of its owner, on the owner's
// font.
class TFontDialogHolder {
public:
    explicit TFontDialogHolder(QWidget *owner)
        : FOwner(owner)
    {
    }
    TFontDialogHolder(const TFontDialogHolder &) = delete;
    TFontDialogHolder &operator=(const TFontDialogHolder &) = delete;

    QFontDialog *Get() const;
    QFontDialog *operator->() const { return Get(); }
    operator QFontDialog *() const { return Get(); }
    bool IsBuilt() const { return !FDialog.isNull(); }
    // Destroys the dialog if it was built; a later use builds a new one.
    void Destroy();

private:
    QWidget *FOwner;
    mutable QPointer<QFontDialog> FDialog;
};

// The diary's main window: the editor area on the left, the calendar and status column on
// the right. The constructor builds every component with its design values and then runs
// FormCreate; the destructor runs FormDestroy, destroys the controls and last the store,
// whose destruction makes the final save.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    // Claims the data folder for this diary before anything in it is read or written. Given the
    // folder's full path; false when another diary holds it.
    using TDataFolderClaim = std::function<bool(const QString &folder)>;

    // The window reads the command line (the program's own name first) as it is made. The
    // program entry gives QCoreApplication::arguments() and the claim; without a claim the
    // folder is used as it is.
    explicit TForm1(QStringList commandLine = {}, TDataFolderClaim claimDataFolder = {},
        QWidget *parent = nullptr);
    ~TForm1() override;

    // What the destructor does, once: FormDestroy, the controls go (the editor's text into the
    // store), then the store makes the final save and goes. False when that save failed.
    bool Dismantle();

    // Components, in the order the window declares them. Each also carries its name as its
    // objectName.
    QFrame *PnlMain = nullptr;
    TKivDiaryEdit *KivDiaryEdit1 = nullptr;
    TKivDiary *KivDiary1 = nullptr;
    QFrame *Panel3 = nullptr;
    QFrame *PnlCalendar = nullptr;
    TMonthCalendar *MonthCalendar1 = nullptr;
    QPushButton *BtnToday = nullptr;
    QPushButton *BtnPrevYear = nullptr;
    QPushButton *BtnNextYear = nullptr;
    QPushButton *BtnPrevMonth = nullptr;
    QPushButton *BtnNextMonth = nullptr;
    QPushButton *BtnPrevDay = nullptr;
    QPushButton *BtnNextDay = nullptr;
    QFrame *PnlStatus = nullptr;
    QLabel *LblYear = nullptr;
    QLabel *LblDate = nullptr;
    QPushButton *BtnClose = nullptr;
    QPushButton *BtnUndo = nullptr;
    QLabel *Label1 = nullptr;
    TFontDialogHolder FontDialog1 { this };
    QMenu *PopupMenu1 = nullptr;
    QAction *N1 = nullptr;
    QObject *ActionList1 = nullptr;
    QAction *ActChangeFont = nullptr;
    QAction *N2 = nullptr;
    QAction *ActToggleDayName = nullptr;
    QAction *N3 = nullptr;
    QAction *ActSearch = nullptr;
    // Reading back: the same day in other years, printing and exporting.
    QAction *N4 = nullptr;
    QAction *N5 = nullptr;
    QAction *N6 = nullptr;
    QAction *ActOnThisDay = nullptr;
    QAction *ActPrint = nullptr;
    QAction *ActExport = nullptr;
    QAction *N7 = nullptr;
    QAction *ActImport = nullptr;
    // A year at a glance.
    QAction *NYear = nullptr;
    QAction *ActYearView = nullptr;
    // The keys at hand: F1, and the popup's last entry, which names it.
    QAction *NKeys = nullptr;
    QAction *ActShowKeys = nullptr;
    // A picture added to the day.
    QAction *NPicture = nullptr;
    QAction *ActAddPicture = nullptr;

    // Handlers bound to the components' events.
    void BtnCloseClick();
    void BtnUndoClick();
    void KivDiaryEdit1Change();
    void BtnPrevYearClick();
    void BtnNextYearClick();
    void BtnPrevMonthClick();
    void BtnNextMonthClick();
    void BtnPrevDayClick();
    void BtnNextDayClick();
    void MonthCalendar1Click();
    void FormCreate();
    void FormDestroy();
    void BtnTodayClick();
    // Key is the Qt key code; setting it to 0 consumes the key.
    void KivDiaryEdit1KeyDown(int &key, Qt::KeyboardModifiers shift);
    void ActChangeFontExecute();
    void ActToggleDayNameExecute();
    // Opens the search window, or brings it forward when it is open.
    void ActSearchExecute();
    // Moves to the day as a calendar click does, marks the query's hits there and puts the
    // caret at the first.
    void OpenSearchHit(double date, const diarysearch::TSearchQuery &query);
    // Opens the window of the same day in other years, or brings it forward.
    void ActOnThisDayExecute();
    // Asks for the days, then prints them through the desktop's print dialog.
    void ActPrintExecute();
    // Asks for format, days and file, and writes them.
    void ActExportExecute();
    // Asks for other diaries' files or folder, shows what would come in, and takes it in.
    void ActImportExecute();
    // Opens the year view on the shown day's year, or brings it forward.
    void ActYearViewExecute();
    // The year view shows the year's figures, made off this thread when they are not at hand,
    // and marks the diary's day; it follows the diary into another year.
    void UpdateYearView(std::optional<int> year = std::nullopt);
    // Opens the search window on the words.
    void SearchFor(const QString &words);
    // Opens the window listing the keys, the popup's entries and the data folder.
    void ActShowKeysExecute();
    // Asks for picture files and adds them to the shown day at the caret.
    void ActAddPictureExecute();
    // Moves to the day as a calendar click does.
    void OpenOnThisDay(double date);
    // The window of the same day follows the calendar's day while it is open.
    void UpdateOnThisDay();

    // Days of the calendar's page that hold text are drawn bold.
    void UpdateCalendarMarks();

    void UpdateDate();
    void FocusEditor();

    // An argument split into its value (from the third character on) and its option letter
    // (the second character when the first is "-", else empty).
    static void SplitOption(const QString &argument, QString &value, QString &option);

    // The data folder's full path, ending in "/".
    QString DataFolder() const;

    // True when FormCreate asked the application to end (the store could not be opened).
    bool TerminateRequested() const { return FTerminateRequested; }

    // True when the claim failed: nothing was read or written, and the window is not shown.
    bool DataFolderRefused() const { return FDataFolderRefused; }

private:
    void BuildLayout();
    void BindEvents();
    // Names and descriptions a screen reader gives the parts that show no caption of their own.
    void NameForScreenReaders();
    void ApplyLayoutGeometry();

    // Settings of the loaded year file applied to the window.
    void RestoreWindowSize();
    void RestoreEditorFont();
    void ReadDayNameSetting();

    // Before the controls go: nothing that can still run while a box of the final save waits
    // (timers, event filters, queued calls) may reach one of them afterwards.
    void DetachFromControls();

    // The popup entries after 検索... and their actions, built and bound with the others.
    void BuildReadingActions();
    void BindReadingActions();
    void BuildKeysAction();
    // An entry of the popup menu with its key, and the window's action behind it; the entry.
    QAction *AddPopupEntry(
        QAction *&action, const char *name, const char *caption, const QKeySequence &key);
    // 写真を貼る... and the row of the day's pictures under the editor.
    void BuildPictures();
    // The row shows the pictures the editor's text names now.
    void UpdatePictureRow();
    // The row takes the bottom of the editor's place while it is shown.
    void PlacePictureRow();
    // Once a while after the start, off the window's thread: the picture files that no line
    // names and that stood so for long enough go into backup/.
    void PutAwayPictures();
    // 配色: as the desktop prefers, light or dark, for every window of the program.
    void BuildColourMenu();
    // The search's index brought up to date with the folder and the year as shown, its unsaved
    // text included; the year files it could not read go to skipped.
    diarysearch::TSearchIndex &ReadingIndex(QList<diarysearch::TSkippedFile> *skipped = nullptr);
    // The same without reading: the folder and the year as shown.
    diarysearch::TSearchIndex &PreparedIndex();

    bool FFinalSaved = true;
    bool FTerminateRequested = false;
    // Set once the start is done: from then on a year switch tells a merge in the notice bar.
    bool FRunning = false;
    bool FDataFolderRefused = false;
    QStringList FCommandLine;
    TDataFolderClaim FDataFolderClaim;
    TRecovery *FRecovery = nullptr;
    // Corrects the restored size for the frame once the window manager has framed the window.
    QPointer<QObject> FOuterSizeKeeper;
    // The window's settings as it last took them from the year (at the start and at each year
    // switch): 終了 writes only what this run's user changed, and leaves a value another
    // machine's version brought in meanwhile.
    struct TTakenSettings {
        QByteArray Width, Height, FontName, FontSize, DayName;
    } FTaken;
    int FTakenYear = 0;
    // The editor font when the year was taken, which a year without FONTNAME or FONTSIZE leaves
    // as it is.
    QFont FTakenFont;
    // The client size the layout gives, which a year without WIDTH or HEIGHT leaves as it is.
    QSize FLayoutSize;
    // Built when the search is first used, so start-up reads no year file.
    std::unique_ptr<diarysearch::TSearchIndex> FSearchIndex;
    QPointer<TSearchWindow> FSearchWindow;
    QPointer<TOnThisDayWindow> FOnThisDayWindow;
    QPointer<TKeysWindow> FKeysWindow;
    QPointer<TYearWindow> FYearWindow;
    // The year of the diary's day the year view last followed.
    int FYearViewFollows = 0;
    std::unique_ptr<diarystats::TFiguresCache> FFigures;
    TFiguresMaker *FFiguresMaker = nullptr;
    bool FEditorEmpty = true;
    TDiskWatch *FDiskWatch = nullptr;
    TInbox *FInbox = nullptr;
    TNoticeBar *FNoticeBar = nullptr;
    TPictureRow *FPictureRow = nullptr;
    // Parents before children, so that each container has its size before its children are
    // placed in it.
    std::vector<TAlignLayout *> FLayouts;
};

// Commits the editor's text and saves the year file when that is due, exactly as the store's
// destruction would. Errors are shown (on stderr while unattended) and not passed on; returns
// false when the save failed.
bool SaveDiaryNow(TForm1 &form);
