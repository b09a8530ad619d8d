// Three diaries on three machines whose folders a sync engine keeps alike (conflict copies as
// Syncthing makes them), driven by random steps: typing lines, headings and blank lines, editing a
// line in place, deleting lines and whole days, a text editor on the year file, saves, looks at
// the disk, copies taken in, restarts, crashes with recovery files, folders restored by copy,
// an export imported again and again, offline spells. After every step: no line that reached a
// year file is gone unless a user removed it, no line a machine's user removed stands again in
// that machine's year (but beside a separator, where both sides changed the same lines), no line
// stands twice in a version. Whenever the sync settles, all diaries hold the same year.
// KIVLOG_SIM_SEEDS (a count, from KIVLOG_SIM_FIRST_SEED) and KIVLOG_SIM_STEPS set the run's size.
#include "DiskCopies.h"
#include "FileReader.h"
#include "StoreTestSupport.h"
#include "YearFile.h"
#include "YearMerge.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <map>
#include <set>

namespace {

constexpr int kYear = 2026;
constexpr int kMachines = 3;
// Few days, so that machines often write the same day.
constexpr int kDays = 12;
const QByteArray kHeading = sj("## 夜");

struct TMachine {
    QString Dir;
    // The machine's own state folder, outside the synced one.
    QString State;
    std::unique_ptr<TKivDiary> Store;
    bool Online = true;
    // The year file's bytes as the engine last left them here, and the copies it brought.
    QByteArray Synced;
    std::set<QString> CopiesHad;
    // The lines this machine's user removed, with the count of conflict copies made by then, and
    // those a text editor removed from its year file (whose fate the table of disk changes
    // checks: here they only count as removed, not as lost).
    std::map<QByteArray, int> Removed;
    std::map<QByteArray, int> RemovedByEditor;
};

class SyncSimulation : public StoreInTempDir {
protected:
    void Open(TMachine &m)
    {
        m.Store = std::make_unique<TKivDiary>();
        m.Store->SetMemoryRoot(m.State);
        m.Store->SetBaseDir(m.Dir);
        m.Store->SetExt(QStringLiteral("jnl"));
        m.Store->SetYear(kYear);
        m.Store->Open();
    }

    static QString YearFile(const TMachine &m) { return m.Dir + u"2026.jnl"_qs; }

    double RandomDay() { return Day(kYear, 12, 1 + int(FRandom.bounded(kDays))); }

    QByteArray NewToken(int who)
    {
        return "m" + QByteArray::number(who) + "-" + QByteArray::number(++FTyped);
    }

    static QList<QByteArray> LinesOf(QByteArrayView text)
    {
        const QByteArrayView written = WrittenDayText(text);
        return written.isEmpty() ? QList<QByteArray>() : written.toByteArray().split('\n');
    }
    static QByteArray Joined(const QList<QByteArray> &lines)
    {
        QList<QByteArray> trimmed;
        for (const QByteArray &line : lines)
            trimmed << line.trimmed();
        return trimmed.join("\r\n");
    }

    // A line at the end of a day: a token, sometimes after a heading or a blank line.
    void Type(TMachine &m, int who)
    {
        const double day = RandomDay();
        QList<QByteArray> lines = LinesOf(m.Store->GetDayText(day));
        const int kind = int(FRandom.bounded(6));
        if (kind == 0) {
            lines << kHeading;
            ++FHeadingsTyped;
        } else if (kind == 1)
            lines << QByteArray();
        lines << NewToken(who);
        m.Store->SetDayText(day, Joined(lines));
    }

    // One token line of a day edited in place or taken out, or the whole day.
    void Change(TMachine &m, int who, int how)
    {
        const double day = RandomDay();
        QList<QByteArray> lines = LinesOf(m.Store->GetDayText(day));
        if (lines.isEmpty())
            return;
        const qsizetype at = FRandom.bounded(lines.size());
        if (how == 2) {
            for (const QByteArray &line : lines)
                m.Removed[line.trimmed()] = FCopies;
            lines.clear();
        } else {
            m.Removed[lines[at].trimmed()] = FCopies;
            if (how == 0)
                lines[at] = NewToken(who);
            else
                lines.removeAt(at);
        }
        m.Store->SetDayText(day, Joined(lines));
    }

