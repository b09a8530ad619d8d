#include "KivDiaryEdit.h"

#include "AcceptedText.h"
#include "Cp932.h"
#include "KivDiary.h"
#include "Messages.h"
#include "PictureFiles.h"
#include "Pictures.h"

#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QUrl>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int kNoticeMs = 4000;
// Longer lists of refused characters are cut, so the notice stays a short line or two.
constexpr qsizetype kNoticeCharacters = 6;

// Raw bytes have no glyph of their own: they get a colour that no ordinary text has.
class TRawBytesMarker : public QSyntaxHighlighter {
public:
    explicit TRawBytesMarker(QTextDocument *document)
        : QSyntaxHighlighter(document)
    {
        FFormat.setBackground(QColor(0xff, 0xb0, 0xb0));
        FFormat.setForeground(QColor(0x90, 0x00, 0x00));
    }

protected:
    void highlightBlock(const QString &text) override
    {
        for (qsizetype i = 0; i + 1 < text.size(); ++i) {
            if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate()
                && cp932::IsRawBytes(QChar::surrogateToUcs4(text[i], text[i + 1]))) {
                setFormat(int(i), 2, FFormat);
                ++i;
            }
        }
    }

private:
    QTextCharFormat FFormat;
};

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
    new TRawBytesMarker(document());
    connect(document(), &QTextDocument::contentsChanged, this, [this] {
        TrackEdit();
        // An edit or another day's text ends the marks of a search.
        if (!extraSelections().isEmpty())
            setExtraSelections({});
    });

    FNotice = new QLabel(this);
    FNotice->setObjectName(u"RefusedNotice"_s);
    FNotice->setTextFormat(Qt::PlainText);
    FNotice->setWordWrap(true);
    FNotice->setMargin(4);
    FNotice->setFrameShape(QFrame::Box);
    FNotice->setBackgroundRole(QPalette::ToolTipBase);
    FNotice->setForegroundRole(QPalette::ToolTipText);
    FNotice->setAutoFillBackground(true);
    FNotice->setAttribute(Qt::WA_TransparentForMouseEvents);
    FNotice->hide();
    FNoticeTimer.setSingleShot(true);
    FNoticeTimer.setInterval(kNoticeMs);
    connect(&FNoticeTimer, &QTimer::timeout, FNotice, &QWidget::hide);
}

TKivDiaryEdit::~TKivDiaryEdit()
{
    // The base class still clears the document; nothing may follow that into this object or
    // into those watching the editor's edits.
    document()->blockSignals(true);
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
        CommitComposition();
        if (Modified())
            FSource->SetDayText(FDate, StoreText());
        ShowStored(FSource->GetDayText(value));
    }
    FDate = value;
    DoChangeDate();
}

void TKivDiaryEdit::SetSource(TKivDiary *value)
{
    if (value == FSource)
        return;
    FSource = value;
    if (FSource && FSource->Active())
        ShowStored(FSource->GetDayText(FDate));
}

void TKivDiaryEdit::Reload()
{
    if (!FSource || !FSource->Active())
        return;
    const QByteArray text = FSource->GetDayText(FDate);
    // The bytes go first: those watching the change ask for them.
    const QString shown = ShownText(text, FSpans);
    FShownBytes = text;
    ReplaceText(shown, true);
    SetModified(false);
    Remember();
}

void TKivDiaryEdit::Refresh()
{
    if (FSource && FSource->Active())
        ShowStored(FSource->GetDayText(FDate));
}

void TKivDiaryEdit::ShowStored(const QByteArray &text)
{
    ShowText(text);
    SetModified(false);
    // Nothing typed on another day, or before the store's text changed, may come back here.
    document()->clearUndoRedoStacks();
    FHistory.clear();
    Remember();
}

void TKivDiaryEdit::Remember()
{
    const int steps = document()->availableUndoSteps();
    if (document()->availableRedoSteps() == 0)
        FHistory.erase(FHistory.upper_bound(steps), FHistory.end());
    FHistory[steps] = TState { FTracked, FShownBytes, FSpans };
}

