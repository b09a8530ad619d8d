// The window settings kept in the year file, the two popup actions and the last commit.

#include "AppServices.h"
#include "ColorScheme.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "Questions.h"
#include "Recovery.h"
#include "SettingValues.h"
#include "WindowRules.h"
#include "WindowTexts.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QMenu>

// The stored values are compared as text, so "0800" differs from a width of 800 and is
// written again. DAYNAME is always written, but alone it is no reason to save. A value the year
// got from another machine while this window ran stays, unless this run's user changed the
// window's own since the window took it.
void TForm1::BtnCloseClick()
{
    TKivDiary &diary = *KivDiaryEdit1->Source();
    const auto keepsOther = [&](std::initializer_list<std::pair<const char *, QByteArray>> now,
                                std::initializer_list<QByteArray> taken) {
        auto t = taken.begin();
        bool elsewhere = false;
        bool changedHere = false;
        for (const auto &[name, value] : now) {
            elsewhere = elsewhere || diary.GetSetting(name) != *t;
            changedHere = changedHere || value != *t;
            ++t;
        }
        return elsewhere && !changedHere;
    };

    const QSize outer = frameGeometry().size();
    const QByteArray width = QByteArray::number(outer.width());
    const QByteArray height = QByteArray::number(outer.height());
    // A year without WIDTH or HEIGHT gave the window the layout's size: while the window still
    // has it, the window took the size it has, and nobody chose a size to write.
    const QByteArray takenWidth
        = FTaken.Width.isEmpty() && size().width() == FLayoutSize.width() ? width : FTaken.Width;
    const QByteArray takenHeight
        = FTaken.Height.isEmpty() && size().height() == FLayoutSize.height() ? height
                                                                             : FTaken.Height;
    if ((diary.GetSetting(setting::kWidth) != width || diary.GetSetting(setting::kHeight) != height)
        && !keepsOther({ { setting::kWidth, width }, { setting::kHeight, height } },
            { takenWidth, takenHeight })) {
        diary.SetSetting(setting::kWidth, width);
        diary.SetSetting(setting::kHeight, height);
        diary.MarkModified();
    }

    const QFont font = KivDiaryEdit1->font();
    const QByteArray size
        = QByteArray::number(FontSizeInPoints(font, KivDiaryEdit1->logicalDpiY()));
    const QByteArray face = FaceNameSetting(font.family());
    // Likewise a year without FONTNAME or FONTSIZE left the editor the font it had: while the
    // editor still shows that face and size, nobody chose a font to write.
    const QByteArray takenFace
        = FTaken.FontName.isEmpty() && face == FaceNameSetting(FTakenFont.family())
        ? face
        : FTaken.FontName;
    const QByteArray takenSize = FTaken.FontSize.isEmpty()
            && size
                == QByteArray::number(FontSizeInPoints(FTakenFont, KivDiaryEdit1->logicalDpiY()))
        ? size
        : FTaken.FontSize;
    if ((diary.GetSetting(setting::kFontSize) != size
            || diary.GetSetting(setting::kFontName) != face)
        && !keepsOther({ { setting::kFontName, face }, { setting::kFontSize, size } },
            { takenFace, takenSize })) {
        diary.SetSetting(setting::kFontName, face);
        diary.SetSetting(setting::kFontSize, size);
        diary.MarkModified();
    }

    const bool toggled = diary.DayName() != DayNameSettingOn(FTaken.DayName);
    if (!toggled && diary.GetSetting(setting::kDayName) != FTaken.DayName)
        diary.SetDayName(DayNameSettingOn(diary.GetSetting(setting::kDayName)));
    else
        diary.SetSetting(setting::kDayName, DayNameSettingValue(diary.DayName()));
    close();
}

// The chosen font lasts for this run; it reaches the year file only through the close button.
void TForm1::ActChangeFontExecute()
{
    const QFont current = KivDiaryEdit1->font();
    // The dialog knows installed families only: for a design face that a stand-in renders it
    // would open on its own default, and a mere OK would swap the editor's face for that.
    const QString shownFamily = QFontInfo(current).family();
    QFont font = current;
    if (!QFontDatabase::families().contains(current.family()))
        font.setFamily(shownFamily);
    TQuestion question { TQuestionKind::Font, {} };
    question.Subject = font;
    const QVariant chosen = Choose(question, [&]() -> QVariant {
        FontDialog1->setCurrentFont(font);
        if (FontDialog1->exec() != QDialog::Accepted)
            return {};
        return FontDialog1->selectedFont();
    });
    if (!chosen.isValid())
        return;
    font = chosen.value<QFont>();
    // Confirming the face the editor already shows keeps the name the settings hold.
    if (font.family() == shownFamily)
        font.setFamily(current.family());
    KivDiaryEdit1->setFont(font);
}

void TForm1::ActToggleDayNameExecute()
{
    TKivDiary &diary = *KivDiaryEdit1->Source();
    diary.SetDayName(!diary.DayName());
    N2->setChecked(diary.DayName());
    diary.MarkModified();
    diary.SetSetting(setting::kDayName, DayNameSettingValue(diary.DayName()));
}

void TForm1::FormDestroy()
{
    KivDiaryEdit1->Commit();
    // The recovery file holds all that is unsaved should the final save fail, and goes now
    // when nothing is unsaved, since then no save will remove it.
    FRecovery->WriteNow();
}

void TForm1::BuildColourMenu()
{
    auto *follower = qApp->findChild<TColorSchemeFollower *>();
    if (!follower)
        return;
    QMenu *menu = PopupMenu1->addMenu(Text(wtext::kColoursCaption));
    menu->setObjectName(QStringLiteral("NColours"));
    auto *group = new QActionGroup(menu);
    const std::pair<TColorChoice, const char *> items[] = {
        { TColorChoice::Auto, wtext::kColoursAuto },
        { TColorChoice::Light, wtext::kColoursLight },
        { TColorChoice::Dark, wtext::kColoursDark },
    };
    const char *const names[] = { "NColourAuto", "NColourLight", "NColourDark" };
    for (const auto &[choice, caption] : items) {
        QAction *item = menu->addAction(Text(caption));
        item->setObjectName(QString::fromLatin1(names[int(choice)]));
        item->setCheckable(true);
        item->setChecked(follower->Choice() == choice);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [follower, choice] {
            RunGuarded([&] {
                const QString failed = follower->Choose(choice);
                if (!failed.isEmpty())
                    ShowMessageBox(Text(wtext::kColoursNotKept).arg(ColorChoicePath(), failed));
            });
        });
    }
}
