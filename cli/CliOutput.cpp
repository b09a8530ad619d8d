// Output of kivlog-cli: UTF-8 on the standard streams.
#include "CliOutput.h"

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

int usageError(const QString &problem)
{
    print(stderr, QStringLiteral("kivlog-cli: ") + problem + u'\n');
    print(stderr, QStringLiteral("Try 'kivlog-cli --help'.\n"));
    return 2;
}

QString counted(qsizetype count, const QString &one, const QString &many)
{
    return QString::number(count) + u' ' + (count == 1 ? one : many);
}
