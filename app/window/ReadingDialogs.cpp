#include "ReadingDialogs.h"

#include "CommandLine.h"
#include "DayNumber.h"
#include "Messages.h"
#include "Questions.h"
#include "WindowTexts.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

struct TFormatEntry {
    const char *Caption; // nullptr: the window's own word for plain text
    std::optional<diaryexport::TFormat> Format;
    const char *Suffix;
};
const TFormatEntry kFormats[] = {
    { nullptr, diaryexport::TFormat::Text, ".txt" },
    { "Markdown", diaryexport::TFormat::Markdown, ".md" },
    { wtext::kFormatMarkdownAsWritten, diaryexport::TFormat::MarkdownAsWritten, ".md" },
    { "HTML", diaryexport::TFormat::Html, ".html" },
    { "JSON", diaryexport::TFormat::Json, ".json" },
    { "PDF", std::nullopt, ".pdf" },
};

} // namespace

TRangeChooser::TRangeChooser(QWidget *parent, double shownDay)
    : QWidget(parent)
    , FShownDay(shownDay)
{
    setObjectName(u"RangeChooser"_s);
    RbDay = new QRadioButton(Text(wtext::kRangeDay), this);
    RbDay->setObjectName(u"RbDay"_s);
    RbMonth = new QRadioButton(Text(wtext::kRangeMonth), this);
    RbMonth->setObjectName(u"RbMonth"_s);
    RbYear = new QRadioButton(Text(wtext::kRangeYear), this);
    RbYear->setObjectName(u"RbYear"_s);
    RbFromTo = new QRadioButton(Text(wtext::kRangeFromTo), this);
    RbFromTo->setObjectName(u"RbFromTo"_s);
    const QDate shown = DayNumberToDate(shownDay);
    const auto dateEdit = [this](const QString &name, QDate date) {
        auto *edit = new QDateEdit(date, this);
        edit->setObjectName(name);
        edit->setDisplayFormat(u"yyyy/MM/dd"_s);
        edit->setMinimumDate(QDate(1900, 1, 1));
        edit->setCalendarPopup(true);
        return edit;
    };
    EdtFrom = dateEdit(u"EdtFrom"_s, QDate(shown.year(), shown.month(), 1));
    EdtTo = dateEdit(u"EdtTo"_s, shown);
    EdtFrom->setAccessibleName(Text(wtext::kA11yRangeFromName));
    EdtTo->setAccessibleName(Text(wtext::kA11yRangeToName));
    RbDay->setChecked(true);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(RbDay, 0, 0);
    layout->addWidget(RbMonth, 0, 1);
    layout->addWidget(RbYear, 0, 2);
    auto *fromTo = new QHBoxLayout;
    fromTo->addWidget(RbFromTo);
    fromTo->addWidget(EdtFrom);
    fromTo->addWidget(new QLabel(Text(wtext::kRangeTo), this));
    fromTo->addWidget(EdtTo);
    fromTo->addStretch(1);
    layout->addLayout(fromTo, 1, 0, 1, 3);
    // Picking a date picks the stretch of dates.
    for (QDateEdit *edit : { EdtFrom, EdtTo })
        connect(edit, &QDateEdit::dateChanged, RbFromTo, [this] { RbFromTo->setChecked(true); });
}

diaryexport::TRange TRangeChooser::Range() const
{
    const QDate shown = DayNumberToDate(FShownDay);
    QDate from = shown;
    QDate to = shown;
    if (RbMonth->isChecked()) {
        from = QDate(shown.year(), shown.month(), 1);
        to = from.addMonths(1).addDays(-1);
    } else if (RbYear->isChecked()) {
        from = QDate(shown.year(), 1, 1);
        to = QDate(shown.year(), 12, 31);
    } else if (RbFromTo->isChecked()) {
        from = std::min(EdtFrom->date(), EdtTo->date());
        to = std::max(EdtFrom->date(), EdtTo->date());
    }
    return { DateToDayNumber(from), DateToDayNumber(to) };
}

TPrintRangeDialog::TPrintRangeDialog(QWidget *parent, double shownDay)
    : QDialog(parent)
{
    setObjectName(u"PrintRangeDialog"_s);
    setWindowTitle(Text(wtext::kPrintTitle));
    Range = new TRangeChooser(this, shownDay);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton *print
        = buttons->addButton(Text(wtext::kPrintButton), QDialogButtonBox::AcceptRole);
    print->setObjectName(u"BtnPrint"_s);
    print->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QFormLayout(this);
    layout->addRow(Text(wtext::kRangeLabel), Range);
    layout->addRow(buttons);
}

