#pragma once

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>
#include <functional>

class TKivDiary;

// The editor of one day's text. It shows the text of Date from its store (Source) and hands
// the user's edits back to the store when it moves to another day or is committed.
//
// This is the one place where store bytes meet the widget: the store keeps CP932 with CR LF,
// the widget holds Unicode with LF. A character that CP932 cannot hold is not let into the
// editor, so what the user sees is what the store gets.
class TKivDiaryEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit TKivDiaryEdit(QWidget *owner = nullptr);

    // Fired after every change of Date; the sender is the editor.
    std::function<void(QObject *sender)> OnChangeDate;
    // Called for every key pressed in the editor before the editor handles it. Setting key
    // to 0 consumes the key; another code makes the editor handle that key instead.
    std::function<void(int &key, Qt::KeyboardModifiers shift)> OnKeyDown;

    double Date() const { return FDate; }
    void SetDate(double value);
    TKivDiary *Source() const { return FSource; }
    void SetSource(TKivDiary *value);

    void Reload();
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

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
    void changeEvent(QEvent *event) override;

private:
    void HideSelectionWhenUnfocused();

    bool FPaletteBeingSet = false;
    double FDate = 0;
    TKivDiary *FSource = nullptr;
    // The store bytes last shown and the text they gave. While the widget still holds that
    // text, the bytes go back unchanged: bytes that do not decode survive a hand-over.
    QByteArray FShownBytes;
    QString FShownText;
};
