#include "NoticeBar.h"

#include "WindowTexts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

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
    QString line = plainLines(FNotices.last()).section(u'\n', 0, 0);
    if (FNotices.size() > 1)
        line += Text(wtext::kNoticeMore).arg(FNotices.size() - 1);
    FLineText = line;
    FLine->setToolTip(plainLines(FNotices.last()));
    FLine->setText(FLine->fontMetrics().elidedText(FLineText, Qt::ElideRight, FLine->width()));
}

void TNoticeBar::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    FLine->setText(FLine->fontMetrics().elidedText(FLineText, Qt::ElideRight, FLine->width()));
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