void TKivDiaryEdit::Commit()
{
    if (FSource && FSource->Active())
        CommitComposition();
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

void TKivDiaryEdit::MarkStretches(const std::vector<std::pair<int, int>> &stretches)
{
    // The selection's colour, faint, so that the text and the caret's selection stay readable.
    QColor colour = palette().color(QPalette::Highlight);
    colour.setAlpha(90);
    QList<QTextEdit::ExtraSelection> marks;
    for (const auto &[start, length] : stretches) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(document());
        mark.cursor.setPosition(start);
        mark.cursor.setPosition(start + length, QTextCursor::KeepAnchor);
        mark.format.setBackground(colour);
        marks.append(mark);
    }
    setExtraSelections(marks);
}

QByteArray TKivDiaryEdit::StoreText() const
{
    // Asked from another handler of the same change, before the editor has followed it.
    if (toPlainText() != FTracked)
        const_cast<TKivDiaryEdit *>(this)->TrackEdit();
    QByteArray out;
    out.reserve(FShownBytes.size());
    qsizetype freshFrom = -1;
    const auto encodeFresh = [&](qsizetype to) {
        if (freshFrom < 0)
            return;
        QString fresh = FTracked.mid(freshFrom, to - freshFrom);
        fresh.replace(u'\n', u"\r\n"_s);
        out += cp932::Encode(fresh, nullptr, QStringView(FTracked).sliced(to));
        freshFrom = -1;
    };
    for (qsizetype i = 0; i < qsizetype(FSpans.size()); ++i) {
        const TSpan span = FSpans[size_t(i)];
        // A kept '&' that the text typed after it would make read as a reference is written
        // anew, escaped.
        if (span.Start < 0
            || (span.End - span.Start == 1 && FTracked[i] == u'&'
                && cp932::StartsReference(QStringView(FTracked).sliced(i)))) {
            if (freshFrom < 0)
                freshFrom = i;
            continue;
        }
        encodeFresh(i);
        out.append(FShownBytes.constData() + span.Start, span.End - span.Start);
    }
    encodeFresh(qsizetype(FSpans.size()));
    return out;
}

void TKivDiaryEdit::ShowText(const QByteArray &text)
{
    HideNotice();
    const QString shown = ShownText(text, FSpans);
    FShownBytes = text;
    ReplaceText(shown, false);
}

QString TKivDiaryEdit::ShownText(const QByteArray &bytes, std::vector<TSpan> &spans)
{
    // The widget breaks lines at LF; a lone CR in a hand-edited year file breaks a line too.
    QList<qsizetype> offsets;
    const QString decoded = cp932::DecodeLossless(bytes, &offsets);
    QString text;
    text.reserve(decoded.size());
    spans.clear();
    spans.reserve(size_t(decoded.size()));
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const auto start = qint32(offsets[i]);
        QChar c = decoded[i];
        if (c == u'\r') {
            c = u'\n';
            if (i + 1 < decoded.size() && decoded[i + 1] == u'\n')
                ++i;
        }
        text += c;
        spans.push_back({ start, qint32(offsets[i + 1]) });
    }
    return text;
}

void TKivDiaryEdit::ReplaceText(const QString &text, bool undoable)
{
    FBeforeEdit.reset();
    FTracked = text;
    if (toPlainText() == text)
        return; // caret, selection and scroll position stay
    // Replacing the document would clear the flag; the caller decides about it.
    const bool modified = Modified();
    FReplacing = true;
    if (undoable) {
        QTextCursor cursor(document());
        cursor.beginEditBlock();
        cursor.select(QTextCursor::Document);
        cursor.insertText(text);
        cursor.endEditBlock();
    } else {
        setPlainText(text);
    }
    FReplacing = false;
    SetModified(modified);
}

