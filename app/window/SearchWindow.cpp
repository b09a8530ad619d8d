#include "SearchWindow.h"

#include "DayTexts.h"
#include "Exceptions.h"
#include "PictureRow.h"
#include "WindowTexts.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace diarysearch;

namespace {

enum : int { DateRole = Qt::UserRole, MarksRole };

// Draws an item's text with its hits in bold; colours stay those of the list.
class THitDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        QList<QTextLayout::FormatRange> formats;
        const QVariantList marks = index.data(MarksRole).toList();
        for (qsizetype i = 0; i + 1 < marks.size(); i += 2) {
            QTextLayout::FormatRange range;
            range.start = marks[i].toInt();
            range.length = marks[i + 1].toInt();
            range.format.setFontWeight(QFont::Bold);
            formats.append(range);
        }
        const QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
        QTextLayout layout(text, opt.font);
        layout.setFormats(formats);
        QTextOption textOption;
        textOption.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(textOption);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        if (!line.isValid())
            return;
        painter->save();
        painter->setClipRect(rect);
        painter->setPen(opt.palette.color(QPalette::Normal,
            (opt.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
        const qreal y = rect.top() + (rect.height() - line.height()) / 2;
        layout.draw(painter, QPointF(rect.left() + 2, y));
        painter->restore();
    }
};

} // namespace

// The days found, newest first, and the year files that could not be read after them. A row's
// text is made when the view asks for it, so a long list costs what the rows shown cost.
class TSearchResults : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void Reset(const TSearchQuery &query, std::vector<TSearchIndex::TFoundDay> found,
        QList<TSkippedFile> skipped)
    {
        beginResetModel();
        FQuery = query;
        FDays = std::move(found);
        std::reverse(FDays.begin(), FDays.end());
        FSkipped = std::move(skipped);
        FCachedRow = -1;
        endResetModel();
    }

    // The days found in one year's texts, oldest first, in place of those found there before.
    void ReplaceYear(int year, std::vector<TSearchIndex::TFoundDay> found)
    {
        const auto inYear = [year](const TSearchIndex::TFoundDay &d) {
            return DayNumberToDate(d.Date).year() == year;
        };
        const auto first
            = std::find_if(FDays.begin(), FDays.end(), [year](const TSearchIndex::TFoundDay &d) {
                  return DayNumberToDate(d.Date).year() <= year;
              });
        const auto last = std::find_if_not(first, FDays.end(), inYear);
        const int at = int(first - FDays.begin());
        FCachedRow = -1;
        if (first != last) {
            beginRemoveRows(QModelIndex(), at, at + int(last - first) - 1);
            FDays.erase(first, last);
            endRemoveRows();
        }
        if (found.empty())
            return;
        beginInsertRows(QModelIndex(), at, at + int(found.size()) - 1);
        FDays.insert(FDays.begin() + at, found.rbegin(), found.rend());
        endInsertRows();
    }

    void SetSkipped(QList<TSkippedFile> skipped)
    {
        const int start = int(FDays.size());
        if (!FSkipped.isEmpty()) {
            beginRemoveRows(QModelIndex(), start, start + int(FSkipped.size()) - 1);
            FSkipped.clear();
            endRemoveRows();
        }
        if (skipped.isEmpty())
            return;
        beginInsertRows(QModelIndex(), start, start + int(skipped.size()) - 1);
        FSkipped = std::move(skipped);
        endInsertRows();
    }

    qsizetype DaysFound() const { return qsizetype(FDays.size()); }
    // Newest first.
    const std::vector<TSearchIndex::TFoundDay> &Days() const { return FDays; }

