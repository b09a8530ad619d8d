#include "Recovery.h"

#include "AppServices.h"
#include "DayNumber.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "Services.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <cmath>
#include <cstdio>
#include <map>

std::function<TRecovery::TChoice(const QString &path)> TRecovery::AskHook;

namespace {

const char kRecoveryExt[] = ".recovery";

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
    return store.FilePath() + QLatin1String(kRecoveryExt);
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
    // It holds the year's texts, so it is no more open than the year file.
    const TFileWrite written = ReplaceFile(path, image, AccessOfFile(FStore->FilePath()));
    if (written) {
        FReportedFailure = false;
        return true;
    }
    // A safety net must not nag every few seconds: say it once until a write works again.
    if (!FReportedFailure) {
        std::fprintf(stderr, "kivlog: %s: %s\n", QFile::encodeName(path).constData(),
            written.Error.toLocal8Bit().constData());
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
    const QString path = PathFor(*FStore);
    if (!QFileInfo(path).isFile())
        return;
    if (Ask(path) == TChoice::TakeBack)
        TakeBack(path);
    else
        KeepAside(path);
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
    // Read the recovery file with a store of its own, quietly: it is the diary's own format.
    TDiaryServices quiet = DiaryServices();
    quiet.ShowMessage = [](const QString &) {};
    std::vector<std::pair<double, QByteArray>> recovered;
    try {
        TScopedDiaryServices scoped(quiet);
        TKivDiary reader;
        reader.SetAutoSave(false);
        const QFileInfo info(path);
        reader.SetBaseDir(info.absolutePath());
        reader.SetYear(FStore->Year());
        reader.SetFileName(info.fileName());
        reader.Open();
        for (size_t i = 1; i < reader.Days().size(); ++i)
            recovered.emplace_back(reader.Days()[i]->FDate, reader.Days()[i]->FText);
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
