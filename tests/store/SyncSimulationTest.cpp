// Two diaries on two machines whose folders a sync engine keeps alike, driven by random steps:
// typing, clearing, saves, looks at the disk, offline spells, conflict copies, crashes with
// recovery files. After every step, no text a user saved and did not clear is gone and no line
// stands twice; whenever the sync settles, both diaries hold the same year.
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

struct TMachine {
    QString Dir;
    std::unique_ptr<TKivDiary> Store;
    bool Online = true;
    // The year file's bytes as the engine last left them here.
    QByteArray Synced;
};

class SyncSimulation : public StoreInTempDir {
protected:
    void Open(TMachine &m)
    {
        m.Store = std::make_unique<TKivDiary>();
        m.Store->SetBaseDir(m.Dir);
        m.Store->SetExt(QStringLiteral("jnl"));
        m.Store->SetYear(kYear);
        m.Store->Open();
    }

    QString YearFile(const TMachine &m) const { return m.Dir + u"2026.jnl"_qs; }

    double RandomDay() { return Day(kYear, 12, 1 + int(FRandom.bounded(6))); }

    void Type(TMachine &m, int who)
    {
        const double day = RandomDay();
        const QByteArray old = WrittenDayText(m.Store->GetDayText(day)).toByteArray();
        const QByteArray token = "m" + QByteArray::number(who) + "-" + QByteArray::number(++FTyped);
        m.Store->SetDayText(day, old.isEmpty() ? token : old + "\r\n" + token);
        FTypedBy[token] = who;
    }

    // The user takes out one line of a day, or the whole day.
    void Clear(TMachine &m, bool wholeDay)
    {
        const double day = RandomDay();
        QList<QByteArray> lines
            = WrittenDayText(m.Store->GetDayText(day)).toByteArray().split('\n');
        if (lines.size() == 1 && lines[0].isEmpty())
            return;
        const qsizetype cut = wholeDay ? lines.size() : 1;
        const qsizetype from = wholeDay ? 0 : FRandom.bounded(lines.size());
        for (qsizetype i = from; i < from + cut; ++i)
            FCleared.insert(lines[i].trimmed());
        lines.remove(from, cut);
        m.Store->SetDayText(day, lines.join('\n'));
    }

    void Save(TMachine &m, int who)
    {
        m.Store->SaveFile();
        for (const QByteArray &token : TokensOf(m.Store->Contents())) {
            if (FTypedBy.count(token) && FTypedBy[token] == who)
                FSaved.insert(token);
        }
    }

    // What the window's disk watcher does.
    void Look(TMachine &m)
    {
        if (m.Store->CheckFile() != TKivDiary::TDiskChange::Changed)
            return;
        if (m.Store->Unsaved())
            m.Store->SaveFile();
        else
            m.Store->ReloadFile();
    }

    // What the window does with conflict copies: a copy whose text the year holds goes at once,
    // another is taken in, and goes once the year is saved.
    void TakeInCopies(TMachine &m)
    {
        for (const QString &copy : ConflictCopiesOf(YearFile(m), u".jnl"_qs)) {
            if (!m.Store->HoldsVersion(ReadYearFileAt(copy, kYear).Contents)) {
                m.Store->TakeInVersion(ReadYearFileAt(copy, kYear).Contents);
                m.Store->SaveFile();
            }
            if (!m.Store->Unsaved()) {
                QFile::remove(copy);
                FCopiesGone << QFileInfo(copy).fileName();
            }
        }
    }

    // Killed with unsaved text, started again, the recovery file taken back.
    void Crash(TMachine &m)
    {
        const TYearContents recovery = UnsavedDays(m.Store->History(), m.Store->Contents().Days);
        m.Store->SetAutoSave(false);
        m.Store.reset();
        Open(m);
        TOtherVersion known;
        m.Store->TakeInVersion(RecoveredDays(recovery, known), known);
    }

    void Carry(TMachine &to, const QByteArray &bytes)
    {
        WriteAll(to.Dir + u".sync.tmp"_qs, bytes);
        QFile::remove(YearFile(to));
        QFile::rename(to.Dir + u".sync.tmp"_qs, YearFile(to));
        to.Synced = bytes;
    }

    void Sync()
    {
        TMachine &a = FMachines[0];
        TMachine &b = FMachines[1];
        if (!a.Online || !b.Online)
            return;
        const QByteArray fa = ReadAll(YearFile(a));
        const QByteArray fb = ReadAll(YearFile(b));
        const bool changedA = fa != a.Synced;
        const bool changedB = fb != b.Synced;
        if (changedA && changedB && fa != fb) {
            // The later write wins; the other version becomes a copy on both machines.
            const bool aWins = FRandom.bounded(2) == 0;
            const QString copy = u"2026.sync-conflict-20261209-%1-ABCDEFG.jnl"_qs.arg(
                ++FCopies, 6, 10, QLatin1Char('0'));
            for (TMachine *m : { &a, &b })
                WriteAll(m->Dir + copy, aWins ? fb : fa);
            Carry(aWins ? b : a, aWins ? fa : fb);
            (aWins ? a : b).Synced = aWins ? fa : fb;
        } else if (changedA && fa != fb) {
            Carry(b, fa);
            a.Synced = fa;
        } else if (changedB && fa != fb) {
            Carry(a, fb);
            b.Synced = fb;
        } else {
            a.Synced = fa;
            b.Synced = fb;
        }
        // A copy one diary moved away goes on the other machine too.
        for (const QString &gone : std::as_const(FCopiesGone)) {
            for (TMachine *m : { &a, &b })
                QFile::remove(m->Dir + gone);
        }
        FCopiesGone.clear();
    }

