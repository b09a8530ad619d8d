#pragma once

#include "DiarySearch.h"

#include <QByteArray>
#include <QFont>
#include <QPageLayout>
#include <memory>
#include <vector>

class QPagedPaintDevice;
class QTextDocument;

// Days of the diary on paper: the window's print and PDF export and kivlog-cli's PDF export
// lay them out here alike. The text stays text, so a PDF of them can be searched and copied.
namespace diaryprint {

// The days one after another, each under its date heading (yyyy/mm/dd and the weekday), the
// text as stored: its lines, blanks and empty lines kept. A picture line whose picture is in
// the data folder at baseDir (the current folder when empty) shows the picture, fitted to an A4
// page (and turned as its EXIF says); one whose picture is missing stays a line of text.
std::unique_ptr<QTextDocument> BuildDocument(
    const std::vector<diarysearch::TDayEntry> &days, const QFont &font, const QString &baseDir);

// A4 upright with margins of 20 mm, as the print dialog starts.
QPageLayout DefaultPageLayout();

// Sets a page break before each date heading that would end a page without the first line of
// its day, as the document is printed on the device.
void KeepHeadingsWithText(QTextDocument &document, QPagedPaintDevice &device);

// The document as the bytes of a PDF file, laid out on the page; the caller writes them.
QByteArray RenderPdf(const QTextDocument &document, const QPageLayout &page = DefaultPageLayout());

// The font of the diary's editor as a year file's FONTNAME and FONTSIZE settings name it, for
// a caller without an editor; an empty family keeps the default, a size of 0 the editor's 9 pt.
QFont FontOfSettings(const QString &family, int points);

} // namespace diaryprint
