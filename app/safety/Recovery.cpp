#include "Recovery.h"

#include "AppServices.h"
#include "DayNumber.h"
#include "DiskCopies.h"
#include "FileReader.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "Messages.h"
#include "Services.h"
#include "ShownYear.h"
#include "WindowTexts.h"
#include "YearMerge.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QTextDocument>
#include <cstdio>
#include <sys/stat.h>

namespace {

const char kRecoveryExt[] = ".recovery";

QString stateRoot() { return DiaryStateFolder(); }

// Found by the diary it belongs to (the identity its data folder names), so that a restored or
// copied folder, a renamed machine or a folder reached through another path still finds its
// text, and another diary put at the path never does. Earlier files were found by the folder's
// device and inode.
QByteArray folderIdentity(const QString &dataFolder) { return FolderEntry(dataFolder); }

QString keyedFolder(const QByteArray &key)
{
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1);
    return stateRoot() + QLatin1String("recovery/") + QString::fromLatin1(hash.toHex().left(16));
}

QString canonicalFolder(const QString &dataFolder)
{
    QString folder = QFileInfo(dataFolder).canonicalFilePath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(QDir(dataFolder).absolutePath());
    return folder;
}

QString recoveryFolder(const QString &dataFolder, const QByteArray &diary = QByteArray())
{
    if (!diary.isEmpty())
        return keyedFolder("diary\n" + diary);
    QByteArray identity = folderIdentity(dataFolder);
    if (identity.isEmpty())
        identity = QFile::encodeName(canonicalFolder(dataFolder));
    return keyedFolder("folder\n" + identity);
}

// Where earlier diaries kept it: keyed by the machine's name and the folder's path.
QString hostKeyedFolder(const QString &dataFolder)
{
    return keyedFolder(QSysInfo::machineHostName().toUtf8() + '\n'
        + QFile::encodeName(canonicalFolder(dataFolder)));
}

// The settings lines that tie a recovery file to its year file, and carry what each recovered
// day was edited from.
const char kFolderSetting[] = "RECOVERY-FOLDER";
const char kFileSetting[] = "RECOVERY-FILE";
// Before the diary's identity in the folder setting; without it, the setting holds the folder's
// device and inode, as earlier diaries wrote it.
const char kDiaryTag[] = "diary:";

// The diary's identity: as the store read it when it opened the folder, else as the folder
// names it now.
QByteArray diaryOf(const TKivDiary &store)
{
    return store.Identity().isEmpty() ? DiaryIdentityOf(QFileInfo(store.FilePath()).absolutePath())
                                      : store.Identity();
}

QByteArray folderSetting(const TKivDiary &store)
{
    if (const QByteArray diary = diaryOf(store); !diary.isEmpty())
        return kDiaryTag + diary;
    return folderIdentity(QFileInfo(store.FilePath()).absolutePath());
}
QByteArray settingValue(const QList<QByteArray> &settings, const QByteArray &name)
{
    for (const QByteArray &line : settings) {
        if (line.startsWith(name + '='))
            return line.mid(name.size() + 1);
    }
    return QByteArray();
}

// Whether a recovery file read belongs to the store's year file; one without the tie comes from
// an earlier diary, whose place named its folder.
bool belongsTo(const TYearContents &recovered, const TKivDiary &store)
{
    const QByteArray folder = settingValue(recovered.Settings, kFolderSetting);
    if (folder.isEmpty())
        return true;
    const QFileInfo year(store.FilePath());
    if (folder.startsWith(kDiaryTag))
        return folder.mid(qsizetype(strlen(kDiaryTag))) == diaryOf(store)
            && settingValue(recovered.Settings, kFileSetting)
            == QFile::encodeName(year.fileName()).toPercentEncoding();
    return folder == folderIdentity(year.absolutePath())
        && settingValue(recovered.Settings, kFileSetting)
        == QFile::encodeName(year.fileName()).toPercentEncoding();
}

} // namespace

namespace {

QString fallbackOf(const QString &path) { return UserDataFolder() + path.mid(stateRoot().size()); }

// A recovery file goes with its stand-in.
void removeRecovery(const QString &path)
{
    QFile::remove(path);
    QFile::remove(fallbackOf(path));
}

TFileWrite writeRecovery(const QString &path, const QByteArray &image, const TFileAccess &access)
{
    MakeFolders(QFileInfo(path).path());
    return ReplaceFile(path, image, access);
}

// Where diaries kept it before: beside the year file.
QString besideYearFile(const TKivDiary &store)
{
    return store.FilePath() + QLatin1String(kRecoveryExt);
}

} // namespace

