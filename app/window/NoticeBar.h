#pragma once

#include <QFrame>
#include <QPointer>
#include <QStringList>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// A bar above the editor for what the window has to say while the user may be typing: a
// version from elsewhere merged or read in, copies or inbox files taken in. It takes neither
// the focus nor the keyboard and stays until it is read: 詳しく... opens every notice since in
// a window of their own (which lets the editor be used beside it), 閉じる puts them away.
class TNoticeBar : public QFrame {
    Q_OBJECT

public:
    explicit TNoticeBar(QWidget *parent);

    void Add(const QString &text);
    // The notices not yet read, oldest first.
    const QStringList &Notices() const { return FNotices; }
    // Opens the window of the notices; they count as read.
    void ShowList();
    void Dismiss();

    // Takes its place at the top of the editor's area, the editor below it, while it is shown.
    void Place(QWidget *editor);

protected:
    void resizeEvent(QResizeEvent *event) override;

signals:
    // Shown or put away: the area it takes is given back.
    void Toggled();

private:
    void UpdateLine();
    void ShowLine();

    QLabel *FLine;
    QPushButton *FList;
    QPushButton *FClose;
    QStringList FNotices;
    // The latest notice's first line, shortened to the bar's width when shown, and how many
    // others there are.
    QString FLineText;
    QString FMoreText;
    QPointer<QWidget> FListWindow;
};