    // A text editor on the year file: a line edited in place, or a day's block deleted.
    void Editor(TMachine &m, int who)
    {
        if (!QFileInfo::exists(YearFile(m)))
            return;
        TYearContents year = ReadYearFileAt(YearFile(m), kYear).Contents;
        if (year.Days.empty())
            return;
        const size_t d = FRandom.bounded(quint32(year.Days.size()));
        QList<QByteArray> lines = LinesOf(year.Days[d].FText);
        if (FRandom.bounded(3) == 0 || lines.isEmpty()) {
            for (const QByteArray &line : std::as_const(lines))
                m.RemovedByEditor[line.trimmed()] = FCopies;
            year.Days.erase(year.Days.begin() + qsizetype(d));
        } else {
            const qsizetype at = FRandom.bounded(lines.size());
            m.RemovedByEditor[lines[at].trimmed()] = FCopies;
            lines[at] = NewToken(who);
            year.Days[d].FText = Joined(lines) + "\r\n";
        }
        const QString temporary = m.Dir + u".editor.tmp"_qs;
        WriteAll(temporary, WriteYearFile(year, kYear, true, JapaneseWeekdays()));
        QFile::remove(YearFile(m));
        QFile::rename(temporary, YearFile(m));
    }

    // What the window's disk watcher does: the copies first, then the year file.
    void Look(TMachine &m)
    {
        for (const QString &copy : ConflictCopiesOf(YearFile(m), u".jnl"_qs)) {
            const TYearContents version = ReadYearFileAt(copy, kYear).Contents;
            if (!m.Store->HoldsVersion(version)) {
                m.Store->TakeInCopy(version);
                m.Store->SaveFile();
            }
            if (!m.Store->Unsaved())
                QFile::remove(copy);
        }
        if (m.Store->CheckFile() != TKivDiary::TDiskChange::Changed)
            return;
        if (m.Store->Unsaved()) {
            m.Store->SaveFile();
        } else if (m.Store->ReloadFile() && m.Store->Unsaved()) {
            m.Store->SaveFile();
        }
    }

    // Ended and started again; killed with unsaved text, the recovery file taken back.
    void Restart(TMachine &m, bool crash)
    {
        const TYearContents recovery
            = UnsavedDays(m.Store->Memory().Agreed(), m.Store->Contents().Days);
        if (crash)
            m.Store->SetAutoSave(false);
        m.Store.reset();
        Open(m);
        if (crash) {
            TOtherVersion known;
            m.Store->TakeInVersion(RecoveredDays(recovery, known), known);
        }
    }

    // The folder moved away and copied back (a restore from a backup of the whole folder).
    void Restore(TMachine &m)
    {
        const QString old = m.Dir.chopped(1) + u".old"_qs;
        ASSERT_TRUE(QDir().rename(m.Dir, old));
        ASSERT_TRUE(QDir().mkpath(m.Dir));
        for (const QString &name : QDir(old).entryList(QDir::Files | QDir::Hidden))
            ASSERT_TRUE(QFile::copy(old + u'/' + name, m.Dir + name));
        ASSERT_TRUE(QDir(old).removeRecursively());
    }

    // The same export taken in again: a day a user tidied since brings nothing back.
    void Import(TMachine &m, int who)
    {
        if (FExport.Days.empty()) {
            for (int d = 1; d <= 3; ++d) {
                const QByteArray token = NewToken(who);
                FExport.Days.emplace_back("imported\r\n" + token + "\r\n", Day(kYear, 12, d));
            }
        }
        m.Store->TakeInVersion(FExport);
        m.Store->SaveFile();
    }

    void Carry(TMachine &to, const QByteArray &bytes)
    {
        ++FMoves;
        const QString temporary = to.Dir + u".sync.tmp"_qs;
        WriteAll(temporary, bytes);
        QFile::remove(YearFile(to));
        QFile::rename(temporary, YearFile(to));
        to.Synced = bytes;
    }

    // The engine on one machine: its change goes out, or meets another as a conflict (the
    // loser's version becomes a copy), or the cluster's version comes in; copies travel, and a
    // copy one machine moved away goes everywhere.
    void Sync(TMachine &m)
    {
        if (!m.Online)
            return;
        const QByteArray local
            = QFileInfo::exists(YearFile(m)) ? ReadAll(YearFile(m)) : QByteArray();
        if (local != m.Synced) {
            if (FCluster != m.Synced && FCluster != local) {
                const bool localWins = FRandom.bounded(2) == 0;
                const QString copy = u"2026.sync-conflict-20261209-%1-ABCDEFG.jnl"_qs.arg(
                    ++FCopies, 6, 10, QLatin1Char('0'));
                FCopyBytes[copy] = localWins ? FCluster : local;
                ++FMoves;
                if (localWins)
                    FCluster = local;
                else
                    Carry(m, FCluster);
            } else {
                FCluster = local;
                ++FMoves;
            }
            m.Synced = FCluster;
        } else if (FCluster != m.Synced) {
            Carry(m, FCluster);
        }
        for (const QString &had : std::set<QString>(m.CopiesHad)) {
            if (!QFileInfo::exists(m.Dir + had)) {
                FCopyBytes.erase(had);
            } else if (!FCopyBytes.count(had)) {
                QFile::remove(m.Dir + had);
            }
        }
        for (const auto &[name, bytes] : FCopyBytes) {
            if (m.CopiesHad.insert(name).second)
                WriteAll(m.Dir + name, bytes);
        }
    }

