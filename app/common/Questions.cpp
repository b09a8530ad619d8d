#include "Questions.h"

#include "AppServices.h"
#include "Application.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

bool unattended = false;
TStandIn *standIn = nullptr;
std::function<void(const QString &)> noticeArea;

// Messages join their parts with CR LF; a label or a terminal wants LF alone.
QString withPlainLineBreaks(const QString &text)
{
    QString plain = text;
    plain.replace(u"\r\n"_s, u"\n"_s);
    return plain;
}

void printToStderr(TBoxKind kind, const QString &text)
{
    const QByteArray caption = ApplicationTitle().toLocal8Bit();
    const QByteArray body = withPlainLineBreaks(text).toLocal8Bit();
    if (kind == TBoxKind::Error)
        std::fprintf(stderr, "%s: error: %s\n", caption.constData(), body.constData());
    else
        std::fprintf(stderr, "%s: %s\n", caption.constData(), body.constData());
    std::fflush(stderr);
}

// details: a long list that the box keeps scrollable below its text; everywhere else it
// follows the text.
void showBox(TBoxKind kind, const QString &shown, const QString &details = {})
{
    const QString text = details.isEmpty() ? shown : shown + u"\r\n"_s + details;
    if (unattended) {
        printToStderr(kind, text);
        return;
    }
    if (standIn) {
        standIn->Told.append({ kind, text });
        if (standIn->WhileShown)
            standIn->WhileShown(kind, text);
        return;
    }
    // The command-line tool and early start-up have no widgets to show a box with.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        printToStderr(kind, text);
        return;
    }
    // No parent: a parentless dialog is centred on the screen, not over some window.
    QMessageBox box(kind == TBoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
        ApplicationTitle(), withPlainLineBreaks(details.isEmpty() ? text : shown), QMessageBox::Ok);
    if (!details.isEmpty())
        box.setDetailedText(withPlainLineBreaks(details));
    box.setDefaultButton(QMessageBox::Ok);
    StartupTrace("box");
    box.exec();
}

// The stand-in's reply, or none when a person is to answer.
std::optional<TReply> replyWithoutPerson(const TQuestion &question)
{
    if (unattended)
        return TReply(question.Unattended);
    // The command-line tool and early start-up have no widgets to ask with.
    if (!standIn)
        return qobject_cast<QApplication *>(QCoreApplication::instance())
            ? std::nullopt
            : std::optional<TReply>(question.Unattended);
    standIn->Asked.append(question);
    if (standIn->Answer)
        return standIn->Answer(question);
    if (!standIn->Next.isEmpty())
        return standIn->Next.takeFirst();
    return TReply(question.Unattended);
}

} // namespace

void ShowMessageBox(const QString &text) { showBox(TBoxKind::Message, text); }

void ShowDetailedMessageBox(const QString &text, const QString &details)
{
    showBox(TBoxKind::Message, text, details);
}

void ShowErrorBox(const QString &text) { showBox(TBoxKind::Error, text); }

void ShowWindowNotice(const QString &text)
{
    if (unattended || !noticeArea) {
        showBox(TBoxKind::Message, text);
        return;
    }
    // Said in the window, the notice lets every event run: nothing for WhileShown to run. A copy,
    // since the text may stand in the list that grows here.
    const QString said = text;
    if (standIn)
        standIn->Told.append({ TBoxKind::InWindow, said });
    noticeArea(said);
}

void SetWindowNoticeArea(std::function<void(const QString &text)> area)
{
    noticeArea = std::move(area);
}

TAnswer Ask(const TQuestion &question, QWidget *parent)
{
    if (const std::optional<TReply> reply = replyWithoutPerson(question))
        return reply->Answer;
    QMessageBox box(QMessageBox::Question,
        question.Title.isEmpty() ? ApplicationTitle() : question.Title, question.Text,
        QMessageBox::NoButton, parent);
    if (!question.Details.isEmpty())
        box.setDetailedText(withPlainLineBreaks(question.Details));
    QList<std::pair<QAbstractButton *, TAnswer>> buttons;
    for (const auto &[answer, caption] : question.Buttons) {
        QPushButton *button = nullptr;
        if (answer == TAnswer::Yes)
            button = box.addButton(QMessageBox::Yes);
        else if (answer == TAnswer::No)
            button = box.addButton(QMessageBox::No);
        else
            button = box.addButton(caption,
                answer == TAnswer::Cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        button->setText(caption);
        if (answer == question.Default)
            box.setDefaultButton(button);
        buttons.append({ button, answer });
    }
    box.exec();
    for (const auto &[button, answer] : buttons) {
        if (box.clickedButton() == button)
            return answer;
    }
    return TAnswer::Cancel;
}

QVariant Choose(const TQuestion &question, const std::function<QVariant()> &show)
{
    if (const std::optional<TReply> reply = replyWithoutPerson(question))
        return unattended ? QVariant() : reply->Chosen;
    return show();
}

bool Unattended() { return unattended; }

void SetUnattended(bool value) { unattended = value; }

TStandIn::TStandIn()
    : FPrevious(std::exchange(standIn, this))
{
}

TStandIn::~TStandIn() { standIn = FPrevious; }
