#include "PictureRow.h"

#include "DiaryIdentity.h"
#include "FileWriter.h"
#include "PictureFiles.h"
#include "Pictures.h"
#include "WindowTexts.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int kThumbnailHeight = 56;
constexpr int kRowMargin = 2;

// One pool for every row: two pictures decoded at a time leave the rest of the machine to the
// window.
QThreadPool &thumbnailPool()
{
    static QThreadPool *pool = [] {
        auto *made = new QThreadPool;
        made->setMaxThreadCount(2);
        return made;
    }();
    return *pool;
}

// A picture read as its EXIF orientation turns it, at most height high when given (read smaller by
// the decoder where it can, as JPEG's can).
QImage readPicture(const QString &path, std::optional<int> height = std::nullopt)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize raw = reader.size();
    if (height && raw.isValid() && raw.height() > 0) {
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        const QSize shown = turned ? raw.transposed() : raw;
        if (shown.height() > *height) {
            const QSize target(std::max(1, shown.width() * *height / shown.height()), *height);
            reader.setScaledSize(turned ? target.transposed() : target);
        }
    }
    return reader.read();
}

} // namespace

QString PicturesMark(QStringView dayText)
{
    const qsizetype count = PicturesOfText(dayText).size();
    return count == 0 ? QString() : Text(wtext::kPicturesMark).arg(count);
}

QImage PictureThumbnail(const QString &path, const QString &name, int height)
{
    // A picture file is never written again under its name, so its thumbnail stays true.
    const QString folder = DiaryCacheFolder() + u"thumbnails/"_s;
    const QString cached = folder + name + u'-' + QString::number(height) + u".png"_s;
    if (QImage image(cached); !image.isNull())
        return image;
    const QImage image = readPicture(path, height);
    if (image.isNull())
        return image;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    // A cache that cannot be written only costs the next start the same work.
    if (image.save(&buffer, "PNG") && MakeFolders(folder))
        (void)WriteNewFile(cached, bytes, AccessOfFile(cached));
    return image;
}

TPictureRow::TPictureRow(QWidget *parent)
    : QFrame(parent)
    , FGeneration(std::make_shared<std::atomic<int>>(0))
{
    setObjectName(u"PictureRow"_s);
    setAccessibleName(Text(wtext::kA11yPictureRowName));
    setFrameStyle(QFrame::NoFrame);
    FLayout = new QHBoxLayout(this);
    FLayout->setContentsMargins(0, 0, 0, 0);
    FLayout->setSpacing(4);
    FLayout->addStretch(1);
    hide();
}

TPictureRow::~TPictureRow()
{
    // What is still being made reports to this row: it ends first.
    ++*FGeneration;
    thumbnailPool().clear();
    thumbnailPool().waitForDone();
}

int TPictureRow::RowHeight() { return kThumbnailHeight + 2 * kRowMargin + 6; }

QToolButton *TPictureRow::Button(int index) const
{
    return index < FFilled ? FButtons.value(index) : nullptr;
}

void TPictureRow::Show(const QString &baseDir, const QStringList &names)
{
    if (baseDir == FBaseDir && names == FNames)
        return;
    const bool wasShown = !FNames.isEmpty();
    FBaseDir = baseDir;
    FNames = names;
    FFilled = 0;
    const int generation = ++*FGeneration;
    // The row takes its place at once, so the text is laid out once; its pictures follow right
    // after the day's text is drawn.
    for (QToolButton *button : std::as_const(FButtons))
        button->hide();
    setVisible(!names.isEmpty());
    if (wasShown != !names.isEmpty())
        emit Toggled();
    if (!names.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this, generation] { Fill(generation); }, Qt::QueuedConnection);
    }
}

void TPictureRow::Fill(int generation)
{
    if (generation != *FGeneration)
        return;
    const QStringList &names = FNames;
    const QString &baseDir = FBaseDir;
    // The buttons stay from day to day; only the pictures not shown lately are read, off the
    // window's thread.
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString &name = names[i];
        if (i == FButtons.size()) {
            auto *button = new QToolButton(this);
            button->setObjectName(u"Picture%1"_s.arg(i + 1));
            button->setAutoRaise(false);
            button->setFocusPolicy(Qt::TabFocus);
            button->setFixedSize(kThumbnailHeight + 6, kThumbnailHeight + 6);
            connect(button, &QToolButton::clicked, this, [this, i] { OpenViewer(int(i)); });
            FLayout->insertWidget(int(i), button);
            FButtons.append(button);
        }
        QToolButton *button = FButtons[i];
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setText(QString());
        button->setProperty("missing", false);
        button->setIconSize(QSize(kThumbnailHeight, kThumbnailHeight));
        const QString place = QString::number(i + 1), count = QString::number(names.size());
        button->setAccessibleName(Text(wtext::kA11yPictureName).arg(place, count, name));
        button->setToolTip(Text(wtext::kPictureTip).arg(name));
        button->show();
        const QString path = PicturePath(baseDir, name);
        if (const QImage *shown = FShown.object(path)) {
            Made(generation, int(i), *shown, false);
            continue;
        }
        button->setIcon(QIcon());
        thumbnailPool().start([this, generation, i, path, name, counter = FGeneration] {
            if (*counter != generation)
                return;
            const bool missing = !QFileInfo(path).isFile();
            const QImage thumbnail
                = missing ? QImage() : PictureThumbnail(path, name, kThumbnailHeight);
            QMetaObject::invokeMethod(
                this,
                [=, this] {
                    if (!thumbnail.isNull())
                        FShown.insert(path, new QImage(thumbnail));
                    Made(generation, int(i), thumbnail, missing);
                },
                Qt::QueuedConnection);
        });
    }
    FFilled = int(names.size());
    QWidget *previous = FTabAfter;
    for (qsizetype i = 0; previous && i < names.size(); ++i) {
        QWidget::setTabOrder(previous, FButtons[i]);
        previous = FButtons[i];
    }
}