    static std::vector<QByteArray> TokensOf(const TYearContents &contents)
    {
        std::vector<QByteArray> tokens;
        for (const TDayText &day : contents.Days) {
            for (const QByteArray &line : LinesOf(day.FText)) {
                if (line.trimmed().startsWith('m'))
                    tokens.push_back(line.trimmed());
            }
        }
        return tokens;
    }

    // The versions a machine holds: its store, its year file and the copies beside it.
    std::vector<TYearContents> VersionsOf(const TMachine &m) const
    {
        std::vector<TYearContents> versions { m.Store->Contents() };
        QStringList files = ConflictCopiesOf(YearFile(m), u".jnl"_qs);
        files.prepend(YearFile(m));
        for (const QString &file : std::as_const(files)) {
            if (QFileInfo::exists(file))
                versions.push_back(ReadYearFileAt(file, kYear).Contents);
        }
        return versions;
    }

    void CheckEveryStep(int step)
    {
        std::set<QByteArray> somewhere;
        std::set<QByteArray> removedAnywhere;
        for (const TMachine &m : FMachines) {
            for (const auto *removed : { &m.Removed, &m.RemovedByEditor }) {
                for (const auto &entry : *removed)
                    removedAnywhere.insert(entry.first);
            }
            for (const TYearContents &version : VersionsOf(m)) {
                std::set<QByteArray> once;
                for (const QByteArray &token : TokensOf(version)) {
                    ASSERT_TRUE(once.insert(token).second)
                        << "step " << step << ": " << token.constData() << " stands twice";
                    somewhere.insert(token);
                }
                for (const TDayText &day : version.Days) {
                    ASSERT_LE(LinesOf(day.FText).count(kHeading), FHeadingsTyped)
                        << "step " << step << ": a heading stands more often than it was typed";
                }
            }
            // A removed line back in this machine's year, where no separator shows two texts and
            // no version met the removal in a conflict since (which may hold the line unchanged
            // while nothing tells which side grew from which).
            for (const TDayText &day : m.Store->Contents().Days) {
                if (day.FText.contains(BothTextsSeparator()))
                    continue;
                for (const QByteArray &line : LinesOf(day.FText)) {
                    const auto removed = m.Removed.find(line.trimmed());
                    ASSERT_FALSE(line.startsWith('m') && removed != m.Removed.end()
                        && removed->second == FCopies)
                        << "step " << step << ": removed " << line.constData() << " is back";
                }
            }
        }
        for (const TMachine &m : FMachines) {
            if (QFileInfo::exists(YearFile(m))) {
                for (const QByteArray &token :
                    TokensOf(ReadYearFileAt(YearFile(m), kYear).Contents))
                    FSaved.insert(token);
            }
        }
        for (const QByteArray &token : FSaved) {
            ASSERT_TRUE(removedAnywhere.count(token) || somewhere.count(token))
                << "step " << step << ": saved " << token.constData() << " is gone";
        }
    }

    // KIVLOG_SIM_TRACE=1 prints each step and what each diary then holds.
    void Trace(const char *what, int step, int who, int detail)
    {
        if (!qEnvironmentVariableIsSet("KIVLOG_SIM_TRACE"))
            return;
        fprintf(stderr, "%s %d machine %d does %d\n", what, step, who, detail);
        for (const TMachine &t : FMachines) {
            fprintf(stderr, "  %s:", t.Online ? "online" : "offline");
            for (const TDayText &day : t.Store->Contents().Days)
                fprintf(stderr, " [%d] %s", DayNumberToDate(day.FDate).day(),
                    WrittenDayText(day.FText).toByteArray().replace("\r\n", "|").constData());
            fprintf(stderr, "\n");
        }
    }

