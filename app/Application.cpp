#include "Application.h"

#include "AppServices.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <ctime>

namespace {

bool tracing = false;

void printTrace(const char *what)
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "kivlog-trace %s %lld.%06ld\n", what, static_cast<long long>(now.tv_sec),
        now.tv_nsec / 1000);
    std::fflush(stderr);
}

} // namespace

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    // Exceptions must not unwind through Qt's event dispatch; this is the one place that sees
    // every handler's call.
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException();
        return false;
    }
}

void TApplication::StartTraceWhenAsked()
{
    if (qEnvironmentVariableIsEmpty("KIVLOG_STARTUP_TRACE"))
        return;
    tracing = true;
    printTrace("start");
    installEventFilter(this);
}

bool TApplication::eventFilter(QObject *watched, QEvent *event)
{
    // The main window's map, not that of a box shown while it is being built.
    if (!FMapped && event->type() == QEvent::Expose && watched->isWindowType()
        && static_cast<QWindow *>(watched)->isExposed()
        && static_cast<QWindow *>(watched)->type() == Qt::Window) {
        FMapped = true;
        printTrace("map");
    }
    // The day's text stands on the screen once the editor's viewport has been painted; the
    // zero timer fires when everything queued behind that paint is done.
    if (!FPainted && event->type() == QEvent::Paint) {
        auto *area
            = watched->parent() ? qobject_cast<QPlainTextEdit *>(watched->parent()) : nullptr;
        if (area && area->viewport() == watched) {
            FPainted = true;
            printTrace("paint");
            QTimer::singleShot(0, this, [this] {
                printTrace("idle");
                removeEventFilter(this);
            });
        }
    }
    return QApplication::eventFilter(watched, event);
}

void StartupTraceAtEntry()
{
    if (!qEnvironmentVariableIsEmpty("KIVLOG_STARTUP_TRACE"))
        printTrace("main");
}

void StartupTrace(const char *what)
{
    if (tracing)
        printTrace(what);
}