    static std::vector<QByteArray> TokensOf(const TYearContents &contents)
    {
        std::vector<QByteArray> tokens;
        for (const TDayText &day : contents.Days) {
            for (const QByteArray &line : day.FText.split('\n')) {
                if (line.trimmed().startsWith('m'))
                    tokens.push_back(line.trimmed());
            }
        }
        return tokens;
    }

    void CheckEveryStep(int step)
    {
        std::set<QByteArray> somewhere;
        for (const TMachine &m : FMachines) {
            std::vector<TYearContents> versions { m.Store->Contents() };
            QStringList files = ConflictCopiesOf(YearFile(m), u".jnl"_qs);
            files.prepend(YearFile(m));
            for (const QString &file : std::as_const(files)) {
                if (QFileInfo::exists(file))
                    versions.push_back(ReadYearFileAt(file, kYear).Contents);
            }
            for (const TYearContents &version : versions) {
                std::set<QByteArray> once;
                for (const QByteArray &token : TokensOf(version)) {
                    ASSERT_TRUE(once.insert(token).second)
                        << "step " << step << ": " << token.constData() << " stands twice";
                    somewhere.insert(token);
                }
            }
        }
        for (const QByteArray &token : FSaved) {
            ASSERT_TRUE(FCleared.count(token) || somewhere.count(token))
                << "step " << step << ": saved " << token.constData() << " is gone";
        }
    }

    // Both online, each diary looks, takes in and saves until nothing moves.
    void Settle(int step)
    {
        for (TMachine &m : FMachines)
            m.Online = true;
        for (int round = 0; round < 8; ++round) {
            for (int who = 0; who < 2; ++who) {
                TakeInCopies(FMachines[who]);
                Look(FMachines[who]);
                Save(FMachines[who], who);
            }
            Sync();
        }
        const TYearContents a = FMachines[0].Store->Contents();
        const auto written = [](const TYearContents &year) {
            std::map<double, QByteArray> days;
            for (const TDayText &day : year.Days)
                days[day.FDate] = WrittenDayText(day.FText).toByteArray();
            return days;
        };
        ASSERT_EQ(written(a), written(FMachines[1].Store->Contents())) << "step " << step;
        const std::vector<QByteArray> tokens = TokensOf(a);
        const std::set<QByteArray> held(tokens.begin(), tokens.end());
        for (const QByteArray &token : FSaved) {
            ASSERT_TRUE(FCleared.count(token) || held.count(token))
                << "step " << step << ": saved " << token.constData() << " is not in the year";
        }
    }

    QRandomGenerator FRandom;
    TMachine FMachines[2];
    int FTyped = 0;
    int FCopies = 0;
    std::map<QByteArray, int> FTypedBy;
    std::set<QByteArray> FSaved;
    std::set<QByteArray> FCleared;
    QStringList FCopiesGone;
};

TEST_F(SyncSimulation, NothingSavedIsLostAndBothDiariesEndAlike)
{
    for (const quint32 seed : { 1u, 2u, 3u, 4u }) {
        SCOPED_TRACE(seed);
        FRandom.seed(seed);
        FSaved.clear();
        FCleared.clear();
        FCopiesGone.clear();
        // In memory where the system has a place for it: saves flush to disk.
        const QTemporaryDir folder(QDir(u"/dev/shm"_qs).exists() ? u"/dev/shm/kivlog-sim-XXXXXX"_qs
                                                                 : Path(u"sim-XXXXXX"_qs));
        for (int who = 0; who < 2; ++who) {
            TMachine &m = FMachines[who];
            m.Dir = folder.path() + u"/%1/"_qs.arg(who);
            ASSERT_TRUE(QDir().mkpath(m.Dir));
            Open(m);
            m.Online = true;
            m.Synced = ReadAll(YearFile(m));
        }
        for (int step = 0; step < 700; ++step) {
            const int who = int(FRandom.bounded(2));
            TMachine &m = FMachines[who];
            const int what = int(FRandom.bounded(100));
            if (what < 35)
                Type(m, who);
            else if (what < 40)
                Clear(m, false);
            else if (what < 43)
                Clear(m, true);
            else if (what < 58)
                Save(m, who);
            else if (what < 68)
                Look(m);
            else if (what < 73)
                TakeInCopies(m);
            else if (what < 75)
                Crash(m);
            else if (what < 80)
                m.Online = !m.Online;
            else
                Sync();
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
}

} // namespace