void TKivDiaryEdit::TrackEdit()
{
    if (FReplacing)
        return;
    const QString now = toPlainText();
    if (now == FTracked)
        return;
    // Undo and redo bring back a text the editor held before, with the bytes it had then.
    const auto held = FHistory.find(document()->availableUndoSteps());
    if (held != FHistory.end() && held->second.Text == now) {
        FTracked = now;
        FShownBytes = held->second.Bytes;
        FSpans = held->second.Spans;
        return;
    }
    if (!FBeforeEdit && FUserEdits > 0)
        FBeforeEdit = TState { FTracked, FShownBytes, FSpans };
    // Every edit of the document is one contiguous change: what lies before and after it keeps
    // its bytes. A surrogate pair is never split between kept and new.
    const qsizetype oldSize = FTracked.size();
    const qsizetype newSize = now.size();
    const qsizetype shorter = std::min(oldSize, newSize);
    qsizetype prefix = 0;
    while (prefix < shorter && FTracked[prefix] == now[prefix])
        ++prefix;
    if (prefix > 0 && now[prefix - 1].isHighSurrogate())
        --prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && FTracked[oldSize - 1 - suffix] == now[newSize - 1 - suffix])
        ++suffix;
    if (suffix > 0 && now[newSize - suffix].isLowSurrogate())
        --suffix;
    FSpans.erase(FSpans.begin() + prefix, FSpans.begin() + (oldSize - suffix));
    FSpans.insert(FSpans.begin() + prefix, size_t(newSize - prefix - suffix), TSpan { -1, -1 });
    FTracked = now;
    Remember();
}

bool TKivDiaryEdit::JoinsKeptByte() const
{
    // Only a lone lead byte can take the next byte as its second: every character stands on
    // its own, and the bytes of a year file are read so that no lead byte is left before a
    // byte that could follow it.
    for (qsizetype i = 0; i + 2 < FTracked.size(); ++i) {
        if (!FTracked[i].isHighSurrogate() || !FTracked[i + 1].isLowSurrogate())
            continue;
        const char32_t c = QChar::surrogateToUcs4(FTracked[i], FTracked[i + 1]);
        ++i;
        const char32_t value = c - cp932::kRawBytesBase;
        if (!cp932::IsRawBytes(c) || value > 0xFF
            || !cp932::IsLeadByte(static_cast<unsigned char>(value)))
            continue;
        const qsizetype next = i + 1;
        unsigned char first = 0;
        if (FSpans[size_t(next)].Start >= 0) {
            first = static_cast<unsigned char>(FShownBytes[FSpans[size_t(next)].Start]);
        } else if (FTracked[next] == u'\n') {
            first = '\r';
        } else {
            const qsizetype length = FTracked[next].isHighSurrogate() ? 2 : 1;
            const QByteArray bytes = cp932::Encode(QStringView(FTracked).mid(next, length));
            first = bytes.isEmpty() ? 0 : static_cast<unsigned char>(bytes[0]);
        }
        if (cp932::IsTrailByte(first))
            return true;
    }
    return false;
}

class TKivDiaryEdit::TUserEdit {
public:
    explicit TUserEdit(TKivDiaryEdit &edit)
        : FEdit(edit)
        , FSteps(edit.document()->availableUndoSteps())
        , FModified(edit.Modified())
    {
        ++FEdit.FUserEdits;
    }
    ~TUserEdit()
    {
        if (--FEdit.FUserEdits == 0)
            FEdit.SettleEdit(FSteps, FModified);
    }
    TUserEdit(const TUserEdit &) = delete;
    TUserEdit &operator=(const TUserEdit &) = delete;

private:
    TKivDiaryEdit &FEdit;
    const int FSteps;
    const bool FModified;
};

