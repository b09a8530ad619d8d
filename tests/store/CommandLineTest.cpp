#include "CommandLine.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

struct TCommandLineCase {
    const char *Name;
    QStringList Arguments;
    QString Folder; // BaseDir|Prefix|Ext, "$HOME" standing for the home folder
};

void PrintTo(const TCommandLineCase &param, std::ostream *out) { *out << param.Name; }

class DataFolderCommandLine : public testing::TestWithParam<TCommandLineCase> {
protected:
    void SetUp() override
    {
        FHome = qgetenv("HOME");
        qputenv("HOME", "/home/diarist");
    }
    void TearDown() override { qputenv("HOME", FHome); }

private:
    QByteArray FHome;
};

TEST_P(DataFolderCommandLine, SetsFolderPrefixAndExtension)
{
    TDataFolder folder;
    folder.TakeCommandLine(GetParam().Arguments);
    const QString expected = QString(GetParam().Folder).replace(u"$HOME"_qs, u"/home/diarist"_qs);
    EXPECT_EQ(QStringList({ folder.BaseDir, folder.Prefix, folder.Ext }).join(u'|'), expected);
}

// The year-file path's own rules (wildcards, short names, the later argument winning) are
// checked with the window, which reads its command line here.
INSTANTIATE_TEST_SUITE_P(Arguments, DataFolderCommandLine,
    testing::Values(TCommandLineCase { "none", {}, "Data/||.jnl" },
        TCommandLineCase { "home_in_option", { "-d~/Sync/diary" }, "$HOME/Sync/diary||.jnl" },
        TCommandLineCase { "home_alone", { "-d~" }, "$HOME||.jnl" },
        TCommandLineCase {
            "home_in_year_file", { "~/diary/notes2026.jnl" }, "$HOME/diary/|notes|.jnl" },
        TCommandLineCase { "blank_after_d", { "-d", "~/x" }, "$HOME/||" },
        TCommandLineCase { "other_user_stays", { "-d~kate/diary" }, "~kate/diary||.jnl" },
        TCommandLineCase { "only_a_leading_tilde", { "-dx/~/y", "a~/d2001.jnl" }, "a~/|d|.jnl" },
        TCommandLineCase { "names_are_no_paths", { "-p~", "-e~" }, "Data/|~|~" },
        TCommandLineCase { "empty_argument_passed_over", { "", "-pnote" }, "Data/|note|.jnl" },
        TCommandLineCase { "other_letters_ignored", { "-D/x", "-x", "--help" }, "Data/||.jnl" }),
    [](const testing::TestParamInfo<TCommandLineCase> &param) { return param.param.Name; });

TEST(DataFolderCommandLine, CliOptionsTakeNoYearFile)
{
    TDataFolder folder;
    EXPECT_TRUE(folder.TakeOption(u"-d~/diary"_qs));
    EXPECT_FALSE(folder.TakeOption(u"-x"_qs));
    EXPECT_FALSE(folder.TakeOption(u"d/x2001.jnl"_qs));
    EXPECT_EQ(folder.BaseDir, qEnvironmentVariable("HOME") + u"/diary"_qs);
    EXPECT_EQ(folder.Ext, u".jnl"_qs);
}

} // namespace
