#include "FileReader.h"

#include "Exceptions.h"
#include "Messages.h"
#include "Services.h"

#include <QFile>
#include <QFileInfo>

QByteArray ReadWholeFile(const QString &path)
{
    QFile file(path);
    // Only a plain file is a year file: a folder opens for reading on some systems, a pipe
    // would wait for a writer forever, and a device such as /dev/zero never ends.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw EFOpenError(Text(msg::kCannotOpen).arg(QFileInfo(path).absoluteFilePath()));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EFOpenError(Text(msg::kCannotOpen).arg(QFileInfo(path).absoluteFilePath()));
    return data;
}

TYearRead ReadYearFileAt(const QString &path, int year, int thisYear)
{
    if (!QFileInfo::exists(path))
        return {};
    return ReadYearFile(
        ReadWholeFile(path), year, thisYear != 0 ? thisYear : DiaryNow().date().year());
}