void TKivDiaryEdit::SettleEdit(int undoStepsBefore, bool modifiedBefore)
{
    if (!FBeforeEdit)
        return;
    TState before = std::move(*FBeforeEdit);
    FBeforeEdit.reset();
    if (!JoinsKeptByte())
        return;
    // What the window shows is what a reload shows: the edit is taken back, and so is its
    // step of the undo history.
    while (document()->availableUndoSteps() > undoStepsBefore)
        undo();
    document()->clearUndoRedoStacks(QTextDocument::RedoStack);
    if (toPlainText() != before.Text) {
        // The edit went into an earlier step of the history (as typing goes on typing): the
        // text is put back within that step.
        const QString now = toPlainText();
        const qsizetype shorter = std::min(now.size(), before.Text.size());
        qsizetype prefix = 0;
        while (prefix < shorter && now[prefix] == before.Text[prefix])
            ++prefix;
        qsizetype suffix = 0;
        while (suffix < shorter - prefix
            && now[now.size() - 1 - suffix] == before.Text[before.Text.size() - 1 - suffix])
            ++suffix;
        QTextCursor cursor(document());
        cursor.joinPreviousEditBlock();
        cursor.setPosition(int(prefix));
        cursor.setPosition(int(now.size() - suffix), QTextCursor::KeepAnchor);
        FReplacing = true;
        cursor.insertText(before.Text.mid(prefix, before.Text.size() - suffix - prefix));
        FReplacing = false;
        cursor.endEditBlock();
        SetModified(modifiedBefore);
    }
    FTracked = before.Text;
    FShownBytes = before.Bytes;
    FSpans = std::move(before.Spans);
    Remember();
    QApplication::beep();
    ShowNotice(Text(msg::kJoinNotice));
}

bool TKivDiaryEdit::event(QEvent *event)
{
    const TUserEdit userEdit(*this);
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason) {
            // What the editor shows stays in the text: some input methods drop the composition
            // when the window loses the focus. One the input method handed over as the focus
            // left (Qt asks for that) may still come again from its engine.
            if (!Composition().isEmpty())
                CommitComposition();
            else if (!FHandedOver.isEmpty())
                FTakenComposition = FHandedOver;
        }
    }
    return QPlainTextEdit::event(event);
}

void TKivDiaryEdit::mousePressEvent(QMouseEvent *event)
{
    // A click anywhere but inside the composition ends it. The text control would have the
    // input method hand it over behind the editor's back, and ibus then sends its engine's copy
    // as well. A click at either end counts as outside: on a day with no text of its own every
    // click lands there, and ibus confirms the composition for it the same way.
    if (event->button() == Qt::LeftButton && !Composition().isEmpty()) {
        const int at
            = cursorForPosition(event->position().toPoint()).position() - textCursor().position();
        if (at <= 0 || at >= Composition().size())
            CommitComposition();
    }
    QPlainTextEdit::mousePressEvent(event);
}

QString TKivDiaryEdit::Composition() const
{
    const QTextLayout *layout = textCursor().block().layout();
    return layout ? layout->preeditAreaText() : QString();
}

void TKivDiaryEdit::CommitComposition()
{
    const QString shown = Composition();
    if (shown.isEmpty())
        return;
    // An input method that can commits its composition itself and so knows that it ended;
    // some do so only when they are reset.
    if (hasFocus()) {
        QGuiApplication::inputMethod()->commit();
        if (!Composition().isEmpty())
            QGuiApplication::inputMethod()->reset();
    }
    const QString left = Composition();
    if (!left.isEmpty()) {
        QInputMethodEvent commit;
        commit.setCommitString(left);
        inputMethodEvent(&commit);
    }
    // The input method may still deliver its own copy later, after the focus came back or on
    // another day, also when it handed the composition over at once (ibus does, and then
    // sends the copy its engine makes when it is reset): that copy is not taken in again.
    FTakenComposition = shown;
}

QString TKivDiaryEdit::AcceptedInput(const QString &input, QString *refused)
{
    return textintake::AcceptedText(input, refused);
}

QString TKivDiaryEdit::Filter(const QString &input)
{
    QString refused;
    const QString accepted = AcceptedInput(input, &refused);
    if (!refused.isEmpty())
        ShowRefusal(refused);
    return accepted;
}

