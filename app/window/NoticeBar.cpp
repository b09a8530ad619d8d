#include "NoticeBar.h"

#include "WindowTexts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int kBarHeight = 24;

QString plainLines(QString text) { return text.replace(u"\r\n"_s, u"\n"_s); }

} // namespace

TNoticeBar::TNoticeBar(QWidget *parent)
    : QFrame(parent)
    , FLine(new QLabel(this))
    , FList(new QPushButton(Text(wtext::kNoticeListCaption), this))
    , FClose(new QPushButton(Text(wtext::kNoticeCloseCaption), this))
{
    setObjectName(u"PnlNotice"_s);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setFocusPolicy(Qt::NoFocus);
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(true);
    FLine->setObjectName(u"LblNotice"_s);
    FLine->setTextFormat(Qt::PlainText);
    FLine->setForegroundRole(QPalette::ToolTipText);
    FLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    FList->setObjectName(u"BtnNoticeList"_s);
    FClose->setObjectName(u"BtnNoticeClose"_s);
    // A click leaves the focus where the user writes; Tab still reaches the buttons.
    for (QPushButton *button : { FList, FClose }) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
    }
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 0, 1, 0);
    row->setSpacing(4);
    row->addWidget(FLine, 1);
    row->addWidget(FList);
    row->addWidget(FClose);
    connect(FList, &QPushButton::clicked, this, &TNoticeBar::ShowList);
    connect(FClose, &QPushButton::clicked, this, &TNoticeBar::Dismiss);
    hide();
}

void TNoticeBar::Add(const QString &text)
{
    FNotices << text;
    UpdateLine();
    if (isHidden()) {
        show();
        emit Toggled();
    }
}

void TNoticeBar::UpdateLine()
{
    if (FNotices.isEmpty())
        return;
    FLineText = plainLines(FNotices.last()).section(u'\n', 0, 0);
    FMoreText = FNotices.size() > 1 ? Text(wtext::kNoticeMore).arg(FNotices.size() - 1) : QString();
    FLine->setToolTip(plainLines(FNotices.last()));
    ShowLine();
}

void TNoticeBar::ShowLine()
{
    // Notices of one kind begin alike: the line gives way, the count of the others stays whole.
    const QFontMetrics metrics = FLine->fontMetrics();
    const int room = std::max(0, FLine->width() - metrics.horizontalAdvance(FMoreText));
    FLine->setText(metrics.elidedText(FLineText, Qt::ElideRight, room) + FMoreText);
}

void TNoticeBar::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    ShowLine();
}

void TNoticeBar::ShowList()
{
    if (FListWindow)
        FListWindow->close();
    auto *list = new QDialog(window());
    list->setObjectName(u"NoticeList"_s);
    list->setAttribute(Qt::WA_DeleteOnClose);
    list->setWindowTitle(Text(wtext::kNoticeListTitle));
    auto *text = new QPlainTextEdit(plainLines(FNotices.join(u"\r\n\r\n"_s)), list);
    text->setReadOnly(true);
    auto *buttons = new QDialogButtonBox(list);
    buttons->addButton(Text(wtext::kNoticeCloseCaption), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::rejected, list, &QDialog::close);
    auto *column = new QVBoxLayout(list);
    column->addWidget(text);
    column->addWidget(buttons);
    list->resize(480, 320);
    // Not modal: the user may go on writing with the list open.
    list->show();
    FListWindow = list;
    Dismiss();
}

void TNoticeBar::Dismiss()
{
    FNotices.clear();
    if (!isHidden()) {
        hide();
        emit Toggled();
    }
}

void TNoticeBar::Place(QWidget *editor)
{
    if (isHidden())
        return;
    const QRect area = editor->geometry();
    setGeometry(area.x(), area.y(), area.width(), kBarHeight);
    editor->setGeometry(area.adjusted(0, kBarHeight + 2, 0, 0));
}