TExportDialog::TExportDialog(
    QWidget *parent, double shownDay, std::function<bool(const TChoice &)> write)
    : QDialog(parent)
    , FWrite(std::move(write))
{
    setObjectName(u"ExportDialog"_s);
    setWindowTitle(Text(wtext::kExportTitle));
    CmbFormat = new QComboBox(this);
    CmbFormat->setObjectName(u"CmbFormat"_s);
    for (const TFormatEntry &entry : kFormats)
        CmbFormat->addItem(entry.Caption ? Text(entry.Caption) : Text(wtext::kFormatText));
    Range = new TRangeChooser(this, shownDay);
    EdtFile = new QLineEdit(this);
    EdtFile->setObjectName(u"EdtFile"_s);
    EdtFile->setMinimumWidth(280);
    BtnBrowse = new QPushButton(Text(wtext::kFileBrowse), this);
    BtnBrowse->setObjectName(u"BtnBrowse"_s);
    BtnBrowse->setAutoDefault(false);
    auto *file = new QHBoxLayout;
    file->addWidget(EdtFile, 1);
    file->addWidget(BtnBrowse);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    BtnExport = buttons->addButton(Text(wtext::kExportButton), QDialogButtonBox::AcceptRole);
    BtnExport->setObjectName(u"BtnExport"_s);
    BtnExport->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &TExportDialog::Export);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(BtnBrowse, &QPushButton::clicked, this, &TExportDialog::Browse);
    // The file's suffix follows the format while it is one of the formats' own.
    connect(CmbFormat, &QComboBox::currentIndexChanged, this, [this](int index) {
        const QString path = EdtFile->text();
        for (const TFormatEntry &entry : kFormats) {
            if (path.endsWith(QLatin1StringView(entry.Suffix))) {
                EdtFile->setText(path.chopped(qsizetype(qstrlen(entry.Suffix)))
                    + QLatin1StringView(kFormats[index].Suffix));
                return;
            }
        }
    });

    auto *layout = new QFormLayout(this);
    layout->addRow(Text(wtext::kFormatLabel), CmbFormat);
    layout->addRow(Text(wtext::kRangeLabel), Range);
    auto *fileLabel = new QLabel(Text(wtext::kFileLabel), this);
    fileLabel->setBuddy(EdtFile);
    layout->addRow(fileLabel, file);
    layout->addRow(buttons);
}

void TExportDialog::Browse()
{
    const TFormatEntry &entry = kFormats[CmbFormat->currentIndex()];
    QString start = EdtFile->text();
    if (start.isEmpty())
        start = QDir::home().filePath(Text(msg::kDiaryTitle) + QLatin1StringView(entry.Suffix));
    // Whether a file there may be replaced is asked once the diary's own files were refused.
    TQuestion question { TQuestionKind::ExportFile, Text(wtext::kExportTitle) };
    question.Subject = start;
    const QString path = Choose(question, [&] {
        return QFileDialog::getSaveFileName(this, Text(wtext::kExportTitle), start, QString(),
            nullptr, QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    }).toString();
    if (!path.isEmpty())
        EdtFile->setText(path);
}

void TExportDialog::Export()
{
    const TFormatEntry &entry = kFormats[CmbFormat->currentIndex()];
    const QString typed = EdtFile->text().trimmed();
    if (FWrite({ entry.Format, Range->Range(), ExpandHome(typed) }))
        accept();
}

bool TExportDialog::AskReplace(QWidget *parent, const QString &path)
{
    return Ask({ TQuestionKind::ReplaceFile, Text(wtext::kExportTitle),
                   Text(wtext::kReplaceExisting).arg(path),
                   { { TAnswer::Yes, Text(wtext::kRecoveryYes) },
                       { TAnswer::No, Text(wtext::kRecoveryNo) } },
                   TAnswer::No, TAnswer::No, path },
               parent)
        == TAnswer::Yes;
}

TPrintDialog::TPrintDialog(
    QPrinter *printer, QWidget *parent, std::function<bool(const QString &)> refuse)
    : QPrintDialog(printer, parent)
    , FRefuse(std::move(refuse))
{
}

void TPrintDialog::accept()
{
    // The dialog's file field is open only while a file is printed to.
    auto *file = findChild<QLineEdit *>(u"filename"_s);
    if (file && file->isEnabled() && !file->text().trimmed().isEmpty()) {
        file->setText(ExpandHome(file->text().trimmed()));
        if (FRefuse(file->text())) {
            file->setFocus();
            return;
        }
    }
    QPrintDialog::accept();
}
