#pragma once

#include <QString>

// One diary per data folder, whoever starts it: an exclusive flock on the folder itself, held
// through an open descriptor of it. Any user who may read the folder can take it, nothing in the
// folder is written for it, and no file replaced there by rename (as sync tools do) can release
// it. The system drops it with the process however that ends, so nothing left behind can block a
// later start. It binds the processes of one machine only: a folder synced to another machine,
// or a network folder mounted there, is not kept from that machine's diary.
class TDataFolderLock {
public:
    enum class TState {
        Held, // this process holds the folder
        InUse, // another process holds it
        Unavailable, // no lock can be taken there: the caller goes on without
    };

    TDataFolderLock() = default;
    ~TDataFolderLock(); // the lock goes with the descriptor
    TDataFolderLock(const TDataFolderLock &) = delete;
    TDataFolderLock &operator=(const TDataFolderLock &) = delete;

    TState Acquire(const QString &folder);
    // The lock of the folder that 'folder' names now. A folder moved away and another put at
    // its path (a restore, a tool that recreates folders) leaves the lock on the old one: the
    // one there now is taken instead, and the old one is let go only once it is.
    TState Follow(const QString &folder);

    // After InUse: the holder's process id as the system lists it (0 when it cannot be found).
    qint64 HolderPid() const { return FHolderPid; }

private:
    int FFolder = -1;
    qint64 FHolderPid = 0;
};