void TPictureRow::Made(int generation, int index, const QImage &thumbnail, bool missing)
{
    if (generation != *FGeneration || index >= FNames.size() || index >= FButtons.size())
        return;
    QToolButton *button = FButtons[index];
    const QString place = QString::number(index + 1), count = QString::number(FNames.size());
    if (!thumbnail.isNull()) {
        button->setIcon(QIcon(QPixmap::fromImage(thumbnail)));
        button->setIconSize(thumbnail.size().boundedTo(
            button->iconSize().expandedTo(QSize(kThumbnailHeight, kThumbnailHeight))));
        return;
    }
    // The line stays in the text; the button says what became of its picture.
    button->setProperty("missing", missing);
    button->setText(Text(missing ? wtext::kPictureMissing : wtext::kPictureUnreadable));
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    if (missing) {
        button->setAccessibleName(
            Text(wtext::kA11yPictureMissingName).arg(place, count, FNames[index]));
        button->setToolTip(Text(wtext::kPictureMissingTip).arg(FNames[index]));
    }
}

void TPictureRow::OpenViewer(int index)
{
    auto *viewer = new TPictureViewer(window(), FBaseDir, FNames, index);
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

TPictureViewer::TPictureViewer(
    QWidget *parent, const QString &baseDir, const QStringList &names, int index)
    : QWidget(parent, Qt::Window)
    , FBaseDir(baseDir)
    , FNames(names)
{
    setObjectName(u"PictureViewer"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(this);
    FPicture = new QLabel(this);
    FPicture->setObjectName(u"ViewerPicture"_s);
    FPicture->setAlignment(Qt::AlignCenter);
    FPicture->setMinimumSize(64, 64);
    FPicture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    FCaption = new QLabel(this);
    FCaption->setObjectName(u"ViewerCaption"_s);
    FCaption->setTextFormat(Qt::PlainText);
    FCaption->setAlignment(Qt::AlignCenter);
    layout->addWidget(FPicture, 1);
    layout->addWidget(FCaption);
    // Large, but wholly on the screen with room around it.
    QSize size(960, 720);
    if (const QScreen *screen = parent ? parent->screen() : nullptr)
        size = size.boundedTo(screen->availableGeometry().size() * 0.9);
    resize(size);
    ShowPicture(index);
}

void TPictureViewer::ShowPicture(int index)
{
    if (FNames.isEmpty())
        return;
    FIndex = std::clamp(index, 0, int(FNames.size()) - 1);
    const QString &name = FNames[FIndex];
    const QString place = QString::number(FIndex + 1), count = QString::number(FNames.size());
    const QString path = PicturePath(FBaseDir, name);
    FImage = readPicture(path);
    setWindowTitle(Text(wtext::kPictureViewerTitle).arg(place, count, name));
    const bool missing = !QFileInfo(path).isFile();
    FCaption->setText(FImage.isNull()
            ? Text(missing ? wtext::kA11yPictureMissingName : wtext::kA11yPictureName)
                  .arg(place, count, name)
            : name);
    FPicture->setAccessibleName(
        Text(missing ? wtext::kA11yPictureMissingName : wtext::kA11yPictureName)
            .arg(place, count, name));
    Fit();
}

void TPictureViewer::Fit()
{
    if (FImage.isNull()) {
        FPicture->setPixmap(QPixmap());
        FPicture->setText(Text(wtext::kPictureUnreadable));
        return;
    }
    // Fitted into the window, never enlarged past its own size.
    QSize fitted = FImage.size();
    const QSize room = FPicture->size();
    if (fitted.width() > room.width() || fitted.height() > room.height())
        fitted.scale(room, Qt::KeepAspectRatio);
    FPicture->setPixmap(
        QPixmap::fromImage(FImage.scaled(fitted, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void TPictureViewer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Fit();
}

void TPictureViewer::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Left:
        ShowPicture(FIndex - 1);
        return;
    case Qt::Key_Right:
        ShowPicture(FIndex + 1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
