#pragma once

#include <QString>
#include <QStringView>

// What a day text may hold, one rule for every way text comes in: typed, pasted or composed in
// the editor, and taken in from other diaries.
namespace textintake {

// Whether the diary refuses c: a control character other than the tab and the line break (a
// NUL ends the text for many a reader of the year file; an escape is a command to a terminal
// that shows it) or what no character reference carries (a lone surrogate).
bool Refused(char32_t c);

// The input as the diary takes it in: line breaks as LF, the no-break space as a blank, a
// character the code page lacks normalised together with its marks. What is refused is left out
// and appended to *refused, each once, in order.
QString KeptText(const QString &input, QString *refused = nullptr);

// The same in the form it reads back in once stored (〜 as ～): what the editor shows.
QString AcceptedText(const QString &input, QString *refused = nullptr);

// The characters named by code point, "U+001B U+0085".
QString CodePoints(QStringView characters);

} // namespace textintake
