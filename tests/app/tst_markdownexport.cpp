// The Markdown export read back by a CommonMark reader (Qt's, with GitHub's extensions): each
// day stays one "## " section of plain paragraphs whatever its text holds.

#include "Cp932.h"
#include "DiaryExport.h"

#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestMarkdownExport : public QObject {
    Q_OBJECT

private slots:
    void dayTextStaysInItsSection_data();
    void dayTextStaysInItsSection();
};

void TestMarkdownExport::dayTextStaysInItsSection_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("fence") << u"```\n前"_s;
    QTest::newRow("tilde fence") << u"~~~ c\nx"_s;
    QTest::newRow("indented fence") << u"  ```"_s;
    QTest::newRow("indented code") << u"a\n\n    code"_s;
    QTest::newRow("tab code") << u"\tcode"_s;
    QTest::newRow("heading") << u"   # 見出し"_s;
    QTest::newRow("setext ===") << u"上\n==="_s;
    QTest::newRow("setext ---") << u"上\n---"_s;
    QTest::newRow("rule") << u"***\n___"_s;
    QTest::newRow("quote") << u"> 引用"_s;
    QTest::newRow("lists") << u"- a\n+ b\n* c\n1. d\n2) e\n- [ ] f"_s;
    QTest::newRow("html") << u"<script>alert(1)</script>\n<!-- x"_s;
    QTest::newRow("inline") << u"*強* _a_ `c` [l](u) ![i](u) <http://x> ~~s~~ a\\"_s;
    QTest::newRow("table") << u"| a | b |\n|---|---|\n| c | d |"_s;
    QTest::newRow("entities") << u"&amp; &lt; &#35;"_s;
    QTest::newRow("link definition") << u"[l]: http://x"_s;
}

// The text as the reader shows it, blanks left out: every character of the day, none eaten
// by markup and no escape shown.
static QString withoutBlanks(QString text)
{
    text.removeIf([](QChar c) { return c.isSpace(); });
    return text;
}

void TestMarkdownExport::dayTextStaysInItsSection()
{
    QFETCH(QString, text);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"2009.jnl"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray stored = cp932::Encode(text);
    stored.replace("\n", "\r\n");
    file.write("!JNL 1.00 2009\r\n![2009/05/01]\r\n" + stored + "\r\n![2009/05/02]\r\n"
        + cp932::Encode(u"次の日") + "\r\n");
    file.close();

    const QString markdown = diaryexport::ExportFolder(
        dir.path() + u'/', QString(), u".jnl"_s, diaryexport::TFormat::Markdown, {})
                                 .Out;
    QTextDocument read;
    read.setMarkdown(markdown);
    QStringList headings;
    QStringList sections;
    for (QTextBlock block = read.begin(); block.isValid(); block = block.next()) {
        const QTextBlockFormat format = block.blockFormat();
        const bool paragraph = !block.textList() && !QTextCursor(block).currentTable()
            && !format.hasProperty(QTextFormat::BlockCodeFence)
            && !format.hasProperty(QTextFormat::BlockCodeLanguage)
            && !format.hasProperty(QTextFormat::BlockQuoteLevel)
            && !format.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth);
        QVERIFY2(paragraph, qPrintable(u"not a paragraph: "_s + block.text()));
        if (format.headingLevel() == 2) {
            headings << block.text();
            sections << QString();
        } else if (format.headingLevel() == 0 && !sections.isEmpty()) {
            sections.last() += block.text();
        } else {
            QCOMPARE(block.text(), u"日記"_s);
        }
    }
    QCOMPARE(headings.size(), 2);
    QVERIFY(headings[0].startsWith(u"2009/05/01("_s) && headings[1].startsWith(u"2009/05/02("_s));
    QCOMPARE(withoutBlanks(sections[0]), withoutBlanks(text));
    QCOMPARE(sections[1], u"次の日"_s);
}

QTEST_MAIN(TestMarkdownExport)
#include "tst_markdownexport.moc"
