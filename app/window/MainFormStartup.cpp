// Start-up: the command line, the data folder, the first day and the settings of the year
// file that the first day loads.

#include "AppServices.h"
#include "CommandLine.h"
#include "DayNumber.h"
#include "DiskCopies.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "MonthCalendar.h"
#include "Numbers.h"
#include "Services.h"
#include "SettingValues.h"
#include "WindowRules.h"
#include "WindowTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The store's paths stay as they were given, relative ones included; only the check and the
// message use the full path. One box says everything about the folder, before anything is typed
// that could not be saved there.
void ensureDataFolder(TKivDiary &diary)
{
    QString box;
    if (const QString folder = diary.BaseDir(); !folder.isEmpty()) {
        const QString full = FullFolderPath(folder);
        if (!MakeFolders(full)) {
            box = Text(wtext::kFolderCreateFailed) + u"\r\n> "_s + full + u"\r\n"_s
                + Text(wtext::kUseCurrentFolder);
            diary.SetBaseDir(QString());
        }
    }
    const QString used = FullFolderPath(diary.BaseDir());
    if (!FolderTakesNewFiles(used)) {
        if (!box.isEmpty())
            box += u"\r\n"_s;
        box += Text(wtext::kFolderNotWritable) + u"\r\n> "_s + used + u"\r\n"_s;
        // No file is promised where none can be made.
        box += FolderCouldTakeNewFiles(RescueFolder())
            ? Text(wtext::kSavedElsewhereThen) + u"\r\n> "_s + RescueFolder()
            : Text(wtext::kNothingCanBeKept);
    }
    if (!box.isEmpty())
        ShowMessageBox(box);
}

std::optional<int> integerSetting(const TKivDiary &diary, const char *name)
{
    qint32 value = 0;
    if (TryStrToInt32(diary.GetSetting(name), value))
        return value;
    return std::nullopt;
}

// The whole window on the screen it opens on, frame included: 終了 and the close box in reach.
void placeWhollyOnScreen(QWidget *window)
{
    if (const QScreen *screen = window->screen())
        window->move(FitIntoArea(window->frameGeometry(), screen->availableGeometry()).topLeft());
}

// WIDTH and HEIGHT are the outer size, frame included, but the frame is known only once the
// window manager has framed the shown window. Until then the client takes the outer size as
// a first guess; the first time the frame shows up the client is corrected once, so that
// the window does not grow by its frame at every start.
class TOuterSizeKeeper : public QObject {
public:
    TOuterSizeKeeper(QWidget *window, std::optional<int> width, std::optional<int> height)
        : QObject(window)
        , FWindow(window)
        , FWidth(width)
        , FHeight(height)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Show:
            // Without a window manager there is never a frame: stop watching after a while.
            QTimer::singleShot(10000, this, &QObject::deleteLater);
            [[fallthrough]];
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
            if (watched == FWindow && FWindow->isVisible()
                && FWindow->frameGeometry().size() != FWindow->size()) {
                FWindow->removeEventFilter(this);
                QTimer::singleShot(0, this, [this] {
                    FWindow->resize(ClientSizeForOuter(
                        FWidth, FHeight, FWindow->size(), FWindow->frameGeometry().size()));
                    placeWhollyOnScreen(FWindow);
                    deleteLater();
                });
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    QWidget *FWindow;
    std::optional<int> FWidth;
    std::optional<int> FHeight;
};

} // namespace

void TForm1::SplitOption(const QString &argument, QString &value, QString &option)
{
    ::SplitOption(argument, value, option);
}

QString TForm1::DataFolder() const { return FullFolderPath(KivDiary1->BaseDir()); }