TRecovery::TRecovery(TKivDiaryEdit *editor, TKivDiary *store, QObject *parent)
    : QObject(parent)
    , FEditor(editor)
    , FStore(store)
{
    FTimer.setSingleShot(true);
    FTimer.setInterval(3000);
    connect(&FTimer, &QTimer::timeout, this, [this] { WriteNow(); });
    connect(FEditor, &QPlainTextEdit::textChanged, this, [this] { FTimer.start(); });
    connect(FStore, &TKivDiary::Loaded, this, [this] { RunGuarded([this] { YearLoaded(); }); });
    connect(FStore, &TKivDiary::Reloaded, this, [this] { YearReloaded(); });
    connect(FStore, &TKivDiary::Saved, this, [this] { YearSaved(); });
    // The editor is back at the store's text: reloaded, or its edits undone.
    connect(FEditor->document(), &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (!modified)
            Settle();
    });
}

void TRecovery::ReleaseEditor()
{
    if (FEditor) {
        disconnect(FEditor.data(), nullptr, this, nullptr);
        disconnect(FEditor->document(), nullptr, this, nullptr);
    }
    FEditor = nullptr;
}

QString TRecovery::PathFor(const TKivDiary &store)
{
    const QFileInfo year(store.FilePath());
    return recoveryFolder(year.absolutePath(), diaryOf(store)) + u'/' + year.fileName()
        + QLatin1String(kRecoveryExt);
}

QByteArray TRecovery::BuildImage() const
{
    // The year file's own format, without weekday names: any copy of the diary reads it. It
    // holds the days whose text the year file lacks, each with what it was edited from, and
    // names the year file it belongs to.
    const QFileInfo year(FStore->FilePath());
    TYearContents image = UnsavedDays(FStore->Memory().Agreed(), ShownDays(FEditor, *FStore));
    image.Settings.prepend(
        QByteArray(kFileSetting) + '=' + QFile::encodeName(year.fileName()).toPercentEncoding());
    image.Settings.prepend(QByteArray(kFolderSetting) + '=' + folderSetting(*FStore));
    return WriteYearFile(image, FStore->Year(), false, {});
}

bool TRecovery::WriteNow()
{
    FTimer.stop();
    if (!FStore->Active() || !FStore->LoadError().isEmpty())
        return true;
    const QString path = PathFor(*FStore);
    FPath = path;
    if (!YearUnsaved(FEditor, *FStore)) {
        removeRecovery(path);
        return true;
    }
    const QByteArray image = BuildImage();
    // It holds the year's texts, so it is no more open than the year file.
    const TFileAccess access = AccessOfDiaryFile(FStore->FilePath());
    const TFileWrite written = writeRecovery(path, image, access);
    const TFileWrite standIn = written ? written : writeRecovery(fallbackOf(path), image, access);
    // Only the newer of the two may be offered back later.
    if (written)
        QFile::remove(fallbackOf(path));
    else if (standIn)
        QFile::remove(path);
    if (standIn) {
        FReportedFailure = false;
        return true;
    }
    // A safety net must not nag every few seconds: say it once until a write works again.
    if (!FReportedFailure) {
        for (const TFileWrite &failed : { written, standIn })
            std::fprintf(stderr, "kivlog: %s: %s\n", QFile::encodeName(failed.Path).constData(),
                failed.Error.toLocal8Bit().constData());
        FReportedFailure = true;
    }
    return false;
}

void TRecovery::Settle()
{
    if (FStore->Active() && FStore->LoadError().isEmpty() && PathFor(*FStore) == FPath
        && !YearUnsaved(FEditor, *FStore))
        removeRecovery(FPath);
}

void TRecovery::YearSaved()
{
    FPath = PathFor(*FStore);
    removeRecovery(FPath);
}

void TRecovery::YearReloaded()
{
    // Another program's version, read in place of what the store held: the question belongs to
    // the first load after a crash only. Whatever the reload left unsaved is what the file holds
    // from now on; with nothing unsaved it goes, and no old text can come back over that version.
    FTimer.stop();
    if (!WriteNow())
        removeRecovery(PathFor(*FStore));
}

