// The window as its design has it: every control in its place, with its font, caption and
// tab order; the store, the font dialog, the popup menu and its actions; and every event
// bound to its handler.

#include "MainForm.h"

#include "AppServices.h"
#include "Application.h"
#include "DayNumber.h"
#include "DiarySearch.h"
#include "DiskWatch.h"
#include "Inbox.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "Layout.h"
#include "MonthCalendar.h"
#include "NoticeBar.h"
#include "OnThisDayWindow.h"
#include "PictureRow.h"
#include "Recovery.h"
#include "SearchWindow.h"
#include "WindowTexts.h"
#include "YearWindow.h"

#include <QAction>
#include <QFont>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTextDocument>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The client area at design size and the fixed parts of the two columns.
constexpr QSize kDesignClient(544, 360);
constexpr int kRightColumnWidth = 166;
constexpr QSize kEditorAreaMinimum(300, 360);
constexpr QSize kCalendarAreaMinimum(164, 270);
constexpr int kStatusHeight = 88;
constexpr int kBevel = 1;

const QString kProportionalGothic = u"ＭＳ Ｐゴシック"_s;
const QString kFixedGothic = u"ＭＳ ゴシック"_s;

// The design names the Japanese system fonts; where they are missing, the IPA fonts of the
// same kind (proportional and fixed) stand in for them under the same names.
void substituteMissingFonts()
{
    static const bool done = [] {
        // The font database is filled from fontconfig's configuration, which the program may
        // be reading already.
        TFontConfigurationReader::Await();
        const QStringList families = QFontDatabase::families();
        const std::pair<QString, QString> stand_ins[] = {
            { kProportionalGothic, u"IPAPGothic"_s },
            { kFixedGothic, u"IPAGothic"_s },
        };
        for (const auto &[name, standIn] : stand_ins) {
            if (!families.contains(name))
                QFont::insertSubstitution(name, standIn);
        }
        return true;
    }();
    (void)done;
}

QFont layoutFont(const QString &family, int pixelSize, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFrame *newPanel(const QString &name, QWidget *parent)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(kBevel);
    panel->setFocusPolicy(Qt::NoFocus);
    return panel;
}

QPushButton *newButton(const QString &name, const QString &caption, QWidget *parent)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    // A click leaves the focus in the editor, so that a composition open there ends there, on
    // the day it was written for; Tab still reaches the buttons.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

