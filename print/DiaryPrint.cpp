#include "DiaryPrint.h"

#include "DayTexts.h"
#include "FileWriter.h"
#include "Messages.h"
#include "PictureFiles.h"
#include "Pictures.h"
#include "SettingValues.h"

#include <QAbstractTextDocumentLayout>
#include <QImageReader>
#include <QPdfWriter>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextLayout>
#include <QUrl>
#include <cmath>

// Qt's own default resolution, which QTextDocument::print lays its copy out from.
Q_GUI_EXPORT int qt_defaultDpiX();
Q_GUI_EXPORT int qt_defaultDpiY();

namespace diaryprint {

namespace {

    // Marks the blocks of date headings.
    constexpr int kHeadingProperty = QTextFormat::UserProperty + 1;

    // The room a picture may take, in the units the document is laid out in for a page (Qt's
    // default resolution): the text area of an A4 page upright with the print's margins, a
    // little less high so that a heading or a line still fits beside it.
    constexpr QSizeF kPictureRoom(600, 820);
    // The pixels kept of a picture: enough for print, far less than a phone's photo.
    constexpr int kPicturePixels = 1800;

    // Puts the picture into the document at the cursor; false when it cannot be read.
    bool insertPicture(
        QTextCursor &cursor, QTextDocument &document, const QString &baseDir, const QString &name)
    {
        QImageReader reader(PicturePath(baseDir, name));
        reader.setAutoTransform(true);
        QImage image = reader.read();
        if (image.isNull())
            return false;
        if (image.width() > kPicturePixels || image.height() > kPicturePixels)
            image = image.scaled(
                kPicturePixels, kPicturePixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const QUrl url(QStringLiteral("kivlog-picture:") + name);
        document.addResource(QTextDocument::ImageResource, url, image);
        const QSizeF shown = QSizeF(image.size()).scaled(kPictureRoom, Qt::KeepAspectRatio);
        QTextImageFormat format;
        format.setName(url.toString());
        format.setWidth(std::min<qreal>(shown.width(), image.width()));
        format.setHeight(std::min<qreal>(shown.height(), image.height()));
        cursor.insertImage(format);
        return true;
    }

} // namespace

std::unique_ptr<QTextDocument> BuildDocument(
    const std::vector<diarysearch::TDayEntry> &days, const QFont &font, const QString &baseDir)
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
    headingBlock.setProperty(kHeadingProperty, true);
    const QTextBlockFormat bodyBlock;
    bool first = true;
    for (const diarysearch::TDayEntry &day : days) {
        if (first) {
            cursor.setBlockFormat(headingBlock);
            first = false;
        } else {
            cursor.insertBlock(headingBlock, heading);
        }
        cursor.insertText(DayHeading(day.Date), heading);
        QString text = day.Text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
        // The line break that ends the stored text opens no empty line of its own.
        if (text.endsWith(u'\n'))
            text.chop(1);
        for (const QString &line : text.split(u'\n')) {
            cursor.insertBlock(bodyBlock, body);
            if (const std::optional<QString> name = PictureOfLine(line);
                name && insertPicture(cursor, *document, baseDir, *name))
                continue;
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

void KeepHeadingsWithText(QTextDocument &document, QPagedPaintDevice &device)
{
    // Laid out as QTextDocument::print lays out its copy: on the device, in pages of the
    // device's size, with 2 cm around the text reckoned at Qt's default resolution.
    const qreal pageHeight = device.height();
    for (int from = 0;;) {
        const std::unique_ptr<QTextDocument> copy(document.clone());
        copy->documentLayout()->setPaintDevice(&device);
        QTextFrameFormat frame = copy->rootFrame()->frameFormat();
        const int across = static_cast<int>((2 / 2.54) * qt_defaultDpiX());
        const int down = static_cast<int>((2 / 2.54) * qt_defaultDpiY());
        frame.setLeftMargin(across);
        frame.setRightMargin(across);
        frame.setTopMargin(down);
        frame.setBottomMargin(down);
        copy->rootFrame()->setFrameFormat(frame);
        copy->setPageSize(QSizeF(device.width(), pageHeight));
        copy->documentLayout()->documentSize(); // lays the copy out
        const auto page = [pageHeight](const QTextBlock &block, bool lastLine) {
            const QTextLayout *lines = block.layout();
            const qreal y = lines->lineCount() == 0
                ? 0
                : lines->lineAt(lastLine ? lines->lineCount() - 1 : 0).y();
            return std::floor((lines->position().y() + y) / pageHeight);
        };
        int split = -1;
        for (QTextBlock block = copy->findBlockByNumber(from); block.isValid();
             block = block.next()) {
            if (block.blockFormat().boolProperty(kHeadingProperty) && block.next().isValid()
                && page(block, true) != page(block.next(), false)) {
                split = block.blockNumber();
                break;
            }
        }
        if (split < 0)
            return;
        // The heading opens the next page, with its text; the pages after it are laid out anew.
        QTextCursor cursor(document.findBlockByNumber(split));
        QTextBlockFormat format = cursor.blockFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        cursor.setBlockFormat(format);
        from = split + 1;
    }
}

QByteArray RenderPdf(const QTextDocument &document, const QPageLayout &page)
{
    return WrittenToMemory([&](QIODevice &device) {
        QPdfWriter writer(&device);
        writer.setPageLayout(page);
        writer.setCreator(QStringLiteral("kivlog"));
        writer.setTitle(Text(msg::kDiaryTitle));
        const std::unique_ptr<QTextDocument> paged(document.clone());
        KeepHeadingsWithText(*paged, writer);
        paged->print(&writer);
    });
}

QFont FontOfSettings(const QString &family, int points)
{
    QFont font;
    if (!family.isEmpty())
        font.setFamily(family);
    font.setPointSize(points > 0 ? points : kDefaultFontSize);
    return font;
}

} // namespace diaryprint