    // The width a row's line has, in the list's font: excerpts are cut to it.
    void SetRoom(double room, const QFont &font)
    {
        if (room == FRoom && font == FFont)
            return;
        FRoom = room;
        FFont = font;
        FMetrics = QFontMetricsF(font);
        FCachedRow = -1;
        if (!FDays.empty())
            emit dataChanged(
                index(0), index(int(FDays.size()) - 1), { Qt::DisplayRole, MarksRole });
    }
    int RowOf(double date) const
    {
        const auto it = std::find_if(FDays.begin(), FDays.end(),
            [date](const TSearchIndex::TFoundDay &d) { return d.Date == date; });
        return it == FDays.end() ? -1 : int(it - FDays.begin());
    }
    const TSearchQuery &Query() const { return FQuery; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(FDays.size() + FSkipped.size());
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.row() < int(FDays.size()) ? QAbstractListModel::flags(index)
                                               : Qt::ItemIsEnabled;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        const int row = index.row();
        if (row < 0 || row >= rowCount())
            return {};
        if (row >= int(FDays.size())) {
            const TSkippedFile &skipped = FSkipped[row - int(FDays.size())];
            if (role == Qt::DisplayRole)
                return Text(wtext::kSearchSkippedHead) + skipped.Path + u"  "_s + skipped.Reason;
            if (role == Qt::ToolTipRole)
                return skipped.Reason;
            return {};
        }
        const TSearchIndex::TFoundDay &day = FDays[size_t(row)];
        if (role == DateRole)
            return day.Date;
        if (role != Qt::DisplayRole && role != MarksRole)
            return {};
        if (row != FCachedRow) {
            // The view asks for several roles of a row in turn: one excerpt serves them all.
            const QString head = DayHeading(day.Date) + PicturesMark(day.Text()) + u"  "_s;
            const TSearchHit hit = FRoom < 0
                ? Excerpt(day, FQuery, TSearchWindow::ExcerptChars)
                : FittedExcerpt(day, FQuery, FRoom - FMetrics.horizontalAdvance(head),
                    [this](
                        QStringView text) { return FMetrics.horizontalAdvance(text.toString()); });
            FCachedText = head + hit.Line;
            FCachedMarks.clear();
            for (const TSpan &mark : hit.Marks)
                FCachedMarks << QVariant::fromValue(int(mark.Start + head.size()))
                             << QVariant::fromValue(int(mark.Length));
            FCachedRow = row;
        }
        return role == Qt::DisplayRole ? QVariant(FCachedText) : QVariant(FCachedMarks);
    }

private:
    TSearchQuery FQuery;
    std::vector<TSearchIndex::TFoundDay> FDays;
    QList<TSkippedFile> FSkipped;
    double FRoom = -1;
    QFont FFont;
    QFontMetricsF FMetrics { QFont() };
    mutable int FCachedRow = -1;
    mutable QString FCachedText;
    mutable QVariantList FCachedMarks;
};

TSearchWindow::TSearchWindow(QWidget *diary, TSearchIndex *index, std::function<bool()> prepare,
    std::function<void()> read, std::function<void(double, const TSearchQuery &)> open)
    : QWidget(diary, Qt::Window)
    , FIndex(index)
    , FPrepare(std::move(prepare))
    , FRead(std::move(read))
    , FOpen(std::move(open))
{
    setObjectName(u"SearchWindow"_s);
    setWindowTitle(Text(wtext::kSearchTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(380, 420);

    EdtQuery = new QLineEdit(this);
    EdtQuery->setObjectName(u"EdtQuery"_s);
    EdtQuery->setPlaceholderText(Text(wtext::kSearchPlaceholder));
    EdtQuery->setClearButtonEnabled(true);
    EdtQuery->setAccessibleName(Text(wtext::kA11ySearchFieldName));
    for (QToolButton *clear : EdtQuery->findChildren<QToolButton *>())
        clear->setAccessibleName(Text(wtext::kA11ySearchClearName));
    FResults = new TSearchResults(this);
    LstResults = new QListView(this);
    LstResults->setObjectName(u"LstResults"_s);
    LstResults->setAccessibleName(Text(wtext::kA11ySearchResultsName));
    LstResults->setModel(FResults);
    LstResults->setItemDelegate(new THitDelegate(LstResults));
    LstResults->setUniformItemSizes(true);
    LstResults->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Lines are cut around their first hit already; the rest runs off the right edge.
    LstResults->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    LblCount = new QLabel(this);
    LblCount->setObjectName(u"LblCount"_s);

    EdtFolder = new QLineEdit(this);
    EdtFolder->setObjectName(u"EdtFolder"_s);
    EdtFolder->setReadOnly(true);
    EdtFolder->setFrame(false);
    EdtFolder->setFocusPolicy(Qt::ClickFocus);
    // Read like a label: the window's own background, no field's.
    QPalette plain = EdtFolder->palette();
    plain.setBrush(QPalette::Base, plain.window());
    EdtFolder->setPalette(plain);
    auto *folderHead = new QLabel(Text(wtext::kDataFolderHead).trimmed(), this);
    folderHead->setBuddy(EdtFolder);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(EdtQuery);
    layout->addWidget(LstResults, 1);
    layout->addWidget(LblCount);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(folderHead);
    folderRow->addWidget(EdtFolder, 1);
    layout->addLayout(folderRow);

    FRetry.setSingleShot(true);
    FRetry.setInterval(50);
    connect(&FRetry, &QTimer::timeout, this, [this] {
        if (!FArrived.empty() || FReadersDone > 0)
            TakeArrivals();
        if (FResults->Query().Words() != TSearchQuery(EdtQuery->text()).Words())
            RunSearch();
    });
    connect(EdtQuery, &QLineEdit::textEdited, this, &TSearchWindow::SearchSoon);
    LstResults->viewport()->installEventFilter(this);
    connect(EdtQuery, &QLineEdit::returnPressed, this, [this] {
        if (TSearchQuery(EdtQuery->text()).Words() != FQuery.Words() || FQuery.IsEmpty())
            RunSearch();
        FSelectFirst = true;
        SelectFirst();
    });
    connect(LstResults, &QListView::activated, this, &TSearchWindow::OpenRow);
    connect(LstResults, &QListView::doubleClicked, this, &TSearchWindow::OpenRow);
}

TSearchWindow::~TSearchWindow()
{
    // The readers only read and send; once they have stopped nothing of them is left.
    FStop = true;
    for (QThread *reader : FReaders) {
        reader->wait();
        delete reader;
    }
}

void TSearchWindow::SetFolder(const QString &path)
{
    EdtFolder->setText(path);
    EdtFolder->setCursorPosition(0);
    EdtFolder->setToolTip(path);
}

void TSearchWindow::SearchSoon()
{
    // Keys typed in a burst arrive in one pass of the event loop: the newest text is searched
    // once, after them.
    if (FSearchPosted)
        return;
    FSearchPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FSearchPosted = false;
            RunSearch();
        },
        Qt::QueuedConnection);
}

