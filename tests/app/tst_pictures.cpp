// A day's pictures in the window: added by a drop, a paste or 写真を貼る..., shown in a row
// under the editor on the days that name any, and opened in the viewer.

#include "DiaryIdentity.h"
#include "DiaryWindowFixture.h"
#include "PictureFiles.h"
#include "PictureRow.h"
#include "Pictures.h"

#include <QBuffer>
#include <QClipboard>
#include <QDropEvent>
#include <QImage>
#include <QListWidget>
#include <QMimeData>
#include <QToolButton>

namespace {

const QString kYearFile = u"Data/2009.jnl"_s;
const QRect kEditorDesign(8, 40, 369, 265);

QByteArray pngOf(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A JPEG 40 wide and 20 high whose EXIF orientation (6) turns it a quarter right.
QByteArray turnedJpeg()
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    const QByteArray tiff("MM\0\x2A\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 26);
    const QByteArray app1 = QByteArray("\xFF\xE1\0\x22", 4) + QByteArray("Exif\0\0", 6) + tiff;
    return bytes.insert(2, app1);
}

QMimeData *filesOf(const QStringList &paths)
{
    auto *mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    mime->setUrls(urls);
    return mime;
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2009, 3, 10));
        qputenv("XDG_CACHE_HOME", F->Dir.filePath(u"cache"_s).toUtf8());
    }
    void cleanup() { F.reset(); }

    void onlyADayThatNamesPicturesShowsTheRow()
    {
        F->Write(kYearFile,
            F->YearFile(2009, {})
                + "!------------\r\n![2009/03/10]\r\n!------------\r\n"
                  "\x92\xA9\r\n[\x8E\xCA\x90\x5E 2009-03-10_0123abcd.png]\r\n");
        TForm1 &form = F->Start();
        form.show();
        auto *row = form.findChild<TPictureRow *>();
        QVERIFY(row && row->isVisible());
        QCOMPARE(form.KivDiaryEdit1->geometry(),
            kEditorDesign.adjusted(0, 0, 0, -(TPictureRow::RowHeight() + 2)));
        // The line stays, its picture is said to be missing.
        QTRY_VERIFY(
            row->Button(0) && row->Button(0)->accessibleName().contains(u"見つかりません"_s));
        QVERIFY(row->Button(0)->accessibleName().startsWith(u"写真 1/1 2009-03-10_0123abcd.png"_s));
        QVERIFY(form.KivDiaryEdit1->toPlainText().contains(u"[写真 2009-03-10_0123abcd.png]"_s));

        form.BtnNextDayClick();
        QVERIFY(row->isHidden());
        QCOMPARE(form.KivDiaryEdit1->geometry(), kEditorDesign);
    }

    void aDroppedPictureIsCopiedAndNamedAtTheDropPoint()
    {
        TForm1 &form = F->Start();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        F->Write(u"red.png"_s, pngOf({ 30, 20 }, Qt::red));
        F->Type(form.KivDiaryEdit1, u"朝"_s);
        std::unique_ptr<QMimeData> mime(filesOf({ u"red.png"_s }));
        const QPoint at = form.KivDiaryEdit1->cursorRect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, {});
        QApplication::sendEvent(form.KivDiaryEdit1->viewport(), &enter);
        QDropEvent drop(at, Qt::CopyAction, mime.get(), Qt::LeftButton, {});
        QApplication::sendEvent(form.KivDiaryEdit1->viewport(), &drop);

        const QString name = PictureName(QDate(2009, 3, 10), pngOf({ 30, 20 }, Qt::red), u"png"_s);
        QCOMPARE(form.KivDiaryEdit1->toPlainText(), u"朝\n[写真 "_s + name + u"]\n"_s);
        QCOMPARE(F->Read(u"Data/photos/2009/"_s + name), pngOf({ 30, 20 }, Qt::red));
        QVERIFY(form.findChild<TPictureRow *>()->isVisible());
    }

    void aPastedImageComesInAndAnythingElseIsRefusedByName()
    {
        TForm1 &form = F->Start();
        auto *image = new QMimeData;
        image->setImageData(QImage(8, 8, QImage::Format_RGB32));
        QGuiApplication::clipboard()->setMimeData(image);
        form.KivDiaryEdit1->paste();
        QVERIFY(PictureOfLine(form.KivDiaryEdit1->toPlainText().section(u'\n', 0, 0)));

        F->Write(u"memo.txt"_s, "not a picture");
        QGuiApplication::clipboard()->setMimeData(filesOf({ u"memo.txt"_s }));
        const QString before = form.KivDiaryEdit1->toPlainText();
        form.KivDiaryEdit1->paste();
        QCOMPARE(form.KivDiaryEdit1->toPlainText(), before);
        auto *notice = form.KivDiaryEdit1->findChild<QLabel *>(u"RefusedNotice"_s);
        QVERIFY(notice->text().contains(u"「memo.txt」"_s));
        QCOMPARE(PictureFilesIn(u"Data/"_s).size(), 1);
    }

    void thePopupEntryAddsTheChosenPictures()
    {
        TForm1 &form = F->Start();
        F->Write(u"a.png"_s, pngOf({ 4, 4 }, Qt::blue));
        F->Write(u"b.png"_s, pngOf({ 4, 4 }, Qt::green));
        F->Person.Next = { TReply(TAnswer::Yes, QStringList { u"a.png"_s, u"b.png"_s }) };
        QCOMPARE(form.NPicture->shortcut(), QKeySequence(u"Ctrl+G"_s));
        form.NPicture->trigger();
        QCOMPARE(F->Person.Asked.size(), 1);
        QCOMPARE(F->Person.Asked[0].Kind, TQuestionKind::PictureFiles);
        QCOMPARE(PicturesOfText(form.KivDiaryEdit1->toPlainText()).size(), 2);
    }

    void theViewerGoesThroughTheDaysPicturesAndEscCloses()
    {
        TForm1 &form = F->Start();
        form.show();
        QStringList names;
        for (const QColor colour : { Qt::red, Qt::blue }) {
            names << AddPictureBytes(
                u"Data/"_s, pngOf({ 50, 30 }, colour), QDate(2009, 3, 10), u"x"_s)
                         .Name;
        }
        form.KivDiaryEdit1->setPlainText(PictureLine(names[0]) + u'\n' + PictureLine(names[1]));
        auto *row = form.findChild<TPictureRow *>();
        QCOMPARE(row->Names(), names);
        QTRY_VERIFY(row->Button(1) && !row->Button(1)->icon().isNull());
        // Tab goes from the text to the pictures.
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.KivDiaryEdit1->setFocus();
        QTest::keyClick(form.KivDiaryEdit1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), row->Button(0));
        QTest::mouseClick(row->Button(0), Qt::LeftButton);
        auto *viewer = form.findChild<TPictureViewer *>();
        QVERIFY(viewer && viewer->isVisible());
        QCOMPARE(viewer->Index(), 0);
        QTest::keyClick(viewer, Qt::Key_Right);
        QCOMPARE(viewer->Index(), 1);
        QVERIFY(viewer->windowTitle().contains(names[1]));
        QTest::keyClick(viewer, Qt::Key_Right);
        QCOMPARE(viewer->Index(), 1);
        const QPointer<TPictureViewer> open(viewer);
        QTest::keyClick(viewer, Qt::Key_Escape);
        QTRY_VERIFY(!open);
    }

    void onThisDaySaysADayHasPictures()
    {
        F->Write(kYearFile,
            F->YearFile(2009, {})
                + "!------------\r\n![2009/03/10]\r\n!------------\r\n"
                  "[\x8E\xCA\x90\x5E 2009-03-10_0123abcd.png]\r\n"
                  "[\x8E\xCA\x90\x5E 2009-03-10_4567abcd.png]\r\n");
        F->Write(u"Data/2008.jnl"_s,
            F->YearFile(2008, {}) + "!------------\r\n![2008/03/10]\r\n!------------\r\nx\r\n");
        TForm1 &form = F->Start();
        form.ActOnThisDay->trigger();
        auto *list = form.findChild<QListWidget *>();
        QVERIFY(list && list->count() == 2);
        QVERIFY2(list->item(0)->text().contains(u"2009/03/10(火) [写真2枚]"_s),
            qPrintable(list->item(0)->text()));
        QVERIFY(!list->item(1)->text().contains(u"写真"_s));
    }

    void aThumbnailIsTurnedAsItsExifSaysAndKept()
    {
        F->Write(u"turned.jpg"_s, turnedJpeg());
        const QImage thumbnail
            = PictureThumbnail(u"turned.jpg"_s, u"2009-03-10_00000000.jpg"_s, 56);
        QCOMPARE(thumbnail.size(), QSize(20, 40));
        QVERIFY(
            QFileInfo::exists(DiaryCacheFolder() + u"thumbnails/2009-03-10_00000000.jpg-56.png"_s));
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
