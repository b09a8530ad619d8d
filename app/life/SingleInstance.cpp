#include "SingleInstance.h"

#include "FileWriter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <cstdio>
#include <sys/stat.h>
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

bool haveRuntimeFolder() { return qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"); }

// A folder of the user's own in the temporary folder, which other users cannot write into;
// empty when it cannot be had. Every start of the user finds it, whatever its runtime folder.
QString privateTempFolder()
{
    const QString folder = QDir::tempPath() + u"/kivlog-"_s + QString::number(::getuid());
    const QByteArray path = QFile::encodeName(folder);
    ::mkdir(path.constData(), 0700);
    struct stat info { };
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid()
        || (info.st_mode & 077) != 0)
        return {};
    return folder;
}

// Keyed by the folder itself, however it was spelt.
QString contactPath(const QString &dataFolder)
{
    const QString folder = privateTempFolder();
    if (folder.isEmpty())
        return {};
    QString canonical = QFileInfo(dataFolder).canonicalFilePath();
    if (canonical.isEmpty())
        canonical = QDir::cleanPath(QDir(dataFolder).absolutePath());
    const QByteArray key
        = QCryptographicHash::hash(QFile::encodeName(canonical), QCryptographicHash::Sha1)
              .toHex()
              .left(20);
    return folder + u"/kivlog-folder-"_s + QString::fromLatin1(key) + u".contact"_s;
}

// "<process id>\n<socket>"
TSingleInstance::TFolderContact readContact(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.read(4096).split('\n');
    if (lines.size() != 2)
        return {};
    return { lines[0].toLongLong(), QFile::decodeName(lines[1]) };
}

bool answers(const QString &serverName)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    return socket.waitForConnected(500);
}

} // namespace

TSingleInstance::TSingleInstance(QObject *parent)
    : QObject(parent)
{
    const QString name = InstanceName();
    // Without XDG_RUNTIME_DIR (outside a desktop session) Qt would warn and invent a folder;
    // the temporary folder with the user id in the name serves as well.
    QString folder;
    if (haveRuntimeFolder())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QString user = QString::number(::getuid());
    // The runtime folder is the user's own; the temporary folder is shared, hence the user id.
    // The socket goes beside the lock, so that an instance of another runtime folder, which the
    // lock does not keep out, never meets this one's socket.
    const QString base
        = folder + u'/' + name + (folder == QDir::tempPath() ? u'-' + user : QString());
    FLockPath = base + QStringLiteral(".lock");
    FServerName = base;
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
    // A socket left behind by a crashed instance would make listen() fail. It is removed only
    // while we hold the lock and only when nothing answers on it: a live diary keeps its socket
    // whatever lock this start holds.
    if (FHeld && !answers(FServerName))
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

void TSingleInstance::PublishFolderContact(const QString &dataFolder)
{
    const QString server = FullServerName();
    const QString path = contactPath(dataFolder);
    if (server.isEmpty() || path.isEmpty())
        return;
    const QByteArray contact
        = QByteArray::number(QCoreApplication::applicationPid()) + '\n' + QFile::encodeName(server);
    if (ReplaceFile(path, contact, TFileAccess { 0600, std::nullopt }))
        FContactPath = path;
}

TSingleInstance::TFolderContact TSingleInstance::FolderContact(const QString &dataFolder)
{
    return readContact(contactPath(dataFolder));
}

void TSingleInstance::Release()
{
    // Only while it is still ours: a later holder of the folder may have written its own.
    if (!FContactPath.isEmpty()
        && readContact(FContactPath).Pid == QCoreApplication::applicationPid())
        QFile::remove(FContactPath);
    FContactPath.clear();
    if (FServer) {
        FServer->close();
        delete FServer;
        FServer = nullptr;
    }
    if (FLock && FHeld)
        FLock->unlock();
    FHeld = false;
}