    // All online, each diary looks, saves and syncs until nothing moves.
    void Settle(int step)
    {
        for (TMachine &m : FMachines)
            m.Online = true;
        // Until a round changes nothing: no file carried, no copy made or left.
        for (int round = 0; round < 30; ++round) {
            const int moves = FMoves;
            bool copiesLeft = false;
            // An engine online everywhere carries each save at once, before the next diary looks.
            for (int who = 0; who < kMachines; ++who) {
                TMachine &m = FMachines[who];
                for (TMachine &any : FMachines)
                    Sync(any);
                Look(m);
                Trace("settle: looked", step, who, round);
                CheckEveryStep(step);
                if (HasFatalFailure())
                    return;
                m.Store->SaveFile();
                for (TMachine &any : FMachines)
                    Sync(any);
                Trace("settle: synced", step, who, round);
            }
            for (const TMachine &m : FMachines)
                copiesLeft = copiesLeft || !ConflictCopiesOf(YearFile(m), u".jnl"_qs).isEmpty();
            if (round > 0 && moves == FMoves && !copiesLeft)
                break;
        }
        const auto written = [](const TYearContents &year) {
            std::map<double, QByteArray> days;
            for (const TDayText &day : year.Days)
                days[day.FDate] = WrittenDayText(day.FText).toByteArray();
            return days;
        };
        for (const TMachine &m : FMachines) {
            ASSERT_EQ(written(m.Store->Contents()), written(FMachines[0].Store->Contents()))
                << "step " << step;
            ASSERT_TRUE(ConflictCopiesOf(YearFile(m), u".jnl"_qs).isEmpty()) << "step " << step;
        }
    }

    void Run(quint32 seed, int steps)
    {
        FRandom.seed(seed);
        FSaved.clear();
        FCluster.clear();
        FCopyBytes.clear();
        FExport = TYearContents();
        // In memory where the system has a place for it: saves flush to disk.
        const QTemporaryDir folder(QDir(u"/dev/shm"_qs).exists() ? u"/dev/shm/kivlog-sim-XXXXXX"_qs
                                                                 : Path(u"sim-XXXXXX"_qs));
        for (int who = 0; who < kMachines; ++who) {
            TMachine &m = FMachines[who];
            m = TMachine();
            m.Dir = folder.path() + u"/%1/"_qs.arg(who);
            m.State = folder.path() + u"/state-%1/"_qs.arg(who);
            ASSERT_TRUE(QDir().mkpath(m.Dir));
            Open(m);
        }
        for (int step = 0; step < steps; ++step) {
            const int who = int(FRandom.bounded(kMachines));
            TMachine &m = FMachines[who];
            const int what = int(FRandom.bounded(100));
            if (what < 28)
                Type(m, who);
            else if (what < 38)
                Change(m, who, what % 3);
            else if (what < 41)
                Editor(m, who);
            else if (what < 53)
                m.Store->SaveFile();
            else if (what < 63)
                Look(m);
            else if (what < 65)
                Restart(m, what == 64);
            else if (what < 66)
                Restore(m);
            else if (what < 67)
                Import(m, who);
            else if (what < 71)
                m.Online = !m.Online;
            else
                Sync(m);
            Trace("step", step, who, what);
            CheckEveryStep(step);
            if (HasFatalFailure())
                return;
            if (step % 100 == 99)
                Settle(step);
            if (HasFatalFailure())
                return;
        }
        for (TMachine &m : FMachines)
            m.Store.reset();
    }

    QRandomGenerator FRandom;
    TMachine FMachines[kMachines];
    int FTyped = 0;
    qsizetype FHeadingsTyped = 0;
    int FCopies = 0;
    // Versions the engine carried or took: a round with none settled.
    int FMoves = 0;
    QByteArray FCluster;
    std::map<QString, QByteArray> FCopyBytes;
    TYearContents FExport;
    std::set<QByteArray> FSaved;
};

TEST_F(SyncSimulation, NothingSavedIsLostNothingRemovedComesBackAndAllDiariesEndAlike)
{
    const int seeds = qEnvironmentVariableIntValue("KIVLOG_SIM_SEEDS");
    const int steps = qEnvironmentVariableIntValue("KIVLOG_SIM_STEPS");
    const quint32 first = std::max(1, qEnvironmentVariableIntValue("KIVLOG_SIM_FIRST_SEED"));
    for (quint32 seed = first; seed < first + quint32(seeds > 0 ? seeds : 2); ++seed) {
        SCOPED_TRACE(seed);
        Run(seed, steps > 0 ? steps : 1000);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
