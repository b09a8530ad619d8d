#include "SearchWindow.h"

#include "DayNumber.h"
#include "Exceptions.h"
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
                return QString::fromUtf8(wtext::kSearchSkippedHead) + skipped.Path + u"  "_s
                    + skipped.Reason;
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
            const TSearchHit hit = Excerpt(day, FQuery, TSearchWindow::ExcerptChars);
            const QString head = FormatDayNumber(u"yyyy/mm/dd(aaa)  "_s, day.Date);
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
    setWindowTitle(QString::fromUtf8(wtext::kSearchTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(380, 420);

    EdtQuery = new QLineEdit(this);
    EdtQuery->setObjectName(u"EdtQuery"_s);
    EdtQuery->setPlaceholderText(QString::fromUtf8(wtext::kSearchPlaceholder));
    EdtQuery->setClearButtonEnabled(true);
    EdtQuery->setAccessibleName(QString::fromUtf8(wtext::kA11ySearchFieldName));
    for (QToolButton *clear : EdtQuery->findChildren<QToolButton *>())
        clear->setAccessibleName(QString::fromUtf8(wtext::kA11ySearchClearName));
    FResults = new TSearchResults(this);
    LstResults = new QListView(this);
    LstResults->setObjectName(u"LstResults"_s);
    LstResults->setAccessibleName(QString::fromUtf8(wtext::kA11ySearchResultsName));
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
    auto *folderHead = new QLabel(QString::fromUtf8(wtext::kDataFolderHead).trimmed(), this);
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
        if (!FArrived.empty() || FReaderDone)
            TakeArrivals();
        else
            RunSearch();
    });
    connect(EdtQuery, &QLineEdit::textEdited, this, &TSearchWindow::RunSearch);
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
    // The reader only reads and sends; once it has stopped nothing of it is left.
    FStop = true;
    if (FReader)
        FReader->wait();
    delete FReader;
}

void TSearchWindow::SetFolder(const QString &path)
{
    EdtFolder->setText(path);
    EdtFolder->setCursorPosition(0);
    EdtFolder->setToolTip(path);
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
    if (FReader)
        FLookAgain = true;
    else
        StartReading();
    if (FQuery.IsEmpty()) {
        FResults->Reset(FQuery, {}, {});
        LblCount->clear();
        return;
    }
    // The day chosen in the list stays chosen when it is found again.
    const QVariant chosen = LstResults->currentIndex().data(DateRole);
    FResults->Reset(FQuery, FIndex->Find(FQuery), FIndex->Skipped());
    if (const int row = chosen.isValid() ? FResults->RowOf(chosen.toDouble()) : -1; row >= 0)
        LstResults->setCurrentIndex(FResults->index(row));
    ShowCount();
    SelectFirst();
}

void TSearchWindow::StartReading()
{
    std::vector<TSearchIndex::TYearToRead> stale = FIndex->Stale();
    if (stale.empty())
        return;
    const int generation = FIndex->FolderChanges();
    FReaderDone = false;
    FReader = QThread::create([this, stale = std::move(stale), generation] {
        for (const TSearchIndex::TYearToRead &file : stale) {
            if (FStop)
                return;
            TArrival arrival { generation, file, nullptr, QString() };
            try {
                arrival.Texts = TSearchIndex::ReadYear(file);
            } catch (const Exception &e) {
                arrival.Reason = e.Message();
            } catch (const std::exception &e) {
                arrival.Reason = QString::fromLocal8Bit(e.what());
            }
            QMetaObject::invokeMethod(
                this,
                [this, arrival = std::move(arrival)]() mutable {
                    FArrived.push_back(std::move(arrival));
                    TakeArrivals();
                },
                Qt::QueuedConnection);
        }
    });
    connect(FReader, &QThread::finished, this, [this] {
        FReaderDone = true;
        TakeArrivals();
    });
    FReader->start();
}

void TSearchWindow::TakeArrivals()
{
    // What came is taken in between the diary's boxes, never while one waits.
    if (QApplication::activeModalWidget()) {
        FRetry.start();
        return;
    }
    bool took = false;
    for (TArrival &arrival : FArrived) {
        // Read for a folder the diary has left, or the year the diary has loaded since.
        if (arrival.Generation != FIndex->FolderChanges()
            || arrival.File.Year == FIndex->LiveYear())
            continue;
        if (arrival.Texts) {
            FIndex->Adopt(arrival.File, arrival.Texts);
            if (!FQuery.IsEmpty())
                FResults->ReplaceYear(
                    arrival.File.Year, TSearchIndex::FindIn(arrival.Texts, FQuery));
        } else {
            FIndex->AdoptFailure(arrival.File, arrival.Reason);
            if (!FQuery.IsEmpty())
                FResults->ReplaceYear(arrival.File.Year, {});
        }
        took = true;
    }
    FArrived.clear();
    if (took) {
        if (!FQuery.IsEmpty()) {
            FResults->SetSkipped(FIndex->Skipped());
            ShowCount();
            SelectFirst();
        }
        FRead();
    }
    if (FReaderDone)
        ReaderDone();
}

void TSearchWindow::ReaderDone()
{
    FReaderDone = false;
    FReader->wait();
    delete FReader;
    FReader = nullptr;
    if (FLookAgain) {
        FLookAgain = false;
        RunSearch();
    } else if (!FQuery.IsEmpty()) {
        ShowCount();
    }
}

void TSearchWindow::ShowCount()
{
    QString text
        = QString::number(FResults->DaysFound()) + QString::fromUtf8(wtext::kSearchDaysTail);
    if (FReader)
        text += QString::fromUtf8(wtext::kSearchStillReading);
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
