#include "KivDiaryEdit.h"

#include "Cp932.h"
#include "KivDiary.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextDocument>

using namespace Qt::StringLiterals;

namespace {

// The characters of text that CP932 can hold, in their order; a surrogate pair is one
// character.
QString encodableOnly(const QString &text)
{
    if (cp932::CanEncode(text))
        return text;
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = (text.at(i).isHighSurrogate() && i + 1 < text.size()
                                     && text.at(i + 1).isLowSurrogate())
            ? 2
            : 1;
        const QStringView character = QStringView(text).mid(i, length);
        if (cp932::CanEncode(character))
            kept.append(character);
        i += length;
    }
    return kept;
}

// What the widget holds for a stored text: the widget breaks lines at LF, and a lone CR
// in a hand-edited year file breaks a line there too.
QString widgetText(const QByteArray &storeText)
{
    QString text = cp932::Decode(storeText);
    text.replace(u"\r\n"_s, u"\n"_s);
    text.replace(u'\r', u'\n');
    return text;
}

} // namespace

TKivDiaryEdit::TKivDiaryEdit(QWidget *owner)
    : QPlainTextEdit(owner)
{
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTabChangesFocus(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    HideSelectionWhenUnfocused();
}

void TKivDiaryEdit::HideSelectionWhenUnfocused()
{
    // The widget paints its selection with the Inactive colours while it lacks the focus;
    // making those the plain text colours hides the selection then.
    FPaletteBeingSet = true;
    // Only these two roles are the editor's own; every other colour still follows the desktop.
    const QPalette current = palette();
    QPalette pal;
    pal.setResolveMask(0);
    pal.setBrush(
        QPalette::Inactive, QPalette::Highlight, current.brush(QPalette::Inactive, QPalette::Base));
    pal.setBrush(QPalette::Inactive, QPalette::HighlightedText,
        current.brush(QPalette::Inactive, QPalette::Text));
    setPalette(pal);
    FPaletteBeingSet = false;
}

void TKivDiaryEdit::changeEvent(QEvent *event)
{
    QPlainTextEdit::changeEvent(event);
    // A new desktop palette brings new text colours; the hidden selection must follow them.
    if (event->type() == QEvent::PaletteChange && !FPaletteBeingSet)
        HideSelectionWhenUnfocused();
}

void TKivDiaryEdit::SetDate(double value)
{
    if (value == FDate)
        return;
    if (FSource && FSource->Active()) {
        if (Modified())
            FSource->SetDayText(FDate, StoreText());
        const QByteArray text = FSource->GetDayText(value);
        ShowText(text);
        SetModified(false);
    }
    FDate = value;
    DoChangeDate();
}

void TKivDiaryEdit::SetSource(TKivDiary *value)
{
    if (value == FSource)
        return;
    FSource = value;
    if (FSource && FSource->Active()) {
        const QByteArray text = FSource->GetDayText(FDate);
        ShowText(text);
        SetModified(false);
    }
}

void TKivDiaryEdit::Reload()
{
    if (!FSource || !FSource->Active())
        return;
    const QByteArray text = FSource->GetDayText(FDate);
    ShowText(text);
    SetModified(false);
}

void TKivDiaryEdit::Commit()
{
    if (!FSource || !Modified() || !FSource->Active())
        return;
    FSource->SetDayText(FDate, StoreText());
    SetModified(false);
}

void TKivDiaryEdit::DoChangeDate()
{
    if (OnChangeDate)
        OnChangeDate(this);
}

bool TKivDiaryEdit::Modified() const { return document()->isModified(); }

void TKivDiaryEdit::SetModified(bool value) { document()->setModified(value); }

QByteArray TKivDiaryEdit::StoreText() const
{
    QString text = toPlainText();
    if (text == FShownText)
        return FShownBytes;
    text.replace(u'\n', u"\r\n"_s);
    return cp932::Encode(text);
}

void TKivDiaryEdit::ShowText(const QByteArray &text)
{
    const QString shown = widgetText(text);
    if (toPlainText() != shown) {
        // Replacing the document would clear the flag; the caller decides about it.
        const bool modified = Modified();
        setPlainText(shown);
        SetModified(modified);
    }
    FShownBytes = text;
    FShownText = shown;
}

void TKivDiaryEdit::keyPressEvent(QKeyEvent *event)
{
    int key = event->key();
    if (OnKeyDown) {
        OnKeyDown(key, event->modifiers());
        if (key == 0) {
            event->accept();
            return;
        }
    }
    const QString text = encodableOnly(event->text());
    if (key == event->key() && text == event->text()) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (!event->text().isEmpty() && text.isEmpty()) {
        event->accept(); // nothing of what the key would type can be kept
        return;
    }
    QKeyEvent replaced(event->type(), key, event->modifiers(), event->nativeScanCode(),
        event->nativeVirtualKey(), event->nativeModifiers(), text, event->isAutoRepeat(),
        event->count());
    QPlainTextEdit::keyPressEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

void TKivDiaryEdit::inputMethodEvent(QInputMethodEvent *event)
{
    const QString commit = encodableOnly(event->commitString());
    if (commit == event->commitString()) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent replaced(event->preeditString(), event->attributes());
    replaced.setCommitString(commit, event->replacementStart(), event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

void TKivDiaryEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    const QString text = source->text();
    const QString kept = encodableOnly(text);
    if (kept == text) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QMimeData filtered;
    filtered.setText(kept);
    QPlainTextEdit::insertFromMimeData(&filtered);
}
