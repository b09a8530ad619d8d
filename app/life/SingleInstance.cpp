#include "SingleInstance.h"

#include <QDir>
#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const char kMarker[] = "KIV-N_Diary";
const char kActivateRequest[] = "activate";

// The instance name becomes part of a file name and a socket name.
QString fileNameSafe(const QString &text)
{
    QString safe = text;
    for (QChar &c : safe) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'-' && c != u'_' && c != u'.')
            c = u'_';
    }
    return safe;
}

} // namespace

TSingleInstance::TSingleInstance(QObject *parent)
    : QObject(parent)
{
    const QString name = InstanceName();
    // Without XDG_RUNTIME_DIR (outside a desktop session) Qt would warn and invent a folder;
    // the temporary folder with the user id in the name serves as well.
    QString folder;
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QString user = QString::number(::getuid());
    // The runtime folder is the user's own; the temporary folder is shared, hence the user id.
    FLockPath = folder + u'/' + name + (folder == QDir::tempPath() ? u'-' + user : QString())
        + QStringLiteral(".lock");
    FServerName = name + u'-' + user;
}

TSingleInstance::~TSingleInstance() { Release(); }

QString TSingleInstance::InstanceName()
{
    QString name = QString::fromLatin1(kMarker);
    const QString instance = qEnvironmentVariable("KIVLOG_INSTANCE");
    if (!instance.isEmpty())
        name += u'-' + fileNameSafe(instance);
    return name;
}

bool TSingleInstance::Acquire()
{
    FLock = std::make_unique<QLockFile>(FLockPath);
    // Only a lock whose process is gone counts as stale, never one that is merely old: a diary
    // may stay open for weeks.
    FLock->setStaleLockTime(0);
    if (FLock->tryLock(0)) {
        FHeld = true;
        return true;
    }
    if (FLock->error() == QLockFile::LockFailedError)
        return false;
    std::fprintf(stderr, "kivlog: cannot use the instance lock %s; running without it\n",
        qPrintable(QDir::toNativeSeparators(FLockPath)));
    return true;
}

bool TSingleInstance::Listen()
{
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left behind by a crashed instance would make listen() fail. Removing it is safe
    // only while we hold the lock: then no live instance can own it.
    if (FHeld)
        QLocalServer::removeServer(FServerName);
    connect(FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = FServer->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // One line per request; a start that sent nothing is ignored.
            const auto readRequests = [this, socket] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine().trimmed();
                    if (line != kActivateRequest && !line.startsWith(kActivateRequest + " "_ba))
                        continue;
                    // A Wayland compositor lets a window take the focus only with a token from
                    // the launcher that started the new diary; Qt uses it when the window asks
                    // to be activated next.
                    const QByteArray token = line.mid(sizeof kActivateRequest).trimmed();
                    if (!token.isEmpty())
                        qputenv("XDG_ACTIVATION_TOKEN", token);
                    emit ActivationRequested();
                }
            };
            connect(socket, &QLocalSocket::readyRead, this, readRequests);
            readRequests(); // what arrived before the connection was taken
        }
    });
    if (FServer->listen(FServerName))
        return true;
    std::fprintf(stderr, "kivlog: cannot listen on %s: %s\n", qPrintable(FServerName),
        qPrintable(FServer->errorString()));
    return false;
}

bool TSingleInstance::ActivateRunning(int timeoutMs)
{
    // The running instance takes the lock a moment before it listens; a start that falls into
    // that moment tries again briefly.
    const int attempts = 10;
    for (int i = 0; i < attempts; ++i) {
        if (Activate(FServerName, timeoutMs / attempts))
            return true;
        QThread::msleep(timeoutMs / attempts);
    }
    return false;
}

bool TSingleInstance::Activate(const QString &serverName, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    // The launcher's activation token, when there is one, goes along (see Listen).
    QByteArray request = kActivateRequest;
    const QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty() && !token.contains('\n'))
        request += ' ' + token;
    socket.write(request + '\n');
    const bool written = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return written;
}

QString TSingleInstance::FullServerName() const
{
    return FServer && FServer->isListening() ? FServer->fullServerName() : QString();
}

void TSingleInstance::Release()
{
    if (FServer) {
        FServer->close();
        delete FServer;
        FServer = nullptr;
    }
    if (FLock && FHeld)
        FLock->unlock();
    FHeld = false;
}
