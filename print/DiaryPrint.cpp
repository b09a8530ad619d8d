#include "DiaryPrint.h"

#include "DayNumber.h"
#include "FileWriter.h"

#include <QPdfWriter>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace diaryprint {

std::unique_ptr<QTextDocument> BuildDocument(
    const std::vector<diarysearch::TDayEntry> &days, const QFont &font)
{
    auto document = std::make_unique<QTextDocument>();
    document->setDefaultFont(font);
    document->setDocumentMargin(0);
    QTextCursor cursor(document.get());
    QTextCharFormat heading;
    heading.setFont(font);
    heading.setFontWeight(QFont::Bold);
    heading.setFontPointSize(font.pointSizeF() > 0 ? font.pointSizeF() * 1.2 : 12);
    QTextCharFormat body;
    body.setFont(font);
    QTextBlockFormat headingBlock;
    headingBlock.setTopMargin(font.pointSizeF() > 0 ? font.pointSizeF() * 1.5 : 14);
    headingBlock.setBottomMargin(4);
    const QTextBlockFormat bodyBlock;
    bool first = true;
    for (const diarysearch::TDayEntry &day : days) {
        if (first) {
            cursor.setBlockFormat(headingBlock);
            first = false;
        } else {
            cursor.insertBlock(headingBlock, heading);
        }
        cursor.insertText(FormatDayNumber(QStringLiteral("yyyy/mm/dd(aaa)"), day.Date), heading);
        QString text = day.Text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
        // The line break that ends the stored text opens no empty line of its own.
        if (text.endsWith(u'\n'))
            text.chop(1);
        for (const QString &line : text.split(u'\n')) {
            cursor.insertBlock(bodyBlock, body);
            cursor.insertText(line, body);
        }
    }
    return document;
}

QPageLayout DefaultPageLayout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 20, 20, 20),
        QPageLayout::Millimeter);
}

QByteArray RenderPdf(const QTextDocument &document, const QPageLayout &page)
{
    return WrittenToMemory([&](QIODevice &device) {
        QPdfWriter writer(&device);
        writer.setPageLayout(page);
        writer.setCreator(QStringLiteral("kivlog"));
        writer.setTitle(QStringLiteral("日記"));
        document.print(&writer);
    });
}

QFont FontOfSettings(const QString &family, int points)
{
    // The editor's own size when the year file names none.
    constexpr int kDefaultPoints = 9;
    QFont font;
    if (!family.isEmpty())
        font.setFamily(family);
    font.setPointSize(points > 0 ? points : kDefaultPoints);
    return font;
}

} // namespace diaryprint
