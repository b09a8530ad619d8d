// The floor for the start-up benchmark: the least a Qt Widgets program of this kind does
// before the user sees it, one window with one Japanese label in the diary's layout font.
// With KIVLOG_STARTUP_TRACE set it reports the same moments as the diary.
#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <sys/signalfd.h>

namespace {

void printTrace(const char *what)
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "kivlog-trace %s %lld.%06ld\n", what, static_cast<long long>(now.tv_sec),
        now.tv_nsec / 1000);
    std::fflush(stderr);
}

class TTrace : public QObject {
public:
    explicit TTrace(QWidget *painted)
        : FPainted(painted)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!FMapSeen && event->type() == QEvent::Expose && watched->isWindowType()
            && static_cast<QWindow *>(watched)->isExposed()) {
            FMapSeen = true;
            printTrace("map");
        }
        if (!FPaintSeen && event->type() == QEvent::Paint && watched == FPainted) {
            FPaintSeen = true;
            printTrace("paint");
            QTimer::singleShot(0, this, [] { printTrace("idle"); });
        }
        return false;
    }

private:
    QWidget *FPainted;
    bool FMapSeen = false;
    bool FPaintSeen = false;
};

} // namespace

int main(int argc, char *argv[])
{
    const bool trace = !qEnvironmentVariableIsEmpty("KIVLOG_STARTUP_TRACE");
    if (trace)
        printTrace("main");
    QApplication app(argc, argv);
    if (trace)
        printTrace("start");

    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("KIV-N's Diary"));
    window.resize(544, 360);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    window.setFont(font);
    QLabel label(QStringLiteral("2026年12月08日(火)　今日の日記"), &window);
    label.move(8, 8);

    // Ends on SIGTERM the way the diary does, through the event loop and a clean disconnect
    // from the display, so that neither program leaves the X server more work for the next.
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    sigprocmask(SIG_BLOCK, &terminate, nullptr);
    QSocketNotifier ending(signalfd(-1, &terminate, SFD_CLOEXEC), QSocketNotifier::Read);
    QObject::connect(&ending, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    TTrace tracer(&label);
    if (trace)
        app.installEventFilter(&tracer);
    window.show();
    return app.exec();
}
