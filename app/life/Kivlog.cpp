#include "AppServices.h"
#include "Application.h"
#include "DataFolderLock.h"
#include "InfoOptions.h"
#include "KivDiary.h"
#include "MainForm.h"
#include "Services.h"
#include "Shutdown.h"
#include "SingleInstance.h"
#include "WindowTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMetaObject>
#include <QSet>
#include <QTimer>
#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// Brings the window forward for a later start. A minimised window stays minimised: the task
// bar entry asks for attention instead.
void bringForward(TForm1 *form)
{
    StartupTrace("raise");
    if (!form->isVisible())
        return;
    if (form->isMinimized()) {
        QApplication::alert(form);
        return;
    }
    form->raise();
    form->activateWindow();
}

// Says once, in the window, that a folder takes no lock: stderr is seen by nobody who started
// the diary from a menu. A save asks from within its write, so its box waits for the event loop.
void sayUnlockable(const QString &folder, bool duringSave)
{
    static QSet<QString> said;
    const QString clean = QDir::cleanPath(folder);
    if (said.contains(clean))
        return;
    said.insert(clean);
    std::fprintf(stderr, "kivlog: cannot lock the data folder %s; running without it\n",
        QFile::encodeName(clean).constData());
    const QString text = Text(wtext::kFolderUnlockable) + u"\r\n> "_s + clean;
    if (duringSave)
        QTimer::singleShot(0, QCoreApplication::instance(), [text] { ShowMessageBox(text); });
    else
        ShowMessageBox(text);
}

// Before every save: the lock follows the folder that the data folder's path names now. Held
// by another diary there, nothing is written; a folder without locks is written as at the start.
bool followDataFolder(TDataFolderLock &lock, const QString &folder)
{
    switch (lock.Follow(folder)) {
    case TDataFolderLock::TState::Held:
        return true;
    case TDataFolderLock::TState::Unavailable:
        sayUnlockable(folder, true);
        return true;
    case TDataFolderLock::TState::InUse:
        break;
    }
    std::fprintf(stderr, "kivlog: the data folder %s is in use (process %lld); not saved\n",
        QFile::encodeName(folder).constData(), static_cast<long long>(lock.HolderPid()));
    return false;
}

// Takes the data folder for this diary. When another diary holds it, that one comes forward
// if it can be reached; otherwise the user learns which folder is in use, and by which process.
bool claimDataFolder(
    TDataFolderLock &lock, TSingleInstance &instance, const QString &folder, int &refusedStatus)
{
    switch (lock.Acquire(folder)) {
    case TDataFolderLock::TState::Held:
        instance.PublishFolderContact(folder);
        return true;
    case TDataFolderLock::TState::Unavailable:
        sayUnlockable(folder, false);
        return true;
    case TDataFolderLock::TState::InUse:
        break;
    }
    // Only the holder's own contact counts: one left by a diary that is gone may name a socket
    // that another diary, this start among them, listens on now.
    const TSingleInstance::TFolderContact contact = TSingleInstance::FolderContact(folder);
    if (contact.Pid > 0 && contact.Pid == lock.HolderPid()
        && contact.ServerName != instance.FullServerName()
        && TSingleInstance::Activate(contact.ServerName))
        return false;
    std::fprintf(stderr, "kivlog: the data folder %s is in use (process %lld)\n",
        QFile::encodeName(folder).constData(), static_cast<long long>(lock.HolderPid()));
    QString text = Text(wtext::kFolderInUse) + u"\r\n> "_s + folder + u"\r\n"_s;
    if (lock.HolderPid() > 0)
        text += Text(wtext::kFolderHolder).arg(lock.HolderPid()) + u"\r\n"_s;
    ShowMessageBox(text + Text(wtext::kApplicationEnds));
    refusedStatus = 1;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // A file-size limit then makes a write fail with EFBIG, and the writer puts back what it
    // was writing over, instead of the process dying halfway through.
    std::signal(SIGXFSZ, SIG_IGN);
    // Before everything else: usage and version need no display, lock or data folder.
    if (const std::optional<int> status = AnswerInfoOption(argc, argv))
        return *status;
    StartupTraceAtEntry();
    // First, so that every way out of main lets it finish.
    const TFontConfigurationReader fontConfiguration;
    TApplication app(argc, argv);
    app.StartTraceWhenAsked();
    // Ties the window to kivlog.desktop (its name and icon) on Wayland and in task bars.
    QGuiApplication::setDesktopFileName(QStringLiteral("kivlog"));

    TSingleInstance instance;
    if (!instance.Acquire()) {
        // Another diary runs: it comes forward, and this start neither reads its command line
        // nor touches any file.
        instance.ActivateRunning();
        return 0;
    }
    TShutdown shutdown;
    shutdown.InstallSignalHandlers();
    instance.Listen();

    QApplication::setQuitOnLastWindowClosed(true);
    SetApplicationTitle(QStringLiteral("KIV-N's Diary"));
    DiaryServices().ShowMessage = ShowMessageBox;

    // Held to the end of the process, so the final save is made under it.
    TDataFolderLock folderLock;
    int refusedStatus = 0;
    TKivDiary::FolderGuard
        = [&folderLock](const QString &folder) { return followDataFolder(folderLock, folder); };
    StartupTrace("instance");
    // The lock follows the data folder's path at once, not only at the next save: a folder put
    // at the path while the diary runs (another diary's, a restored one) is taken as soon as
    // its parent folder changes, so that no other program writes there meanwhile.
    QFileSystemWatcher parentWatch;
    auto *form = new TForm1(QCoreApplication::arguments(), [&](const QString &folder) {
        if (!claimDataFolder(folderLock, instance, folder, refusedStatus))
            return false;
        const QString parent = QFileInfo(QDir::cleanPath(folder)).absolutePath();
        if (parentWatch.addPath(parent)) {
            QObject::connect(&parentWatch, &QFileSystemWatcher::directoryChanged, &parentWatch,
                [&folderLock, folder] { (void)folderLock.Follow(folder); });
        }
        return true;
    });
    StartupTrace("window");
    if (form->DataFolderRefused()) {
        delete form;
        return refusedStatus;
    }
    QObject::connect(
        &instance, &TSingleInstance::ActivationRequested, form, [form] { bringForward(form); });
    shutdown.WatchSession(form);
    form->show();
    // The icon a moment later: looking it up in the icon theme reads the theme's index, which
    // the first picture of the window need not wait for. Task bars take the change.
    QTimer::singleShot(250, form, [] { QApplication::setWindowIcon(DiaryIcon()); });
    // A failed start shows the window and ends at once; so does a signal that came while the
    // window was being built, before any event loop could end.
    if (form->TerminateRequested() || shutdown.EndRequested())
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);

    app.exec();

    // Taking the window apart commits the editor's text; the store then saves the year file
    // when that is due. The store reports a failure there itself (on stderr when unattended);
    // the exit status tells a session or a script about it too.
    // A later start may not reach the window while a box of its final save waits.
    QObject::disconnect(&instance, nullptr, form, nullptr);
    const bool saved = form->Dismantle();
    delete form;
    shutdown.ReleaseWindow();
    instance.Release();
    return saved ? 0 : 1;
}
