#include "Application.h"

#include "AppServices.h"
#include "ColorScheme.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QIcon>
#include <QIconEngine>
#include <QImageReader>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QStyleOption>
#include <QTimer>
#include <QTranslator>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>

namespace {

bool tracing = false;

// The reader's thread while nobody has waited for it yet.
std::atomic<std::thread *> runningReader { nullptr };

void printTrace(const char *what)
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "kivlog-trace %s %lld.%06ld\n", what, static_cast<long long>(now.tv_sec),
        now.tv_nsec / 1000);
    std::fflush(stderr);
}

// The month calendar's arrows are Qt's own arrow images, one file read when a size is first
// painted. The style would ask the desktop's icon theme for them first, and QIconLoader would
// read the theme's whole index before the window can be shown; Qt's own icon for them would
// decode all three sizes of both arrows there too. Either costs the start more than the rest
// of the calendar.
class TArrowIconEngine : public QIconEngine {
public:
    explicit TArrowIconEngine(const QString &direction)
        : FDirection(direction)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State) override
    {
        const int wanted = std::max(size.width(), size.height());
        int drawn = 128;
        for (const int available : { 16, 32 }) {
            if (available >= wanted) {
                drawn = available;
                break;
            }
        }
        const QString path = QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1-%2.png")
                                 .arg(FDirection)
                                 .arg(drawn);
        QPixmap image;
        if (!QPixmapCache::find(path, &image)) {
            // The format is known: a reader left to detect it would load every image-format
            // plugin to ask whether it can read the file.
            QImageReader reader(path, "png");
            reader.setAutoDetectImageFormat(false);
            image = QPixmap::fromImage(reader.read());
            QPixmapCache::insert(path, image);
        }
        if (image.size() != size)
            image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (mode == QIcon::Disabled || mode == QIcon::Selected) {
            QStyleOption option;
            option.palette = QApplication::palette();
            return QApplication::style()->generatedIconPixmap(mode, image, &option);
        }
        return image;
    }

    QIconEngine *clone() const override { return new TArrowIconEngine(FDirection); }

private:
    QString FDirection;
};

// Every other icon still comes from the theme as usual.
class TDiaryStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(
        StandardPixmap which, const QStyleOption *option, const QWidget *widget) const override
    {
        if ((which == SP_ArrowLeft || which == SP_ArrowRight)
            && qobject_cast<const QCalendarWidget *>(widget)) {
            return QIcon(new TArrowIconEngine(
                which == SP_ArrowLeft ? QStringLiteral("left") : QStringLiteral("right")));
        }
        return QProxyStyle::standardIcon(which, option, widget);
    }
};

} // namespace

QIcon DiaryIcon()
{
    const QString name = QStringLiteral("kivlog");
    if (QIcon::hasThemeIcon(name))
        return QIcon::fromTheme(name);
    Q_INIT_RESOURCE(kivlog); // the resource lives in a static library
    QIcon icon;
    for (const int size : { 16, 24, 32, 48, 64, 128, 256 }) {
        // Read as PNG outright, so that no image-format plugin is loaded to detect it.
        QImageReader reader(QStringLiteral(":/icons/kivlog-%1.png").arg(size), "png");
        reader.setAutoDetectImageFormat(false);
        icon.addPixmap(QPixmap::fromImage(reader.read()));
    }
    return icon;
}

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Wraps the style that the desktop or -style chose, so that choice still holds.
    setStyle(new TDiaryStyle(style()));
    // Dark or light as the desktop prefers, before the first window takes its colours.
    new TColorSchemeFollower(this);
    // Qt's own texts (the editor's context menu, the font dialog, box buttons) in the user's
    // language, as the rest of a desktop speaks it.
    auto *translator = new QTranslator(this);
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(translator);
    else
        delete translator;
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

TFontConfigurationReader::TFontConfigurationReader()
{
    // QtGui has loaded fontconfig already; looking the function up keeps the program from
    // linking it on its own.
    using TFcInit = int (*)();
    const auto init = reinterpret_cast<TFcInit>(dlsym(RTLD_DEFAULT, "FcInit"));
    if (!init)
        return;
    FThread = std::thread([init] { init(); });
    // Competing for a processor with the start itself (and with the display server that
    // answers it) would slow the start down more than the reading saves.
    const sched_param idle {};
    pthread_setschedparam(FThread.native_handle(), SCHED_IDLE, &idle);
    runningReader = &FThread;
}

TFontConfigurationReader::~TFontConfigurationReader() { Await(); }

void TFontConfigurationReader::Await()
{
    std::thread *thread = runningReader.exchange(nullptr);
    if (!thread || !thread->joinable())
        return;
    const sched_param normal {};
    pthread_setschedparam(thread->native_handle(), SCHED_OTHER, &normal);
    thread->join();
}
