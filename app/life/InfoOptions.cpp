#include "InfoOptions.h"

#include "CommandLine.h"
#include "WindowTexts.h"

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

QString firstSet(std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

void print(const QString &text) { std::fputs(text.toUtf8().constData(), stdout); }

} // namespace

bool UserWantsJapanese()
{
    const QString locale = firstSet({ "LC_ALL", "LC_MESSAGES", "LANG" });
    if (locale.isEmpty() || locale == u"C"_s || locale.startsWith(u"C."_s) || locale == u"POSIX"_s)
        return false;
    // GNU's LANGUAGE is a list of preferences, "ja:en"; it counts only outside the C locale.
    const QString preferred = qEnvironmentVariable("LANGUAGE").section(u':', 0, 0);
    return (preferred.isEmpty() ? locale : preferred).startsWith(u"ja"_s);
}

QString DataFolderFor(const QStringList &arguments)
{
    TDataFolder folder;
    folder.TakeCommandLine(arguments);
    return FullFolderPath(folder.BaseDir);
}

QString UsageText(bool japanese, const QString &dataFolder)
{
    return Text(japanese ? wtext::kUsageJapanese : wtext::kUsageEnglish) + dataFolder + u'\n';
}

std::optional<int> AnswerInfoOption(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            QStringList others;
            for (int j = 1; j < argc; ++j) {
                if (j != i)
                    others << QString::fromLocal8Bit(argv[j]);
            }
            print(UsageText(UserWantsJapanese(), DataFolderFor(others)));
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            print(u"kivlog (KIV-N's Diary) "_s + QStringLiteral(KIVLOG_VERSION) + u'\n');
            return 0;
        }
    }
    return std::nullopt;
}
