#pragma once

#include "DiaryExport.h"

#include <QDialog>
#include <QPrintDialog>
#include <functional>
#include <optional>

class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QRadioButton;

// Which days to print or export: the diary's day, its month, its year, or from one date to
// another.
class TRangeChooser : public QWidget {
    Q_OBJECT

public:
    TRangeChooser(QWidget *parent, double shownDay);

    QRadioButton *RbDay = nullptr;
    QRadioButton *RbMonth = nullptr;
    QRadioButton *RbYear = nullptr;
    QRadioButton *RbFromTo = nullptr;
    QDateEdit *EdtFrom = nullptr;
    QDateEdit *EdtTo = nullptr;

    // The days chosen, both ends included.
    diaryexport::TRange Range() const;

private:
    double FShownDay;
};

// 印刷: the days to print; the desktop's print dialog follows.
class TPrintRangeDialog : public QDialog {
    Q_OBJECT

public:
    TPrintRangeDialog(QWidget *parent, double shownDay);
    TRangeChooser *Range = nullptr;
};

// エクスポート: format, days and file. Write is asked to write them and says whether it did;
// the dialog closes when it did.
class TExportDialog : public QDialog {
    Q_OBJECT

public:
    // The formats offered, in the order of the list: those of diaryexport, then PDF.
    struct TChoice {
        std::optional<diaryexport::TFormat> Format; // none for PDF
        diaryexport::TRange Range;
        QString Path;
    };
    // Asks whether an existing file may be replaced.
    static bool AskReplace(QWidget *parent, const QString &path);
    TExportDialog(QWidget *parent, double shownDay, std::function<bool(const TChoice &)> write);

    QComboBox *CmbFormat = nullptr;
    TRangeChooser *Range = nullptr;
    QLineEdit *EdtFile = nullptr;
    QPushButton *BtnBrowse = nullptr;
    QPushButton *BtnExport = nullptr;

private:
    void Browse();
    void Export();

    std::function<bool(const TChoice &)> FWrite;
};

// The desktop's print dialog, which takes "~" for the home folder as the export does, and
// lets refuse turn down a file the diary may not write (saying why, and returning true) before
// it asks anything itself; it then stays open for another file.
class TPrintDialog : public QPrintDialog {
    Q_OBJECT

public:
    TPrintDialog(QPrinter *printer, QWidget *parent, std::function<bool(const QString &)> refuse);
    void accept() override;

private:
    std::function<bool(const QString &)> FRefuse;
};
