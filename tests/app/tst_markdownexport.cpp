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
    void dayTextStaysInItsSection_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("fences") << u"```\n前\n~~~ c\n  ```"_s;
        QTest::newRow("indented code") << u"a\n\n    code\n\n\tcode"_s;
        QTest::newRow("headings") << u"   # 見出し\n上\n===\n上\n---"_s;
        QTest::newRow("rules") << u"***\n___"_s;
        QTest::newRow("quote") << u"> 引用"_s;
        QTest::newRow("lists") << u"- a\n+ b\n* c\n1. d\n2) e\n- [ ] f"_s;
        QTest::newRow("html") << u"<script>alert(1)</script>\n<!-- x"_s;
        QTest::newRow("inline") << u"*強* _a_ `c` [l](u) ![i](u) <http://x> ~~s~~ a\\"_s;
        QTest::newRow("table") << u"| a | b |\n|---|---|\n| c | d |"_s;
        QTest::newRow("entities, link definition") << u"&amp; &lt; &#35;\n[l]: http://x"_s;
    }

    void dayTextStaysInItsSection()
    {
        QFETCH(QString, text);
        QTemporaryDir dir;
        QFile file(dir.filePath(u"2009.jnl"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("!JNL 1.00 2009\r\n![2009/05/01]\r\n" + cp932::Encode(text).replace("\n", "\r\n")
            + "\r\n![2009/05/02]\r\n" + cp932::Encode(u"次の日") + "\r\n");
        file.close();

        QTextDocument read;
        read.setMarkdown(diaryexport::ExportFolder(
            dir.path() + u'/', QString(), u".jnl"_s, diaryexport::TFormat::Markdown, {})
                             .Out);
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
                headings << block.text().left(10);
                sections << QString();
            } else if (format.headingLevel() == 0 && !sections.isEmpty()) {
                sections.last() += block.text();
            } else {
                QCOMPARE(block.text(), u"日記"_s);
            }
        }
        QCOMPARE(headings, QStringList({ u"2009/05/01"_s, u"2009/05/02"_s }));
        // Every character of the day, none eaten by markup and no escape shown.
        const auto withoutBlanks
            = [](QString s) { return s.removeIf([](QChar c) { return c.isSpace(); }); };
        QCOMPARE(withoutBlanks(sections[0]), withoutBlanks(text));
        QCOMPARE(sections[1], u"次の日"_s);
    }

    // As written, a day's Markdown is read as Markdown; a fence it leaves open ends with it.
    void markdownAsWrittenStaysMarkupUpToTheNextDay()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(u"2009.jnl"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("!JNL 1.00 2009\r\n![2009/05/01]\r\n"
            + cp932::Encode(u"# 買い物\r\n- 牛乳\r\n\r\n````\r\n```\r\nコード"_s)
            + "\r\n![2009/05/02]\r\n" + cp932::Encode(u"次の日") + "\r\n");
        file.close();

        QTextDocument read;
        read.setMarkdown(diaryexport::ExportFolder(
            dir.path() + u'/', QString(), u".jnl"_s, diaryexport::TFormat::MarkdownAsWritten, {})
                             .Out);
        QStringList blocks;
        for (QTextBlock block = read.begin(); block.isValid(); block = block.next()) {
            const QTextBlockFormat format = block.blockFormat();
            blocks << QString::number(format.headingLevel())
                    + (block.textList() ? u"-"_s : QString())
                    + (format.hasProperty(QTextFormat::BlockCodeFence) ? u"`"_s : QString())
                    + block.text().left(10);
        }
        QCOMPARE(blocks,
            QStringList({ u"1日記"_s, u"22009/05/01"_s, u"1買い物"_s, u"0-牛乳"_s, u"0````"_s,
                u"0`コード"_s, u"22009/05/02"_s, u"0次の日"_s }));
    }
};

QTEST_MAIN(TestMarkdownExport)
#include "tst_markdownexport.moc"
