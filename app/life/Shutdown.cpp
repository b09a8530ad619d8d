#include "Shutdown.h"

#include "AppServices.h"
#include "MainForm.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

const int kEndSignals[] = { SIGTERM, SIGINT, SIGHUP };

// The write end is used from the signal handler, the read end from the event loop.
int signalPipe[2] = { -1, -1 };

extern "C" void onEndSignal(int signal)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // Non-blocking: should the pipe ever be full, one more byte would change nothing.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

// Qt ends the process with exit() when the connection to the display breaks, as when the X
// server or the compositor goes away at logout before we are asked to end; the text typed since
// the last save would go with it. Until the window is gone, its final save included (a box of
// that save may be waiting), the end of the main thread saves it.
TForm1 *formAtExit = nullptr;

// A thread-local object of the main thread is destroyed by exit() before anything with static
// storage, so the whole program still stands when it saves.
struct TSaveAtExit {
    ~TSaveAtExit()
    {
        if (TForm1 *form = std::exchange(formAtExit, nullptr)) {
            SetUnattended(true);
            SaveDiaryNow(*form);
        }
    }
};

} // namespace

TShutdown::TShutdown(QObject *parent)
    : QObject(parent)
{
}

TShutdown::~TShutdown()
{
    ReleaseWindow();
    if (!FNotifier)
        return;
    struct sigaction action { };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : kEndSignals)
        ::sigaction(signal, &action, nullptr);
    delete FNotifier;
    FNotifier = nullptr;
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

bool TShutdown::InstallSignalHandlers()
{
    if (FNotifier || signalPipe[0] >= 0)
        return false;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    FNotifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TShutdown::ReadSignals);

    struct sigaction action { };
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kEndSignals)
        ::sigaction(signal, &action, nullptr);
    return true;
}

void TShutdown::ReadSignals()
{
    char bytes[16];
    bool arrived = false;
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0)
        arrived = true;
    if (!arrived)
        return;

    SetUnattended(true);
    FEndRequested = true;
    // exit() rather than quit(): it also ends a modal box's loop that may be open, and it does
    // not depend on the windows agreeing to close. The program entry repeats the request when
    // the signal came before the main loop ran.
    QCoreApplication::exit(0);
}

void TShutdown::WatchSession(TForm1 *form)
{
    FForm = form;
    thread_local TSaveAtExit guard;
    formAtExit = form;
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (app)
        connect(app, &QGuiApplication::commitDataRequest, this, &TShutdown::CommitData,
            Qt::DirectConnection);
}

void TShutdown::ReleaseWindow()
{
    if (formAtExit == FForm)
        formAtExit = nullptr;
    FForm = nullptr;
}

void TShutdown::CommitData(QSessionManager &manager)
{
    // A box may wait only when the session manager lets the diary ask the user now; it waits
    // for the diary to release it then.
    const bool mayAsk = manager.allowsInteraction();
    SaveForSessionEnd(mayAsk);
    if (mayAsk)
        manager.release();
}

void TShutdown::SaveForSessionEnd(bool mayAsk)
{
    // The session manager asks this both when the session ends and when it only records the
    // session; in both cases the text must be on disk when we return. Ending the loop is left
    // to the session's own request to quit, so a recorded (or cancelled) logout leaves the
    // diary running.
    const bool wasUnattended = Unattended();
    SetUnattended(wasUnattended || !mayAsk);
    if (FForm)
        SaveDiaryNow(*FForm);
    SetUnattended(wasUnattended);
}
