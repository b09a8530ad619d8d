#include "AppServices.h"

#include "Application.h"
#include "Exceptions.h"
#include "WindowTexts.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

QString &applicationTitle()
{
    static QString title;
    return title;
}

TBoxHook &boxHook()
{
    static TBoxHook hook;
    return hook;
}

bool unattended = false;

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

void showBox(TBoxKind kind, const QString &text)
{
    // Checked before the hook: a test that answers boxes must still see that an unattended
    // end asks nobody.
    if (unattended) {
        printToStderr(kind, text);
        return;
    }
    if (const TBoxHook &hook = boxHook()) {
        hook(kind, text);
        return;
    }
    // The command-line tool and early start-up have no widgets to show a box with.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        printToStderr(kind, text);
        return;
    }
    // No parent: a parentless dialog is centred on the screen, not over some window.
    QMessageBox box(kind == TBoxKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
        ApplicationTitle(), withPlainLineBreaks(text), QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    StartupTrace("box");
    box.exec();
}

} // namespace

QString ApplicationTitle() { return applicationTitle(); }

void SetApplicationTitle(const QString &title) { applicationTitle() = title; }

void ShowMessageBox(const QString &text) { showBox(TBoxKind::Message, text); }

void ShowErrorBox(const QString &text) { showBox(TBoxKind::Error, text); }

void SetBoxHook(TBoxHook hook) { boxHook() = std::move(hook); }

bool Unattended() { return unattended; }

void SetUnattended(bool value) { unattended = value; }

QString ExceptionMessage(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return ExceptionMessage(e);
    } catch (...) {
        return Text(wtext::kUnknownError);
    }
}

void ShowException() { ShowErrorBox(ExceptionMessage(std::current_exception())); }
