#include "CommandLine.h"

void SplitOption(const QString &argument, QString &value, QString &option)
{
    value = argument.size() >= 3 ? argument.mid(2) : QString();
    option.clear();
    if (argument.startsWith(u'-'))
        option = argument.mid(1, 1);
}