void TForm1::FormCreate()
{
    TKivDiary &diary = *KivDiaryEdit1->Source();
    TDataFolder folder = TDataFolder::Of(diary);
    folder.TakeCommandLine(FCommandLine.mid(1));
    folder.ApplyTo(diary);
    ensureDataFolder(diary);
    // A menu starts the diary in the home folder: the tool tip says how its entry gets this
    // folder, prefix and extension, in a form a shell takes as it stands.
    QStringList options = TDataFolder::Of(diary).Options();
    for (QString &option : options) {
        if (option.contains(QRegularExpression(u"[^\\w/.~+-]"_s)))
            option = u'\'' + option.replace(u"'"_s, u"'\\''"_s) + u'\'';
    }
    PnlStatus->setToolTip(Text(wtext::kDataFolderHead) + DataFolder() + u'\n'
        + Text(wtext::kMenuEntryHint).arg(u"kivlog-cli menu-entry "_s + options.join(u' ')));
    if (FDataFolderClaim
        && !FDataFolderClaim(
            diary.BaseDir().isEmpty() ? QDir::currentPath() : FullFolderPath(diary.BaseDir()))) {
        FDataFolderRefused = FTerminateRequested = true;
        return;
    }

    // The status labels keep the day the program started on; they ignore the 08:00 rule.
    const QDateTime now = DiaryNow();
    const double today = DateToDayNumber(now.date());
    LblYear->setText(YearText(today));
    LblDate->setText(MonthDayText(today));

    // The diary day begins at about 08:00: before that the calendar opens on the day before.
    MonthCalendar1->SetDate(DiaryToday());

    try {
        diary.Open();
        UpdateDate();
        FLayoutSize = size();
        RestoreWindowSize();
        RestoreEditorFont();
        ReadDayNameSetting();
    } catch (const EKivDiaryError &e) {
        // Nothing is written after this: the store is inactive or its failed load left it
        // unmodified, and the editor holds no edits.
        ShowMessageBox(e.Message() + u"\r\n"_s + Text(wtext::kApplicationEnds));
        FTerminateRequested = true;
        if (auto *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, "quit", Qt::QueuedConnection);
    }
}

void TForm1::RestoreWindowSize()
{
    const TKivDiary &diary = *KivDiaryEdit1->Source();
    std::optional<int> width = integerSetting(diary, setting::kWidth);
    std::optional<int> height = integerSetting(diary, setting::kHeight);
    // A size stored from a maximised window, or from a larger screen, is cut to this screen's
    // available area; 終了 then stores the size the window really has.
    if (const QScreen *shownOn = screen()) {
        const QSize area = shownOn->availableGeometry().size();
        if (width)
            width = std::min(*width, area.width());
        if (height)
            height = std::min(*height, area.height());
    }
    if (width || height) {
        resize(ClientSizeForOuter(width, height, size(), frameGeometry().size()));
        if (!isVisible())
            FOuterSizeKeeper = new TOuterSizeKeeper(this, width, height);
    }
    placeWhollyOnScreen(this);
}

void TForm1::RestoreEditorFont()
{
    const TKivDiary &diary = *KivDiaryEdit1->Source();
    QFont font = KivDiaryEdit1->font();
    const int points = integerSetting(diary, setting::kFontSize).value_or(kDefaultFontSize);
    // Qt keeps no font of zero or fewer points; such a stored size leaves the size as it was.
    if (points > 0)
        font.setPointSize(points);
    const QByteArray face = diary.GetSetting(setting::kFontName);
    if (!face.isEmpty())
        font.setFamily(FaceNameFromSetting(face));
    KivDiaryEdit1->setFont(font);
}

void TForm1::ReadDayNameSetting()
{
    TKivDiary &diary = *KivDiaryEdit1->Source();
    diary.SetDayName(DayNameSettingOn(diary.GetSetting(setting::kDayName)));
    N2->setChecked(diary.DayName());
    // Within one year the settings change only by this window or by another machine's version,
    // which must not count as this run's user's change.
    if (diary.Year() == FTakenYear)
        return;
    FTakenYear = diary.Year();
    FTaken = { diary.GetSetting(setting::kWidth), diary.GetSetting(setting::kHeight),
        diary.GetSetting(setting::kFontName), diary.GetSetting(setting::kFontSize),
        diary.GetSetting(setting::kDayName) };
    FTakenFont = KivDiaryEdit1->font();
}
