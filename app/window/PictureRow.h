#pragma once

#include <QCache>
#include <QFrame>
#include <QImage>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <memory>

class QLabel;
class QToolButton;
class QHBoxLayout;

// The small pictures of a day, a row under the editor that is there only while the day's text
// names a picture. Each is a button (Tab reaches it, its accessible name says which picture of
// how many); a click or Enter opens the viewer on it. The thumbnails are made off the window's
// thread and kept in the cache folder, so a day of many pictures shows its text at once and
// its pictures as they come.
class TPictureRow : public QFrame {
    Q_OBJECT

public:
    explicit TPictureRow(QWidget *parent);
    ~TPictureRow() override;

    // Shows the pictures of that name in the data folder; none hides the row.
    void Show(const QString &baseDir, const QStringList &names);
    const QStringList &Names() const { return FNames; }
    // The height the row takes while it is shown.
    static int RowHeight();
    // Opens the viewer on the picture at index.
    void OpenViewer(int index);
    // The button of the picture at index, once the row holds it.
    QToolButton *Button(int index) const;
    // Tab goes from this widget (the editor) to the row's pictures, then on as before.
    void SetTabAfter(QWidget *widget) { FTabAfter = widget; }

signals:
    // After the row was shown or hidden.
    void Toggled();

private:
    // The buttons of the pictures, after the day's text was drawn.
    void Fill(int generation);
    void Made(int generation, int index, const QImage &thumbnail, bool missing);

    QString FBaseDir;
    QStringList FNames;
    // As many as the most pictures a day showed; those of this day first, the rest hidden.
    QList<QToolButton *> FButtons;
    // The thumbnails shown lately, by the picture's path: a day shown again shows them at once.
    QCache<QString, QImage> FShown { 200 };
    int FFilled = 0;
    QPointer<QWidget> FTabAfter;
    QHBoxLayout *FLayout = nullptr;
    // Thumbnails still coming for an earlier Show are dropped.
    std::shared_ptr<std::atomic<int>> FGeneration;
};

// What a list of days (この日, the search) shows after the heading of a day whose text names
// pictures; empty for a day without.
QString PicturesMark(QStringView dayText);

// The thumbnail of a picture file, from the cache when it was made before, else made from the
// file (turned as its EXIF orientation says) and kept there. A null image when the file cannot
// be read.
QImage PictureThumbnail(const QString &path, const QString &name, int height);

// A picture of the day fitted into a window of its own: ← and → go to the day's others, Esc
// closes it.
class TPictureViewer : public QWidget {
    Q_OBJECT

public:
    TPictureViewer(QWidget *parent, const QString &baseDir, const QStringList &names, int index);
    int Index() const { return FIndex; }
    void ShowPicture(int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void Fit();

    QString FBaseDir;
    QStringList FNames;
    int FIndex = 0;
    QImage FImage;
    QLabel *FPicture = nullptr;
    QLabel *FCaption = nullptr;
};
