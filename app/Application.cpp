#include "Application.h"

#include "AppServices.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QIcon>
#include <QPlainTextEdit>
#include <QProxyStyle>
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

// The month calendar's arrows are Qt's own. Asking the desktop's icon theme for them makes
// QIconLoader read the theme's whole index before the window can be shown, the largest
// single cost of the start; every other icon still comes from the theme as usual.
class TDiaryStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap which, const QStyleOption *option,
        const QWidget *widget) const override
    {
        if ((which == SP_ArrowLeft || which == SP_ArrowRight)
            && qobject_cast<const QCalendarWidget *>(widget)) {
            const QString name = which == SP_ArrowLeft ? QStringLiteral("left")
                                                       : QStringLiteral("right");
            QIcon icon;
            for (const int size : { 16, 32, 128 }) {
                icon.addFile(QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1-%2.png")
                                 .arg(name)
                                 .arg(size),
                    QSize(size, size));
            }
            return icon;
        }
        return QProxyStyle::standardIcon(which, option, widget);
    }
};

} // namespace

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Wraps the style that the desktop or -style chose, so that choice still holds.
    setStyle(new TDiaryStyle(style()));
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