QLabel *newLabel(const QString &name, const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

QFontDialog *TFontDialogHolder::Get() const
{
    if (!FDialog) {
        FDialog = new QFontDialog(FOwner);
        FDialog->setObjectName(u"FontDialog1"_s);
        FDialog->setCurrentFont(FOwner->font());
    }
    return FDialog;
}

void TFontDialogHolder::Destroy() { delete FDialog.data(); }

TForm1::TForm1(QStringList commandLine, TDataFolderClaim claimDataFolder, QWidget *parent)
    : QWidget(parent)
    , FCommandLine(std::move(commandLine))
    , FDataFolderClaim(std::move(claimDataFolder))
{
    BuildLayout();
    BindEvents();
    NameForScreenReaders();
    // Watches the store from its first load on, so a year left behind by a crash is offered
    // back as soon as it is opened.
    FRecovery = new TRecovery(KivDiaryEdit1, KivDiary1, this);
    FDiskWatch = new TDiskWatch(KivDiaryEdit1, KivDiary1, this);
    FInbox = new TInbox(KivDiaryEdit1, KivDiary1, this);
    SetWindowNoticeArea([this](const QString &text) { FNoticeBar->Add(text); });
    RunGuarded([&] { FormCreate(); });
    if (!FTerminateRequested) {
        FRunning = true;
        FDiskWatch->Start();
        FInbox->Start();
    }
}

TForm1::~TForm1() { Dismantle(); }

bool TForm1::Dismantle()
{
    if (!KivDiary1)
        return FFinalSaved;
    // The search window asks the store; it goes before the final save can show a box.
    delete FSearchWindow.data();
    delete FOnThisDayWindow.data();
    delete FYearWindow.data();
    delete FFiguresMaker;
    FFiguresMaker = nullptr;
    hide();
    RunGuarded([&] { FormDestroy(); });
    DetachFromControls();
    // No mark is updated while the controls go.
    KivDiaryEdit1->disconnect(this);
    MonthCalendar1->disconnect(this);
    KivDiary1->disconnect(this);
    // The controls go first; the store last, because destroying it makes the final save. A box
    // of that save runs an event loop, and whatever runs there (the save at a lost display or
    // at the session's end among it) finds the controls gone and the store still standing.
    delete PopupMenu1;
    FontDialog1.Destroy();
    delete ActionList1;
    delete Panel3;
    delete PnlMain;
    PnlMain = Panel3 = PnlCalendar = PnlStatus = nullptr;
    KivDiaryEdit1 = nullptr;
    MonthCalendar1 = nullptr;
    BtnToday = BtnPrevYear = BtnNextYear = BtnPrevMonth = BtnNextMonth = BtnPrevDay = BtnNextDay
        = BtnClose = BtnUndo = nullptr;
    LblYear = LblDate = Label1 = nullptr;
    PopupMenu1 = nullptr;
    N1 = N2 = N3 = ActChangeFont = ActToggleDayName = ActSearch = nullptr;
    N4 = N5 = N6 = N7 = ActOnThisDay = ActPrint = ActExport = ActImport = nullptr;
    NPicture = ActAddPicture = nullptr;
    FPictureRow = nullptr;
    ActionList1 = nullptr;
    FFinalSaved = KivDiary1->FinalSave();
    delete KivDiary1;
    KivDiary1 = nullptr;
    return FFinalSaved;
}

void TForm1::DetachFromControls()
{
    // The layouts place the panels whenever the window's size changes.
    FNoticeBar->disconnect(this);
    FPictureRow->disconnect(this);
    for (TAlignLayout *layout : FLayouts)
        delete layout;
    FLayouts.clear();
    delete FOuterSizeKeeper.data();
    // The recovery timer goes on: what it writes now comes from the store alone, which holds
    // the editor's text since FormDestroy.
    FRecovery->ReleaseEditor();
    // Nothing looks at the year file any more: no reload, and no save started by a change on
    // disk, may run inside a box of the final save.
    FDiskWatch->Stop();
    FInbox->Stop();
    // What the final save has to say is said in a box: the window is going.
    SetWindowNoticeArea({});
}

void TForm1::BuildLayout()
{
    substituteMissingFonts();

    setObjectName(u"Form1"_s);
    setWindowTitle(u"KIV-N's Diary"_s);
    setFont(layoutFont(kProportionalGothic, 12));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    move(193, 114);
    resize(kDesignClient);
    // The window is as small as the editor area's and the right column's minimums allow.
    setMinimumSize(kEditorAreaMinimum.width() + kRightColumnWidth,
        std::max(kEditorAreaMinimum.height(),
            kCalendarAreaMinimum.height() + kStatusHeight + 2 * kBevel));

    // The editor area.
    PnlMain = newPanel(u"PnlMain"_s, this);
    Label1
        = newLabel(u"Label1"_s, u"2001年08月20日"_s, layoutFont(kProportionalGothic, 24), PnlMain);
    KivDiaryEdit1 = new TKivDiaryEdit(PnlMain);
    KivDiaryEdit1->setObjectName(u"KivDiaryEdit1"_s);
    BtnClose = newButton(u"BtnClose"_s, Text(wtext::kCloseCaption), PnlMain);
    BtnUndo = newButton(u"BtnUndo"_s, Text(wtext::kUndoCaption), PnlMain);

    // The calendar and status column.
    Panel3 = newPanel(u"Panel3"_s, this);
    PnlCalendar = newPanel(u"PnlCalendar"_s, Panel3);
    MonthCalendar1 = new TMonthCalendar(PnlCalendar);
    MonthCalendar1->setObjectName(u"MonthCalendar1"_s);
    MonthCalendar1->SetDate(DateToDayNumber(QDate(2001, 8, 20)));
    BtnToday = newButton(u"BtnToday"_s, Text(wtext::kTodayCaption), PnlCalendar);
    BtnPrevYear = newButton(u"BtnPrevYear"_s, Text(wtext::kPrevYearCaption), PnlCalendar);
    BtnNextYear = newButton(u"BtnNextYear"_s, Text(wtext::kNextYearCaption), PnlCalendar);
    BtnPrevMonth = newButton(u"BtnPrevMonth"_s, Text(wtext::kPrevMonthCaption), PnlCalendar);
    BtnNextMonth = newButton(u"BtnNextMonth"_s, Text(wtext::kNextMonthCaption), PnlCalendar);
    BtnPrevDay = newButton(u"BtnPrevDay"_s, Text(wtext::kPrevDayCaption), PnlCalendar);
    BtnNextDay = newButton(u"BtnNextDay"_s, Text(wtext::kNextDayCaption), PnlCalendar);
    PnlStatus = newPanel(u"PnlStatus"_s, Panel3);
    LblYear = newLabel(u"LblYear"_s, u"2001年"_s, layoutFont(kFixedGothic, 32), PnlStatus);
    LblYear->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    LblDate
        = newLabel(u"LblDate"_s, u"08月20日(月)"_s, layoutFont(kFixedGothic, 19, true), PnlStatus);
    LblDate->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // Placement: aligned panels fill their sides, the rest keep their anchored distances.
    auto *form = new TAlignLayout(this, kDesignClient, 0);
    form->AddAligned(PnlMain, { 0, 0, 378, 360 }, TAlign::Client);
    form->AddAligned(Panel3, { 378, 0, kRightColumnWidth, 360 }, TAlign::Right);

    const Qt::Edges leftTop = Qt::LeftEdge | Qt::TopEdge;
    auto *main = new TAlignLayout(PnlMain, { 378, 360 }, kBevel);
    main->AddAnchored(Label1, { 16, 8, 168, 24 }, leftTop, true);
    main->AddAnchored(KivDiaryEdit1, { 8, 40, 369, 265 },
        Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    main->AddAnchored(BtnClose, { 207, 320, 75, 25 }, Qt::LeftEdge | Qt::BottomEdge);
    main->AddAnchored(BtnUndo, { 111, 320, 75, 25 }, Qt::LeftEdge | Qt::BottomEdge);
    // While it has something to say, the notice bar takes the top of the editor's place.
    FNoticeBar = new TNoticeBar(PnlMain);
    // The row of the day's pictures takes its bottom, on days that have any.
    FPictureRow = new TPictureRow(PnlMain);
    FPictureRow->SetTabAfter(KivDiaryEdit1);
    main->AfterApply = [this] {
        PlacePictureRow();
        FNoticeBar->Place(KivDiaryEdit1);
    };
    connect(FNoticeBar, &TNoticeBar::Toggled, this, [main] { main->Apply(); });
    connect(FPictureRow, &TPictureRow::Toggled, this, [main] { main->Apply(); });

    auto *column = new TAlignLayout(Panel3, { kRightColumnWidth, 360 }, kBevel);
    column->AddAligned(PnlCalendar, { 1, 1, 164, 270 }, TAlign::Client);
    column->AddAligned(PnlStatus, { 1, 271, 164, kStatusHeight }, TAlign::Bottom);

    auto *calendar = new TAlignLayout(PnlCalendar, kCalendarAreaMinimum, kBevel);
    calendar->AddAligned(MonthCalendar1, { 1, 1, 162, 127 }, TAlign::Top);
    calendar->AddAnchored(BtnToday, { 16, 232, 132, 25 }, leftTop);
    calendar->AddAnchored(BtnPrevYear, { 16, 136, 60, 25 }, leftTop);
    calendar->AddAnchored(BtnNextYear, { 88, 136, 60, 25 }, leftTop);
    calendar->AddAnchored(BtnPrevMonth, { 16, 168, 60, 25 }, leftTop);
    calendar->AddAnchored(BtnNextMonth, { 88, 168, 60, 25 }, leftTop);
    calendar->AddAnchored(BtnPrevDay, { 16, 200, 60, 25 }, leftTop);
    calendar->AddAnchored(BtnNextDay, { 88, 200, 60, 25 }, leftTop);

    auto *status = new TAlignLayout(PnlStatus, { 164, kStatusHeight }, kBevel);
    status->AddAnchored(LblYear, { 1, 13, 160, 35 }, leftTop);
    status->AddAnchored(LblDate, { 1, 52, 160, 29 }, leftTop);

    FLayouts = { form, main, column, calendar, status };
    ApplyLayoutGeometry();

    // The calendar is passed by: Tab cycles through the editor and the buttons only.
    const QList<QWidget *> tabOrder = { KivDiaryEdit1, BtnClose, BtnUndo, BtnToday, BtnPrevYear,
        BtnNextYear, BtnPrevMonth, BtnNextMonth, BtnPrevDay, BtnNextDay };
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // The store gets its design values in this order; it ends inactive with nothing loaded.
    KivDiary1 = new TKivDiary(this);
    KivDiary1->setObjectName(u"KivDiary1"_s);
    KivDiary1->setProperty("BaseDir", u"Data/"_s);
    KivDiary1->setProperty("Ext", u".jnl"_s);
    KivDiary1->setProperty("Year", 1900);
    KivDiary1->setProperty("FileName", u"1900.jnl"_s);
    KivDiary1->setProperty("AutoSave", true);
    KivDiary1->setProperty("Active", false);
    KivDiary1->setProperty("DayName", true);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(u"PopupMenu1"_s);
    N1 = new QAction(PopupMenu1);
    N1->setObjectName(u"N1"_s);
    N2 = new QAction(PopupMenu1);
    N2->setObjectName(u"N2"_s);
    N2->setCheckable(true);
    N3 = new QAction(PopupMenu1);
    N3->setObjectName(u"N3"_s);
    PopupMenu1->addAction(N1);
    PopupMenu1->addAction(N2);
    PopupMenu1->addAction(N3);

    ActionList1 = new QObject(this);
    ActionList1->setObjectName(u"ActionList1"_s);
    ActChangeFont = new QAction(Text(wtext::kChangeFontCaption), ActionList1);
    ActChangeFont->setObjectName(u"ActChangeFont"_s);
    ActToggleDayName = new QAction(Text(wtext::kToggleDayNameCaption), ActionList1);
    ActToggleDayName->setObjectName(u"ActToggleDayName"_s);
    ActSearch = new QAction(Text(wtext::kSearchCaption), ActionList1);
    ActSearch->setObjectName(u"ActSearch"_s);
    ActSearch->setShortcut(QKeySequence::Find);
    ActSearch->setShortcutContext(Qt::WindowShortcut);
    addAction(ActSearch);

    // References to components made above: the items show their actions' captions, and
    // the editor's store is set only now, while the store is still inactive.
    const auto followCaption = [](QAction *item, QAction *action) {
        item->setText(action->text());
        QObject::connect(
            action, &QAction::changed, item, [item, action] { item->setText(action->text()); });
    };
    followCaption(N1, ActChangeFont);
    followCaption(N2, ActToggleDayName);
    followCaption(N3, ActSearch);
    // The entry names the key as menus do; the key itself is the window's, through ActSearch.
    N3->setShortcut(ActSearch->shortcut());
    N3->setShortcutContext(Qt::WidgetShortcut);
    N3->setShortcutVisibleInContextMenu(true);
    BuildReadingActions();
    BuildPictures();
    BuildColourMenu();
    BuildKeysAction();
    PnlCalendar->setContextMenuPolicy(Qt::CustomContextMenu);
    PnlStatus->setContextMenuPolicy(Qt::CustomContextMenu);
    KivDiaryEdit1->SetSource(KivDiary1);
}

void TForm1::BindEvents()
{
    connect(KivDiaryEdit1, &QPlainTextEdit::textChanged, this,
        [this] { RunGuarded([&] { KivDiaryEdit1Change(); }); });
    KivDiaryEdit1->OnKeyDown = [this](int &key, Qt::KeyboardModifiers shift) {
        bool handled = false;
        RunGuarded([&] {
            KivDiaryEdit1KeyDown(key, shift);
            handled = true;
        });
        // A key whose handler failed goes no further, as if it had been consumed.
        if (!handled)
            key = 0;
    };

    const auto onClick = [this](QPushButton *button, void (TForm1::*handler)()) {
        connect(button, &QPushButton::clicked, this,
            [this, handler] { RunGuarded([&] { (this->*handler)(); }); });
    };
    onClick(BtnClose, &TForm1::BtnCloseClick);
    onClick(BtnUndo, &TForm1::BtnUndoClick);
    onClick(BtnToday, &TForm1::BtnTodayClick);
    onClick(BtnPrevYear, &TForm1::BtnPrevYearClick);
    onClick(BtnNextYear, &TForm1::BtnNextYearClick);
    onClick(BtnPrevMonth, &TForm1::BtnPrevMonthClick);
    onClick(BtnNextMonth, &TForm1::BtnNextMonthClick);
    onClick(BtnPrevDay, &TForm1::BtnPrevDayClick);
    onClick(BtnNextDay, &TForm1::BtnNextDayClick);
    connect(MonthCalendar1, &TMonthCalendar::Click, this,
        [this] { RunGuarded([&] { MonthCalendar1Click(); }); });

    connect(ActChangeFont, &QAction::triggered, this,
        [this] { RunGuarded([&] { ActChangeFontExecute(); }); });
    connect(ActToggleDayName, &QAction::triggered, this,
        [this] { RunGuarded([&] { ActToggleDayNameExecute(); }); });
    connect(
        ActSearch, &QAction::triggered, this, [this] { RunGuarded([&] { ActSearchExecute(); }); });
    connect(N1, &QAction::triggered, ActChangeFont, [this] { ActChangeFont->trigger(); });
    connect(N3, &QAction::triggered, ActSearch, [this] { ActSearch->trigger(); });
    BindReadingActions();
    // The check mark of the item belongs to the program, not to the click: undo the toggle
    // that choosing a checkable item makes, and let the action set the mark.
    connect(N2, &QAction::triggered, ActToggleDayName, [this](bool checked) {
        N2->setChecked(!checked);
        ActToggleDayName->trigger();
    });

    // The calendar's marks follow the text: typing a day's first character marks it,
    // emptying it takes the mark away.
    // Connected after the editor's own handler, so the editor's text is up to date here.
    connect(KivDiaryEdit1->document(), &QTextDocument::contentsChanged, this, [this] {
        if (TKivDiary::HoldsText(KivDiaryEdit1->StoreText()) == FEditorEmpty)
            RunGuarded([&] { UpdateCalendarMarks(); });
    });
    connect(MonthCalendar1, &QCalendarWidget::currentPageChanged, this,
        [this] { RunGuarded([&] { UpdateCalendarMarks(); }); });
    // A year read, also one read again from disk or merged with another version, changes the
    // days that hold text.
    for (auto signal : { &TKivDiary::Loaded, &TKivDiary::Reloaded, &TKivDiary::Merged }) {
        connect(KivDiary1, signal, this, [this] { RunGuarded([&] { UpdateCalendarMarks(); }); });
    }

    for (QWidget *panel : { PnlCalendar, PnlStatus }) {
        connect(panel, &QWidget::customContextMenuRequested, this,
            [this, panel](QPoint pos) { PopupMenu1->popup(panel->mapToGlobal(pos)); });
    }
}

void TForm1::NameForScreenReaders()
{
    // The editor's name follows the day it holds (UpdateDate); the labels are named by their
    // texts, and say what they show.
    KivDiaryEdit1->setAccessibleDescription(Text(wtext::kA11yEditorDescription));
    MonthCalendar1->setAccessibleName(Text(wtext::kA11yCalendarName));
    MonthCalendar1->setAccessibleDescription(Text(wtext::kA11yCalendarDescription));
    Label1->setAccessibleDescription(Text(wtext::kA11yShownDayDescription));
    PnlStatus->setAccessibleName(Text(wtext::kA11yTodayName));
    LblYear->setAccessibleDescription(Text(wtext::kA11yTodayYearDescription));
    LblDate->setAccessibleDescription(Text(wtext::kA11yTodayDateDescription));
}

void TForm1::ApplyLayoutGeometry()
{
    for (TAlignLayout *layout : FLayouts)
        layout->Apply();
}

bool SaveDiaryNow(TForm1 &form)
{
    try {
        // While the window is being destroyed its controls are gone before the store makes the
        // final save; the editor's text is in the store by then.
        if (TKivDiaryEdit *editor = form.KivDiaryEdit1)
            editor->Commit();
        if (TKivDiary *store = form.KivDiary1)
            store->SaveWhenDue();
        return true;
    } catch (...) {
        ShowException();
        return false;
    }
}