void TSearchWindow::RunSearch()
{
    FQuery = TSearchQuery(EdtQuery->text());
    // A box of the diary is waiting for the user: the diary may be in the middle of switching
    // years. Search once it has closed.
    if (QApplication::activeModalWidget()) {
        FRetry.start();
        return;
    }
    FRetry.stop();
    if (!FPrepare())
        return;
    if (!FReaders.empty())
        FLookAgain = true;
    else
        StartReading();
    if (FQuery.IsEmpty()) {
        FResults->Reset(FQuery, {}, {});
        FSearched.clear();
        LblCount->clear();
        return;
    }
    // A query that only narrows the one shown looks again at the days shown.
    const bool narrows = FQuery.Narrows(FResults->Query());
    std::vector<TSearchIndex::TFoundDay> found = narrows
        ? FIndex->FindNarrowing(FQuery, FResults->Days(), FSearched)
        : FIndex->Find(FQuery);
    FSearched = FIndex->Searched();
    // The day chosen in the list stays chosen when it is found again.
    const QVariant chosen = LstResults->currentIndex().data(DateRole);
    FResults->Reset(FQuery, std::move(found), FIndex->Skipped());
    if (const int row = chosen.isValid() ? FResults->RowOf(chosen.toDouble()) : -1; row >= 0)
        LstResults->setCurrentIndex(FResults->index(row));
    ShowCount();
    SelectFirst();
}

void TSearchWindow::StartReading()
{
    auto stale = std::make_shared<std::vector<TSearchIndex::TYearToRead>>(FIndex->Stale());
    if (stale->empty())
        return;
    const int generation = FIndex->FolderChanges();
    // Newest first, each year to whichever reader is free: both cores read, decode and fold.
    auto next = std::make_shared<std::atomic<size_t>>(0);
    const int readers = std::clamp(QThread::idealThreadCount(), 1, 2);
    FReadersDone = 0;
    for (int i = 0; i < readers; ++i) {
        QThread *reader = QThread::create([this, stale, next, generation] {
            for (size_t at = (*next)++; at < stale->size() && !FStop; at = (*next)++) {
                const TSearchIndex::TYearToRead &file = (*stale)[at];
                TArrival arrival { generation, file, nullptr, QString() };
                try {
                    arrival.Texts = TSearchIndex::ReadYear(file);
                } catch (const std::exception &e) {
                    arrival.Reason = ExceptionMessage(e);
                }
                QMetaObject::invokeMethod(
                    this,
                    [this, arrival = std::move(arrival)]() mutable {
                        FArrived.push_back(std::move(arrival));
                        TakeArrivalsSoon();
                    },
                    Qt::QueuedConnection);
            }
        });
        connect(reader, &QThread::finished, this, [this] {
            ++FReadersDone;
            TakeArrivalsSoon();
        });
        FReaders.push_back(reader);
    }
    for (QThread *reader : FReaders)
        reader->start();
}

