#pragma once

#include <QByteArray>
#include <QString>

// One diary per data folder, whoever starts it: a lock held through an open file in the folder,
// taken with fcntl, whatever the user, the runtime folder or KIVLOG_INSTANCE. The system drops
// it with the process however that ends, so nothing left behind can block a later start, and a
// copy of the folder carries no lock. The file stays in the folder; while the lock is held it
// names the running diary's socket, so that a later start can bring that diary forward.
class TDataFolderLock {
public:
    enum class TState {
        Held, // this process holds the folder
        InUse, // another process holds it
        Unavailable, // no lock can be taken there (a read-only folder): the diary runs without
    };

    TDataFolderLock() = default;
    ~TDataFolderLock(); // the lock goes with the file
    TDataFolderLock(const TDataFolderLock &) = delete;
    TDataFolderLock &operator=(const TDataFolderLock &) = delete;

    static QString FileName() { return QStringLiteral(".kivlog.lock"); }

    // Contact: what a later start finds in the file while the lock is held.
    TState Acquire(const QString &folder, const QByteArray &contact);

    // After InUse: the holder's process id where the system tells it (0 otherwise), and the
    // contact it wrote (empty when it could not write one).
    qint64 HolderPid() const { return FHolderPid; }
    const QByteArray &HolderContact() const { return FHolderContact; }

private:
    int FFile = -1;
    qint64 FHolderPid = 0;
    QByteArray FHolderContact;
};
