#include "OnThisDayWindow.h"

#include "DayTexts.h"
#include "DiaryReading.h"
#include "PictureRow.h"
#include "WindowTexts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

enum : int { DateRole = Qt::UserRole };

} // namespace

TOnThisDayWindow::TOnThisDayWindow(QWidget *diary, std::function<void(double)> open)
    : QWidget(diary, Qt::Window)
    , FOpen(std::move(open))
{
    setObjectName(u"OnThisDayWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(420, 420);
    LstDays = new QListWidget(this);
    LstDays->setObjectName(u"LstDays"_s);
    LstDays->setAccessibleName(Text(wtext::kA11yOnThisDayListName));
    LstDays->setWordWrap(false);
    LstDays->setSpacing(3);
    LblCount = new QLabel(this);
    LblCount->setObjectName(u"LblCount"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LstDays, 1);
    layout->addWidget(LblCount);
    connect(LstDays, &QListWidget::itemActivated, this, &TOnThisDayWindow::OpenItem);
    connect(LstDays, &QListWidget::itemDoubleClicked, this, &TOnThisDayWindow::OpenItem);
}

void TOnThisDayWindow::Show(double day, const std::vector<diarysearch::TDayEntry> &days,
    const QList<diarysearch::TSkippedFile> &skipped)
{
    day = std::floor(day);
    setWindowTitle(
        Text(wtext::kOnThisDayTitle) + FormatDayNumber(Text(wtext::kOnThisDayPattern), day));
    const QListWidgetItem *current = LstDays->currentItem();
    const QVariant wasCurrent = current ? current->data(DateRole) : QVariant();
    LstDays->setUpdatesEnabled(false);
    LstDays->clear();
    for (const diarysearch::TDayEntry &entry : days) {
        const bool own = entry.Date == day;
        QString text = (own ? Text(wtext::kOnThisDayOwnMark) : u"  "_s) + DayHeading(entry.Date)
            + PicturesMark(entry.Text);
        const QStringList lines = diaryreading::FirstLines(entry.Text, ShownLines);
        for (qsizetype i = 0; i < lines.size(); ++i)
            text += (i == 0 ? u"  "_s : u"\n      "_s) + lines[i];
        auto *item = new QListWidgetItem(text, LstDays);
        item->setData(DateRole, entry.Date);
        item->setToolTip(entry.Text.trimmed());
        if (own) {
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
        }
        if (wasCurrent.isValid() && wasCurrent.toDouble() == entry.Date)
            LstDays->setCurrentItem(item);
    }
    for (const diarysearch::TSkippedFile &file : skipped) {
        auto *item = new QListWidgetItem(
            Text(wtext::kOnThisDaySkippedHead) + file.Path + u"  "_s + file.Reason, LstDays);
        item->setFlags(Qt::ItemIsEnabled);
        item->setToolTip(file.Reason);
    }
    LstDays->setUpdatesEnabled(true);
    LblCount->setText(QString::number(days.size()) + Text(wtext::kOnThisDayYearsTail));
}

void TOnThisDayWindow::OpenItem(QListWidgetItem *item)
{
    if (item && item->data(DateRole).isValid())
        FOpen(item->data(DateRole).toDouble());
}

void TOnThisDayWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}
