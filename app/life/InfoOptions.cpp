#include "InfoOptions.h"
#include "CommandLine.h"

#include <QDir>
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
    if (japanese) {
        return u"使い方: kivlog [-dフォルダ] [-p接頭辞] [-e拡張子] [年ファイル]\n"
               "\n"
               "KIV-Nの日記を開きます。日記がすでに開いていれば、その画面を前に出します。\n"
               "\n"
               "  -dフォルダ   年ファイルを置くフォルダ（既定: Data/）\n"
               "  -p接頭辞     ファイル名で年の前に付く文字列（既定: なし）\n"
               "  -e拡張子     ファイル名の拡張子、ドットを含めて（既定: .jnl）\n"
               "  年ファイル   例えば ~/diary/notes2026.jnl: そのフォルダ・接頭辞・拡張子を使います\n"
               "  --help       この説明を表示して終了します\n"
               "  --version    バージョンを表示して終了します\n"
               "\n"
               "値はオプション文字のすぐ後に空白なしで書きます（-d/home/me/diary）。\n"
               "このフォルダからこの引数で起動すると、日記のデータは次のフォルダに置かれます:\n"
               "  "_s
            + dataFolder + u'\n';
    }
    return u"Usage: kivlog [-dFOLDER] [-pPREFIX] [-eEXTENSION] [YEARFILE]\n"
           "\n"
           "Opens KIV-N's Diary; when a diary is open already, brings its window forward.\n"
           "\n"
           "  -dFOLDER     the folder of the year files (default: Data/)\n"
           "  -pPREFIX     text in front of the year in file names (default: none)\n"
           "  -eEXTENSION  the file names' extension, with its dot (default: .jnl)\n"
           "  YEARFILE     such as ~/diary/notes2026.jnl: its folder, prefix and extension are used\n"
           "  --help       print this text and exit\n"
           "  --version    print the version and exit\n"
           "\n"
           "A value follows its option letter directly, without a blank (-d/home/me/diary).\n"
           "Started in this folder with these arguments, the diary keeps its data in:\n"
           "  "_s
        + dataFolder + u'\n';
}

std::optional<int> AnswerInfoOption(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
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
