// The window settings kept in the year file, the two popup actions and the last commit.

#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "WindowRules.h"

#include <QAction>
#include <QFontDialog>

std::function<bool(QFont &)> TForm1::FontChooser;

// The stored values are compared as text, so "0800" differs from a width of 800 and is
// written again. DAYNAME is always written, but alone it is no reason to save.
void TForm1::BtnCloseClick()
{
    TKivDiary &diary = *KivDiaryEdit1->Source();

    const QSize outer = frameGeometry().size();
    const QByteArray width = QByteArray::number(outer.width());
    const QByteArray height = QByteArray::number(outer.height());
    if (diary.GetSetting("WIDTH") != width || diary.GetSetting("HEIGHT") != height) {
        diary.SetSetting("WIDTH", width);
        diary.SetSetting("HEIGHT", height);
        diary.MarkModified();
    }

    const QFont font = KivDiaryEdit1->font();
    const QByteArray size
        = QByteArray::number(FontSizeInPoints(font, KivDiaryEdit1->logicalDpiY()));
    const QByteArray face = FaceNameSetting(font.family());
    if (diary.GetSetting("FONTSIZE") != size || diary.GetSetting("FONTNAME") != face) {
        diary.SetSetting("FONTNAME", face);
        diary.SetSetting("FONTSIZE", size);
        diary.MarkModified();
    }

    diary.SetSetting("DAYNAME", DayNameSettingValue(diary.DayName()));
    close();
}

// The chosen font lasts for this run; it reaches the year file only through the close button.
void TForm1::ActChangeFontExecute()
{
    QFont font = KivDiaryEdit1->font();
    bool chosen = false;
    if (FontChooser) {
        chosen = FontChooser(font);
    } else {
        FontDialog1->setCurrentFont(font);
        chosen = FontDialog1->exec() == QDialog::Accepted;
        font = FontDialog1->selectedFont();
    }
    if (chosen)
        KivDiaryEdit1->setFont(font);
}

void TForm1::ActToggleDayNameExecute()
{
    TKivDiary &diary = *KivDiaryEdit1->Source();
    diary.SetDayName(!diary.DayName());
    N2->setChecked(diary.DayName());
    diary.MarkModified();
    diary.SetSetting("DAYNAME", DayNameSettingValue(diary.DayName()));
}

void TForm1::FormDestroy() { KivDiaryEdit1->Commit(); }
