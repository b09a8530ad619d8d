#include "Recovery.h"

#include "AppServices.h"
#include "DayNumber.h"
#include "FileModes.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "Services.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSysInfo>
#include <QTextDocument>
#include <cmath>
#include <cstdio>
#include <map>

std::function<TRecovery::TChoice(const QString &path)> TRecovery::AskHook;

namespace {

const char kRecoveryExt[] = ".recovery";

// The user's own state folder, not the data folder: a sync tool carries that folder to other
// machines, and with it one diary's unsaved text over another's. Keyed by the machine too, for
// a home folder that several machines share.
QString recoveryFolder(const QString &dataFolder)
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QLatin1String("/.local/state");
    QString folder = QFileInfo(dataFolder).canonicalFilePath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(QDir(dataFolder).absolutePath());
    const QByteArray key = QCryptographicHash::hash(
        QSysInfo::machineHostName().toUtf8() + '\n' + QFile::encodeName(folder),
        QCryptographicHash::Sha1);
    return state + QLatin1String("/kivlog/recovery/") + QString::fromLatin1(key.toHex().left(16));
}

// Where diaries kept it before: beside the year file.
QString besideYearFile(const TKivDiary &store)
{
    return store.FilePath() + QLatin1String(kRecoveryExt);
}

// Day texts are compared as the year file would keep them: without trailing blanks and breaks.
QByteArray trimmedTail(QByteArray text)
{
    qsizetype n = text.size();
    while (n > 0 && static_cast<unsigned char>(text[n - 1]) <= 32)
        --n;
    text.truncate(n);
    return text;
}

QString foundMessage(const QString &path)
{
    return QStringLiteral("前回保存されなかった日記の内容が見つかりました。\r\n> %1\r\n"
                          "この内容を読み込みますか？\r\n"
                          "「はい」: 読み込んで、未保存の編集として扱います。\r\n"
                          "「いいえ」: 読み込まずに、ファイルを別の名前でそのまま残します。")
        .arg(path);
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
    return recoveryFolder(year.absolutePath()) + u'/' + year.fileName()
        + QLatin1String(kRecoveryExt);
}

QByteArray TRecovery::BuildImage(bool withEditor) const
{
    const int year = FStore->Year();
    std::map<qint64, QByteArray> days;
    const auto &entries = FStore->Days();
    for (size_t i = 1; i < entries.size(); ++i)
        days[static_cast<qint64>(std::floor(entries[i]->FDate))] = entries[i]->FText;
    if (withEditor && FEditor && FEditor->Source() == FStore && FEditor->Modified()
        && DayNumberToDate(FEditor->Date()).year() == year)
        days[static_cast<qint64>(std::floor(FEditor->Date()))] = FEditor->StoreText();

    // The year file's own format, without weekday names: any copy of the diary reads it.
    QByteArray image = "!JNL 1.00 " + QByteArray::number(year) + "\r\n\r\n";
    for (const auto &[date, text] : days) {
        const QByteArray trimmed = trimmedTail(text);
        if (trimmed.isEmpty() && text.isEmpty())
            continue; // an emptied day: nothing to recover
        image += "!------------\r\n!"
            + FormatDayNumber(QStringLiteral("[yyyy/mm/dd]"), static_cast<double>(date)).toLatin1()
            + "\r\n!------------\r\n" + TKivDiary::EscapeText(trimmed) + "\r\n";
    }
    return image;
}

bool TRecovery::WriteNow()
{
    FTimer.stop();
    if (!FStore->Active() || !FStore->LoadError().isEmpty())
        return true;
    const QString path = PathFor(*FStore);
    const QByteArray image = BuildImage();
    if (path == FBaselinePath && image == FBaseline) {
        QFile::remove(path);
        return true;
    }
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    // Unbuffered, so a short write on a full disk fails here instead of committing a cut file.
    // It holds the year's texts, so it is no more open than the year file.
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)
        && TakeModeOf(FStore->FilePath(), file.handle()) && file.write(image) == image.size()
        && file.commit()) {
        FReportedFailure = false;
        return true;
    }
    // A safety net must not nag every few seconds: say it once until a write works again.
    if (!FReportedFailure) {
        std::fprintf(stderr, "kivlog: %s: %s\n", QFile::encodeName(path).constData(),
            file.errorString().toLocal8Bit().constData());
        FReportedFailure = true;
    }
    return false;
}

bool TRecovery::Unsaved() const
{
    return PathFor(*FStore) != FBaselinePath || BuildImage() != FBaseline;
}

void TRecovery::Settle()
{
    if (FStore->Active() && FStore->LoadError().isEmpty() && !Unsaved())
        QFile::remove(FBaselinePath);
}

void TRecovery::YearSaved()
{
    QFile::remove(PathFor(*FStore));
    FBaselinePath = PathFor(*FStore);
    FBaseline = BuildImage(false);
}

void TRecovery::YearLoaded()
{
    // The year left behind was saved, or held nothing unsaved: its file has no more use.
    if (!FBaselinePath.isEmpty() && FBaselinePath != PathFor(*FStore))
        QFile::remove(FBaselinePath);
    FBaselinePath.clear();
    FBaseline.clear();
    if (FStore->LoadError().isEmpty()) {
        FBaselinePath = PathFor(*FStore);
        FBaseline = BuildImage(false);
    }
    QString path = PathFor(*FStore);
    // One left beside the year file by an older diary is offered once: taken back, its texts
    // move into this diary's own recovery file.
    const bool old = !QFileInfo(path).isFile() && QFileInfo(besideYearFile(*FStore)).isFile();
    if (old)
        path = besideYearFile(*FStore);
    if (!QFileInfo(path).isFile())
        return;
    if (Ask(path) == TChoice::TakeBack) {
        TakeBack(path);
        if (old && QFileInfo::exists(path) && WriteNow())
            QFile::remove(path);
    } else {
        KeepAside(path);
    }
}

TRecovery::TChoice TRecovery::Ask(const QString &path) const
{
    if (AskHook)
        return AskHook(path);
    if (Unattended())
        return TChoice::KeepAside; // nobody to ask: touch nothing of the recovered texts
    QMessageBox box(QMessageBox::Question, ApplicationTitle(), foundMessage(path),
        QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? TChoice::TakeBack : TChoice::KeepAside;
}

void TRecovery::TakeBack(const QString &path)
{
    // The recovery file is in the diary's own format.
    std::vector<std::pair<double, QByteArray>> recovered;
    try {
        for (const TDayText &day : ReadYearFileAt(path, FStore->Year()).Contents.Days)
            recovered.emplace_back(day.FDate, day.FText);
    } catch (const Exception &e) {
        // A damaged recovery file is set aside as it is, like a declined one.
        ShowMessageBox(e.Message());
        KeepAside(path);
        return;
    }
    for (const auto &[date, text] : recovered) {
        if (trimmedTail(FStore->GetDayText(date)) != trimmedTail(text))
            FStore->SetDayText(date, text);
    }
    // The file stays until the next successful save of the year, so a second crash before
    // that loses nothing either.
}

QString TRecovery::KeepAside(const QString &path)
{
    const QString stamp = DiaryNow().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path + QLatin1Char('-') + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + QLatin1Char('-') + stamp + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(path, aside)) {
        ShowMessageBox(QStringLiteral("復元ファイルの名前を変更できません。\r\n> %1").arg(path));
        return path;
    }
    ShowMessageBox(QStringLiteral("復元ファイルは次の名前で残してあります。\r\n> %1").arg(aside));
    return aside;
}
