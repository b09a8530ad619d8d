#include "AcceptedText.h"

#include "Cp932.h"

#include <QStringList>
#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

namespace textintake {

bool Refused(char32_t c)
{
    if (c >= 0xD800 && c <= 0xDFFF)
        return true;
    return c != u'\t' && c != u'\n' && QChar::category(c) == QChar::Other_Control;
}

QString KeptText(const QString &input, QString *refused)
{
    // The code page holds characters that normalising would change (Å as U+212B, the
    // compatibility ideographs of names): what encodes as it is stays, and only a character
    // that would not encode is normalised, together with its marks.
    QString text;
    if (cp932::CanEncode(input)) {
        text = input;
    } else {
        text.reserve(input.size());
        QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, input);
        qsizetype from = 0;
        while (clusters.toNextBoundary() >= 0) {
            const QStringView cluster = QStringView(input).mid(from, clusters.position() - from);
            if (cp932::CanEncode(cluster))
                text += cluster;
            else
                text += cluster.toString().normalized(QString::NormalizationForm_C);
            from = clusters.position();
        }
    }
    text.replace(u"\r\n"_s, u"\n"_s);
    for (QChar &c : text) {
        if (c == QChar::Nbsp)
            c = u' ';
        else if (c == QChar::LineSeparator || c == QChar::ParagraphSeparator || c == u'\r')
            c = u'\n';
    }
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const bool pair
            = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const char32_t c = pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        const QStringView character = QStringView(text).mid(i, pair ? 2 : 1);
        if (!Refused(c))
            kept += character;
        else if (refused && !refused->contains(character))
            refused->append(character);
        i += character.size();
    }
    return kept;
}

QString AcceptedText(const QString &input, QString *refused)
{
    return cp932::StoredForm(KeptText(input, refused));
}

QString CodePoints(QStringView characters)
{
    QStringList names;
    // By code unit where there is no pair: toUcs4 would name half a pair U+FFFD.
    for (qsizetype i = 0; i < characters.size(); ++i) {
        char32_t c = characters[i].unicode();
        if (characters[i].isHighSurrogate() && i + 1 < characters.size()
            && characters[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(characters[i], characters[i + 1]);
            ++i;
        }
        names << u"U+%1"_s.arg(uint(c), 4, 16, QChar(u'0')).toUpper();
    }
    return names.join(u' ');
}

} // namespace textintake
