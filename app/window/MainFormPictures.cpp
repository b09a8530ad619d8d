// A day's pictures: 写真を貼る... in the popup menu, and the row of small pictures under the
// editor on days whose text names any.

#include "AppServices.h"
#include "Cp932.h"
#include "DiaryPictures.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "Layout.h"
#include "MainForm.h"
#include "PictureFiles.h"
#include "PictureRow.h"
#include "Pictures.h"
#include "Questions.h"
#include "Services.h"
#include "WindowTexts.h"

#include <QAction>
#include <QFileDialog>
#include <QTextDocument>
#include <QThreadPool>
#include <QTimer>

namespace {

// Long enough after the start not to compete with it for the disk.
constexpr int kPutAwayDelayMs = 60'000;

} // namespace

using namespace Qt::StringLiterals;

void TForm1::BuildPictures()
{
    NPicture = AddPopupEntry(
        ActAddPicture, "ActAddPicture", wtext::kAddPictureCaption, QKeySequence(u"Ctrl+G"_s));
    NPicture->setObjectName(u"NPicture"_s);
    connect(ActAddPicture, &QAction::triggered, this,
        [this] { RunGuarded([&] { ActAddPictureExecute(); }); });
    // Every change of the editor's text, a move to another day among them, may name other
    // pictures.
    connect(KivDiaryEdit1->document(), &QTextDocument::contentsChanged, this,
        [this] { UpdatePictureRow(); });
    QTimer::singleShot(kPutAwayDelayMs, this, [this] { RunGuarded([&] { PutAwayPictures(); }); });
}

void TForm1::PutAwayPictures()
{
    if (!KivDiary1 || !KivDiary1->Active() || !KivDiary1->LoadError().isEmpty())
        return;
    // What the shown year holds now, saved or not, names pictures as much as the files do.
    QSet<QString> named;
    for (const TDayText *day : KivDiary1->Days()) {
        for (const QString &name : PicturesOfText(cp932::Decode(day->FText)))
            named.insert(name);
    }
    for (const QString &name : PicturesOfText(KivDiaryEdit1->toPlainText()))
        named.insert(name);
    QThreadPool::globalInstance()->start(
        [baseDir = KivDiary1->BaseDir(), prefix = KivDiary1->Prefix(), ext = KivDiary1->Ext(),
            named, now = DiaryNow()] {
            const diarypictures::TPictureAudit audit
                = diarypictures::AuditPictures(baseDir, prefix, ext);
            // A year that does not read may name any of them.
            if (audit.Unread.isEmpty())
                PutAwayUnnamedPictures(baseDir, named + audit.NamedSet(), now);
        });
}

void TForm1::ActAddPictureExecute()
{
    const QStringList paths
        = Choose({ TQuestionKind::PictureFiles, Text(wtext::kAddPictureTitle) }, [this] {
              return QFileDialog::getOpenFileNames(
                  this, Text(wtext::kAddPictureTitle), QString(), Text(wtext::kAddPictureFilter));
          }).toStringList();
    FocusEditor();
    if (!paths.isEmpty())
        KivDiaryEdit1->AddPictureFiles(paths);
}

void TForm1::UpdatePictureRow()
{
    if (!FPictureRow || !KivDiaryEdit1 || !KivDiary1)
        return;
    FPictureRow->Show(KivDiary1->BaseDir(), PicturesOfText(KivDiaryEdit1->toPlainText()));
}

void TForm1::PlacePictureRow()
{
    if (!FPictureRow || FPictureRow->isHidden())
        return;
    const QRect area = KivDiaryEdit1->geometry();
    const int height = TPictureRow::RowHeight();
    FPictureRow->setGeometry(area.x(), area.bottom() + 1 - height, area.width(), height);
    KivDiaryEdit1->setGeometry(area.adjusted(0, 0, 0, -(height + 2)));
}