void TSearchWindow::TakeArrivalsSoon()
{
    // The years that came by the next pass of the event loop are taken in together.
    if (FTakePosted)
        return;
    FTakePosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            FTakePosted = false;
            TakeArrivals();
        },
        Qt::QueuedConnection);
}

void TSearchWindow::TakeArrivals()
{
    // What came is taken in between the diary's boxes, never while one waits.
    if (QApplication::activeModalWidget()) {
        FRetry.start();
        return;
    }
    // Newest year first, as the list shows them.
    std::sort(FArrived.begin(), FArrived.end(),
        [](const TArrival &a, const TArrival &b) { return a.File.Year > b.File.Year; });
    // The years are searched for the query of the list they join.
    const TSearchQuery shown = FResults->Query();
    bool took = false;
    for (TArrival &arrival : FArrived) {
        // Read for a folder the diary has left, or the year the diary has loaded since.
        if (arrival.Generation != FIndex->FolderChanges()
            || arrival.File.Year == FIndex->LiveYear())
            continue;
        const int year = arrival.File.Year;
        if (arrival.Texts)
            FIndex->Adopt(arrival.File, arrival.Texts);
        else
            FIndex->AdoptFailure(arrival.File, arrival.Reason);
        if (!shown.IsEmpty()) {
            FResults->ReplaceYear(year,
                arrival.Texts ? TSearchIndex::FindIn(arrival.Texts, shown)
                              : std::vector<TSearchIndex::TFoundDay>());
            if (arrival.Texts)
                FSearched[year] = arrival.Texts;
            else
                FSearched.erase(year);
        }
        took = true;
    }
    FArrived.clear();
    if (took) {
        if (!shown.IsEmpty()) {
            FResults->SetSkipped(FIndex->Skipped());
            ShowCount();
            SelectFirst();
        }
        FRead();
    }
    if (!FReaders.empty() && FReadersDone == int(FReaders.size()))
        ReaderDone();
}

void TSearchWindow::ReaderDone()
{
    for (QThread *reader : FReaders) {
        reader->wait();
        delete reader;
    }
    FReaders.clear();
    FReadersDone = 0;
    // The years that changed while they were read are read again and replace theirs in the
    // list; the list itself stays as it is.
    if (FLookAgain) {
        FLookAgain = false;
        StartReading();
    }
    if (!FResults->Query().IsEmpty())
        ShowCount();
}

bool TSearchWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The list's lines are cut to its width, again whenever it changes.
    if (watched == LstResults->viewport() && event->type() == QEvent::Resize) {
        const QStyle *style = LstResults->style();
        const int margin
            = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, LstResults) + 1) + 4;
        FResults->SetRoom(LstResults->viewport()->width() - margin, LstResults->font());
    }
    return QWidget::eventFilter(watched, event);
}

void TSearchWindow::ShowCount()
{
    QString text = QString::number(FResults->DaysFound()) + Text(wtext::kSearchDaysTail);
    if (!FReaders.empty())
        text += Text(wtext::kSearchStillReading);
    LblCount->setText(text);
}

void TSearchWindow::SelectFirst()
{
    if (!FSelectFirst || FResults->DaysFound() == 0)
        return;
    FSelectFirst = false;
    LstResults->setCurrentIndex(FResults->index(0));
    LstResults->setFocus();
}

void TSearchWindow::OpenRow(const QModelIndex &index)
{
    if (!index.isValid() || !index.data(DateRole).isValid())
        return;
    FOpen(index.data(DateRole).toDouble(), FResults->Query());
}

void TSearchWindow::PlaceBeside(QWidget *diary)
{
    const QRect frame = diary->frameGeometry();
    const QScreen *screen = diary->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect();
    QPoint at(frame.right() + 1, frame.top());
    if (room.isValid() && at.x() + width() > room.right())
        at.setX(std::max(room.left(), frame.left() - width() - 1));
    move(at);
}

void TSearchWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if (event->key() == Qt::Key_Down && EdtQuery->hasFocus() && FResults->rowCount() > 0) {
        LstResults->setFocus();
        LstResults->setCurrentIndex(FResults->index(0));
        return;
    }
    QWidget::keyPressEvent(event);
}
