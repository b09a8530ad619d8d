#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QImage;
class QLabel;
class TKivDiary;

// The editor of one day's text. It shows the text of Date from its store (Source) and hands
// the user's edits back to the store when it moves to another day or is committed.
//
// This is the one place where store bytes meet the widget: the store keeps CP932 with CR LF,
// the widget holds Unicode with LF. Input is shown at once as it will be stored (a character
// that CP932 cannot hold goes in as a character reference and reads back as itself); what no
// reference can carry is refused with a beep and a notice by the caret, so what the user sees
// is what the store gets. Bytes that do not decode are shown as marked raw-byte
// characters, and every character the user did not touch goes back as the bytes it came from.
class TKivDiaryEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TKivDiaryEdit(QWidget *owner = nullptr);
    ~TKivDiaryEdit() override;

    // Fired after every change of Date; the sender is the editor.
    std::function<void(QObject *sender)> OnChangeDate;
    // Called for every key pressed in the editor before the editor handles it. Setting key
    // to 0 consumes the key; another code makes the editor handle that key instead.
    std::function<void(int &key, Qt::KeyboardModifiers shift)> OnKeyDown;

    double Date() const { return FDate; }
    void SetDate(double value);
    TKivDiary *Source() const { return FSource; }
    void SetSource(TKivDiary *value);

    // Shows the store's text of Date again, as one step the user can undo.
    void Reload();
    // Shows the store's text of Date as a move to the day does: the edits are dropped and
    // there is nothing to undo or redo. For a store whose texts changed underneath the editor,
    // as when the year file was read again from disk.
    void Refresh();
    void Commit();
    void DoChangeDate();

    // The document's modified flag: set by the user's edits, cleared after every load and
    // hand-over.
    bool Modified() const;
    void SetModified(bool value);

    // The whole text as the store keeps it.
    QByteArray StoreText() const;
    // Replaces the text only when it differs, so that caret, selection and scroll position
    // stay when the same text is shown again. Leaves the modified flag to the caller.
    void ShowText(const QByteArray &text);

    // Marks stretches of the text (start and length), the hits of a search, until the text
    // changes by an edit or another day.
    void MarkStretches(const std::vector<std::pair<int, int>> &stretches);

    // Takes the text of an open input-method composition into the editor, as if the user had
    // confirmed it, so that nothing shown on screen is left out of the text.
    void CommitComposition();
    // Whether a word is being composed, shown but not yet confirmed.
    bool Composing() const { return !Composition().isEmpty(); }
    // Whether the user is writing: composing, or a key or input-method event came within the
    // last pauseMs. What arrives from elsewhere waits for a pause.
    bool Typing(int pauseMs = 1000) const;

    // Copies pictures into the data folder as pictures of the shown day and puts a line naming
    // each at the caret, on a line of its own, as one step the user can undo. What is no picture
    // (or cannot be copied) is named in the notice by the caret. Also what a drop of files or a
    // paste of an image does.
    void AddPictureFiles(const QStringList &paths);
    // An image without a file (from the clipboard): its bytes when they are a picture's already,
    // else the image as PNG.
    void AddPictureImage(const QImage &image, const QByteArray &encoded = {});

    // What the user's input becomes in the editor: line breaks and spaces normalised, each
    // character as it will be stored; what cannot be stored is left out and collected in
    // *refused.
    static QString AcceptedInput(const QString &input, QString *refused);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void HideSelectionWhenUnfocused();
    // The text of the input method's open composition, empty when there is none.
    QString Composition() const;
    // The accepted part of input; refusing anything beeps and shows the notice.
    QString Filter(const QString &input);
    void ShowRefusal(const QString &refused);
    void ShowNotice(const QString &text);
    // Puts the lines of the added pictures at the caret and names what was refused.
    void InsertPictureLines(const QStringList &names, const QStringList &refusals);
    void HideNotice();
    // Shows the store's text of a day afresh: unmodified, with empty undo and redo histories.
    void ShowStored(const QByteArray &text);
    void Remember();
    // After an event that edited the text: an edit that makes a kept byte join the bytes next
    // to it into another character is taken back.
    void SettleEdit(int undoStepsBefore, bool modifiedBefore);
    // What runs while one lives is the user's own edit, settled when the outermost one ends.
    class TUserEdit;
    bool JoinsKeptByte() const;
    void ReplaceText(const QString &text, bool undoable);
    void TrackEdit();
    struct TSpan;
    static QString ShownText(const QByteArray &bytes, std::vector<TSpan> &spans);

    bool FPaletteBeingSet = false;
    double FDate = 0;
    TKivDiary *FSource = nullptr;
    // The store bytes last shown, and for each UTF-16 unit of the text last seen the bytes of
    // FShownBytes it came from ([Start, End)); Start is -1 for text the user entered. Units the
    // user does not touch go back as their own bytes.
    struct TSpan {
        qint32 Start;
        qint32 End;
    };
    QByteArray FShownBytes;
    QString FTracked;
    std::vector<TSpan> FSpans;
    bool FReplacing = false;
    // The text with its bytes after each step of the undo history (keyed by the number of
    // steps that can be undone), so that an undo or redo brings back the bytes too; and the
    // state before the edits of the event being handled.
    struct TState {
        QString Text;
        QByteArray Bytes;
        std::vector<TSpan> Spans;
    };
    std::map<int, TState> FHistory;
    std::optional<TState> FBeforeEdit;
    // Events and pastes being handled: only their edits are checked afterwards.
    int FUserEdits = 0;
    // A composition the editor took in itself: the input method may still deliver its own copy.
    QString FTakenComposition;
    // The last input-method event confirmed the composition shown as it was, and nothing was
    // typed since: the text.
    QString FHandedOver;

    QLabel *FNotice = nullptr;
    QTimer FNoticeTimer;
    QElapsedTimer FLastInput;
};
