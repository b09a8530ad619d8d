#include "SearchWindow.h"

#include "DayNumber.h"
#include "WindowTexts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace diarysearch;

namespace {

// How long typing must rest before the search runs.
constexpr int kTypingPauseMs = 250;

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

TSearchWindow::TSearchWindow(QWidget *diary,
    std::function<TSearchResult(const TSearchQuery &)> search,
    std::function<void(double, const TSearchQuery &)> open)
    : QWidget(diary, Qt::Window)
    , FSearch(std::move(search))
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
    LstResults = new QListWidget(this);
    LstResults->setObjectName(u"LstResults"_s);
    LstResults->setItemDelegate(new THitDelegate(LstResults));
    LstResults->setUniformItemSizes(true);
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

    FPause.setSingleShot(true);
    FPause.setInterval(kTypingPauseMs);
    connect(EdtQuery, &QLineEdit::textEdited, &FPause, qOverload<>(&QTimer::start));
    connect(&FPause, &QTimer::timeout, this, [this] {
        // A box of the diary is waiting for the user: the diary may be in the middle of
        // switching years. Search once it has closed.
        if (QApplication::activeModalWidget()) {
            FPause.start();
            return;
        }
        RunSearch();
    });
    connect(EdtQuery, &QLineEdit::returnPressed, this, [this] {
        FPause.stop();
        RunSearch();
        if (LstResults->count() > 0 && LstResults->item(0)->data(DateRole).isValid()) {
            LstResults->setCurrentRow(0);
            LstResults->setFocus();
        }
    });
    connect(LstResults, &QListWidget::itemActivated, this, &TSearchWindow::OpenItem);
    connect(LstResults, &QListWidget::itemDoubleClicked, this, &TSearchWindow::OpenItem);
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
    LstResults->clear();
    if (FQuery.IsEmpty()) {
        LblCount->clear();
        return;
    }
    const TSearchResult result = FSearch(FQuery);
    LstResults->setUpdatesEnabled(false);
    for (auto hit = result.Hits.rbegin(); hit != result.Hits.rend(); ++hit) {
        const QString head = FormatDayNumber(u"yyyy/mm/dd(aaa)  "_s, hit->Date);
        auto *item = new QListWidgetItem(head + hit->Line, LstResults);
        item->setData(DateRole, hit->Date);
        QVariantList marks;
        for (const TSpan &mark : hit->Marks)
            marks << QVariant::fromValue(int(mark.Start + head.size()))
                  << QVariant::fromValue(int(mark.Length));
        item->setData(MarksRole, marks);
    }
    for (const TSkippedFile &skipped : result.Skipped) {
        auto *item = new QListWidgetItem(
            QString::fromUtf8(wtext::kSearchSkippedHead) + skipped.Path + u"  "_s + skipped.Reason,
            LstResults);
        item->setFlags(Qt::ItemIsEnabled);
        item->setToolTip(skipped.Reason);
    }
    LstResults->setUpdatesEnabled(true);
    LblCount->setText(
        QString::number(result.Hits.size()) + QString::fromUtf8(wtext::kSearchDaysTail));
}

void TSearchWindow::OpenItem(QListWidgetItem *item)
{
    if (!item || !item->data(DateRole).isValid())
        return;
    FOpen(item->data(DateRole).toDouble(), FQuery);
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
    if (event->key() == Qt::Key_Down && EdtQuery->hasFocus() && LstResults->count() > 0) {
        LstResults->setFocus();
        LstResults->setCurrentRow(0);
        return;
    }
    QWidget::keyPressEvent(event);
}