void TKivDiaryEdit::ShowRefusal(const QString &refused)
{
    QApplication::beep();
    // What is refused has no glyph of its own (a control character, half a surrogate pair): it
    // is named by its code point.
    qsizetype end = 0;
    for (qsizetype n = 0; end < refused.size() && n < kNoticeCharacters; ++n)
        end += refused[end].isHighSurrogate() && end + 1 < refused.size()
                && refused[end + 1].isLowSurrogate()
            ? 2
            : 1;
    QString listed = textintake::CodePoints(QStringView(refused).left(end));
    if (end < refused.size())
        listed += u" …"_s;
    ShowNotice(Text(msg::kRefusedNotice).arg(listed));
}

void TKivDiaryEdit::ShowNotice(const QString &text)
{
    FNotice->setFont(window()->font());
    FNotice->setText(text);
    const int margin = 4;
    FNotice->setFixedWidth(
        std::max(40, std::min(FNotice->sizeHint().width(), width() - 2 * margin)));
    FNotice->setFixedHeight(FNotice->heightForWidth(FNotice->width()));
    // Below the caret, or above it when there is no room below.
    const QRect caret(viewport()->mapTo(this, cursorRect().topLeft()), cursorRect().size());
    int y = caret.bottom() + 2;
    if (y + FNotice->height() > height() - margin)
        y = std::max(margin, caret.top() - 2 - FNotice->height());
    const int x
        = std::clamp(caret.left(), margin, std::max(margin, width() - margin - FNotice->width()));
    FNotice->move(x, y);
    FNotice->show();
    FNotice->raise();
    FNoticeTimer.start();
    // A screen reader says the notice as it appears, not only the beep.
    FNotice->setAccessibleName(text);
    QAccessibleEvent alert(FNotice, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

void TKivDiaryEdit::HideNotice()
{
    FNoticeTimer.stop();
    FNotice->hide();
}

bool TKivDiaryEdit::Typing(int pauseMs) const
{
    return Composing() || (FLastInput.isValid() && FLastInput.elapsed() < pauseMs);
}

void TKivDiaryEdit::keyPressEvent(QKeyEvent *event)
{
    FLastInput.start();
    HideNotice();
    FTakenComposition.clear();
    FHandedOver.clear();
    int key = event->key();
    if (OnKeyDown) {
        OnKeyDown(key, event->modifiers());
        if (key == 0) {
            event->accept();
            return;
        }
    }
    // Control characters (Return, Backspace, Ctrl+letter) are keys, not text to check.
    const QString original = event->text();
    const bool typesText = !original.isEmpty() && original[0].category() != QChar::Other_Control;
    const QString text = typesText ? Filter(original) : original;
    if (key == event->key() && text == original) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    if (typesText && text.isEmpty()) {
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
    FLastInput.start();
    if (!FTakenComposition.isEmpty() && event->commitString() == FTakenComposition
        && event->replacementLength() == 0) {
        FTakenComposition.clear();
        QInputMethodEvent rest(event->preeditString(), event->attributes());
        QPlainTextEdit::inputMethodEvent(&rest);
        event->setAccepted(rest.isAccepted());
        return;
    }
    if (!event->commitString().isEmpty() || !event->preeditString().isEmpty())
        FTakenComposition.clear();
    // The composition shown, confirmed as it is, as input methods hand it over when asked.
    FHandedOver = event->preeditString().isEmpty() && event->replacementLength() == 0
            && !event->commitString().isEmpty() && event->commitString() == Composition()
        ? event->commitString()
        : QString();
    // Composing leaves the notice for its time: input methods send updates of the composition
    // at every key, and an empty one right after each commit.
    if (!event->commitString().isEmpty() || event->replacementLength() != 0)
        HideNotice();
    const QString commit = Filter(event->commitString());
    if (commit == event->commitString()) {
        QPlainTextEdit::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent replaced(event->preeditString(), event->attributes());
    replaced.setCommitString(commit, event->replacementStart(), event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&replaced);
    event->setAccepted(replaced.isAccepted());
}

namespace {

// The local files of a drop or paste of files, none when anything else is among them.
QStringList localFilesOf(const QMimeData *source)
{
    QStringList paths;
    if (!source || !source->hasUrls())
        return paths;
    for (const QUrl &url : source->urls()) {
        if (!url.isLocalFile())
            return {};
        paths.append(url.toLocalFile());
    }
    return paths;
}

// The bytes of an image offered in a picture format the diary keeps as it is.
QByteArray offeredPictureBytes(const QMimeData *source)
{
    for (const QString &format :
        { u"image/png"_s, u"image/jpeg"_s, u"image/gif"_s, u"image/webp"_s, u"image/bmp"_s }) {
        if (source->hasFormat(format)) {
            const QByteArray bytes = source->data(format);
            if (PictureKindOf(bytes))
                return bytes;
        }
    }
    return {};
}

} // namespace

bool TKivDiaryEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return !localFilesOf(source).isEmpty() || (source && source->hasImage())
        || QPlainTextEdit::canInsertFromMimeData(source);
}

void TKivDiaryEdit::AddPictureFiles(const QStringList &paths)
{
    if (!FSource)
        return;
    QStringList names, refusals;
    for (const QString &path : paths) {
        const TPictureAdded added
            = AddPictureFile(FSource->BaseDir(), path, DayNumberToDate(FDate));
        if (added.Ok())
            names.append(added.Name);
        else
            refusals.append(added.Error);
    }
    InsertPictureLines(names, refusals);
}

void TKivDiaryEdit::AddPictureImage(const QImage &image, const QByteArray &encoded)
{
    if (!FSource)
        return;
    QByteArray bytes = encoded;
    if (bytes.isEmpty() && !image.isNull()) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    }
    const TPictureAdded added = AddPictureBytes(
        FSource->BaseDir(), bytes, DayNumberToDate(FDate), Text(msg::kPastedImage));
    InsertPictureLines(added.Ok() ? QStringList { added.Name } : QStringList(),
        added.Ok() ? QStringList() : QStringList { added.Error });
}

void TKivDiaryEdit::InsertPictureLines(const QStringList &names, const QStringList &refusals)
{
    if (!names.isEmpty()) {
        const TUserEdit userEdit(*this);
        QTextCursor cursor = textCursor();
        cursor.beginEditBlock();
        // Each line stands alone: a picture line inside a line of text would be text.
        if (cursor.hasSelection())
            cursor.removeSelectedText();
        QString lines = cursor.atBlockStart() ? QString() : u"\n"_s;
        for (const QString &name : names)
            lines += PictureLine(name) + u'\n';
        cursor.insertText(lines);
        cursor.endEditBlock();
        setTextCursor(cursor);
    }
    if (!refusals.isEmpty()) {
        QApplication::beep();
        ShowNotice(refusals.join(u'\n'));
    }
}

void TKivDiaryEdit::insertFromMimeData(const QMimeData *source)
{
    // Files dropped or pasted are pictures to add; so is an image without text.
    if (const QStringList files = localFilesOf(source); !files.isEmpty()) {
        AddPictureFiles(files);
        return;
    }
    if (source && source->hasImage() && !source->hasText()) {
        AddPictureImage(qvariant_cast<QImage>(source->imageData()), offeredPictureBytes(source));
        return;
    }
    // Only plain text comes in, and only through the filter: the text control would take a
    // Markdown copy offered first or alone as it stands, control characters and all.
    const QString markdown = u"text/markdown"_s;
    QString text;
    if (source && source->hasText())
        text = source->text();
    else if (source && source->hasFormat(markdown))
        text = QString::fromUtf8(source->data(markdown));
    else
        return;
    const TUserEdit userEdit(*this);
    const QString kept = Filter(text);
    if (kept.isEmpty())
        return; // a selection is not replaced by nothing
    // The clipboard's own data stays as it was: only this copy is changed.
    QMimeData filtered;
    filtered.setText(kept);
    QPlainTextEdit::insertFromMimeData(&filtered);
}