void TRecovery::YearLoaded()
{
    // The year left behind was saved, or held nothing unsaved: its file has no more use.
    if (!FPath.isEmpty() && FPath != PathFor(*FStore))
        removeRecovery(FPath);
    FPath.clear();
    if (FStore->LoadError().isEmpty())
        FPath = PathFor(*FStore);
    QString path = PathFor(*FStore);
    if (!QFileInfo(path).isFile() && QFileInfo(fallbackOf(path)).isFile())
        path = fallbackOf(path);
    // One left by an older diary (beside the year file, or under the machine's name) is offered
    // once: taken back, its texts move into this diary's own recovery file.
    const QFileInfo year(FStore->FilePath());
    const QString hostKeyed = hostKeyedFolder(year.absolutePath()) + u'/' + year.fileName()
        + QLatin1String(kRecoveryExt);
    bool old = false;
    const QString folderKeyed = recoveryFolder(year.absolutePath()) + u'/' + year.fileName()
        + QLatin1String(kRecoveryExt);
    for (const QString &earlier : { folderKeyed, fallbackOf(folderKeyed), hostKeyed,
             fallbackOf(hostKeyed), besideYearFile(*FStore) }) {
        if (!QFileInfo(path).isFile() && QFileInfo(earlier).isFile()) {
            path = earlier;
            old = true;
        }
    }
    if (!QFileInfo(path).isFile())
        return;
    // The recovery file is in the diary's own format.
    TYearContents recovered;
    try {
        recovered = ReadYearFileAt(path, FStore->Year()).Contents;
    } catch (const Exception &e) {
        // A damaged recovery file is set aside as it is, like a declined one.
        if (Ask(path) == TChoice::TakeBack)
            ShowMessageBox(e.Message());
        KeepAside(path);
        return;
    }
    // Another folder's text is never offered here.
    if (!belongsTo(recovered, *FStore))
        return;
    if (Ask(path) == TChoice::TakeBack) {
        TakeBack(path, recovered);
        if (old && QFileInfo::exists(path) && WriteNow())
            QFile::remove(path);
    } else {
        KeepAside(path);
    }
}

TRecovery::TChoice TRecovery::Ask(const QString &path) const
{
    // Unattended, nothing of the recovered texts is touched.
    return ::Ask({ TQuestionKind::TakeBack, {}, Text(wtext::kRecoveryFound).arg(path),
               { { TAnswer::Yes, Text(wtext::kRecoveryYes) },
                   { TAnswer::No, Text(wtext::kRecoveryNo) } },
               TAnswer::Yes, TAnswer::No, path })
            == TAnswer::Yes
        ? TChoice::TakeBack
        : TChoice::KeepAside;
}

void TRecovery::TakeBack(const QString &path, const TYearContents &recovered)
{
    // Through the door like any other version: a day the year file changed meanwhile keeps
    // that change beside the recovered text, and days the file holds are left as they are.
    TOtherVersion known;
    const TYearContents days = RecoveredDays(recovered, known);
    // An earlier diary's file does not say what its days were edited from: its texts are laid
    // over what the year holds, as that diary did.
    if (settingValue(recovered.Settings, kFolderSetting).isEmpty()) {
        for (const TDayText &day : days.Days)
            known.PartBase[day.FDate] = FStore->GetDayText(day.FDate);
    }
    const TYearMerge merge = FStore->TakeInVersion(days, known);
    if (merge.HoldsBothTexts()) {
        ShowMessageBox(Text(wtext::kRecoveryBothTexts)
                           .arg(Text(msg::kBothTextsSeparator), DescribeBothTexts(merge)));
    }
    // The file stays until the next successful save of the year, so a second crash before
    // that loses nothing either.
    Q_UNUSED(path);
}

QString TRecovery::KeepAside(const QString &path)
{
    const QString stamp = DiaryNow().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const std::optional<QString> aside = MoveUnderFreeName(path, path + QLatin1Char('-') + stamp);
    if (!aside) {
        ShowMessageBox(Text(wtext::kRecoveryCannotRename).arg(path));
        return path;
    }
    ShowMessageBox(Text(wtext::kRecoveryKeptAs).arg(*aside));
    return *aside;
}
