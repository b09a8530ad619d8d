#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

// One diary per user: a lock file in the user's runtime folder says that an instance runs, and
// that instance listens on a local socket beside it so that a later start can ask it to come to
// the front. A start from another runtime folder is another instance, with a socket of its own.
//
// The environment variable KIVLOG_INSTANCE, when set, is appended to the names, so that tests
// (and a second diary deliberately kept apart) run beside the user's own instance.
class TSingleInstance : public QObject {
    Q_OBJECT

public:
    explicit TSingleInstance(QObject *parent = nullptr);
    ~TSingleInstance() override;

    // "KIV-N_Diary", or "KIV-N_Diary-<KIVLOG_INSTANCE>".
    static QString InstanceName();
    QString LockPath() const { return FLockPath; }
    QString ServerName() const { return FServerName; }

    // Takes the lock. False only when another live process holds it; a lock left behind by a
    // process that is gone is taken over. A lock that cannot be used at all (an unwritable
    // runtime folder) does not keep the diary from starting: it then runs unguarded.
    bool Acquire();

    // The first instance answers later starts from here on.
    bool Listen();

    // A later start: asks the running instance to bring its window to the front. False when it
    // could not be reached (it may be starting up or shutting down; then nothing is done).
    bool ActivateRunning(int timeoutMs = 2000);

    // One request to the diary listening on the socket of that name (a full path as well):
    // false when it cannot be reached.
    static bool Activate(const QString &serverName, int timeoutMs = 500);

    // The full path of the socket this instance listens on; empty before Listen() or when it
    // failed.
    QString FullServerName() const;

    // How a later start on a data folder reaches the diary that holds it. It is the user's own
    // and stays on this machine, never in the data folder, which may travel: a start of the same
    // user finds it from any runtime folder, another user's start finds none.
    struct TFolderContact {
        qint64 Pid = 0;
        QString ServerName;
    };
    void PublishFolderContact(const QString &dataFolder);
    static TFolderContact FolderContact(const QString &dataFolder);

    // Gives the lock up; only after the final save, so that no second start can read a year file
    // before it is written.
    void Release();

signals:
    void ActivationRequested();

private:
    QString FLockPath;
    QString FServerName;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer *FServer = nullptr;
    bool FHeld = false;
    QString FContactPath;
};
