// Work the window leaves out of its start: the month calendar's arrows do not come from the
// icon theme, the font dialog is built only when it is first used, and the font configuration
// is read beforehand. The program runs with "-style windows", as a user may start it, to show
// that the style chosen still holds.

#include "Application.h"
#include "DiaryWindowFixture.h"

#include <QFontDialog>
#include <QImage>
#include <QProxyStyle>
#include <QToolButton>

namespace {

const QRgb kThemeColour = qRgb(255, 0, 0);

// An icon theme whose month arrows are plain red squares.
void writeProbeTheme(const QString &root)
{
    QDir().mkpath(root + u"/probe/16x16/actions"_s);
    TDiaryWindowFixture::Write(root + u"/probe/index.theme"_s,
        "[Icon Theme]\nName=probe\nDirectories=16x16/actions\n\n"
        "[16x16/actions]\nSize=16\nType=Fixed\n");
    QImage square(16, 16, QImage::Format_ARGB32);
    square.fill(kThemeColour);
    for (const char *name : { "go-previous", "go-next" })
        QVERIFY(square.save(root + u"/probe/16x16/actions/"_s + QLatin1String(name) + u".png"_s));
}

bool hasThemeColour(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage().pixel(8, 8) == kThemeColour;
}

bool hasVisiblePixels(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0)
                return true;
        }
    }
    return false;
}

} // namespace

class TestStartupWork : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(Themes.isValid());
        writeProbeTheme(Themes.path());
        QIcon::setThemeSearchPaths({ Themes.path() });
        QIcon::setThemeName(u"probe"_s);
    }

    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2009, 5, 10));
    }
    void cleanup() { F.reset(); }

    void styleChosenOnTheCommandLineStaysInForce()
    {
        auto *style = qobject_cast<QProxyStyle *>(QApplication::style());
        QVERIFY(style);
        QCOMPARE(style->baseStyle()->name(), u"windows"_s);
    }

    // Other widgets still get the theme's arrows; the calendar's own are Qt's, in every size
    // and state a button may ask for.
    void calendarArrowsAreQtsOwnAndOtherIconsTheThemes()
    {
        QWidget plain;
        QVERIFY(hasThemeColour(plain.style()->standardIcon(QStyle::SP_ArrowLeft, nullptr, &plain)));

        TForm1 &form = F->Start();
        for (const char *name : { "qt_calendar_prevmonth", "qt_calendar_nextmonth" }) {
            auto *button = form.MonthCalendar1->findChild<QToolButton *>(QLatin1String(name));
            QVERIFY(button);
            const QIcon icon = button->icon();
            QVERIFY(!icon.isNull());
            QVERIFY2(!hasThemeColour(icon), name);
            for (const int size : { 12, 16, 24, 32, 64 }) {
                const QImage image = icon.pixmap(QSize(size, size)).toImage();
                QCOMPARE(image.size(), QSize(size, size));
                QVERIFY2(hasVisiblePixels(image), name);
            }
            QVERIFY(icon.pixmap(16, 16, QIcon::Disabled).toImage()
                != icon.pixmap(16, 16, QIcon::Normal).toImage());
        }
        const auto arrow = [&form](const QString &name) {
            return form.MonthCalendar1->findChild<QToolButton *>(name)
                ->icon()
                .pixmap(16, 16)
                .toImage();
        };
        QVERIFY(arrow(u"qt_calendar_prevmonth"_s) != arrow(u"qt_calendar_nextmonth"_s));
    }

    void fontDialogIsBuiltOnFirstUseAsTheWindowsChild()
    {
        TForm1 &form = F->Start();
        QVERIFY(!form.FontDialog1.IsBuilt());
        QVERIFY(!form.findChild<QFontDialog *>());

        QFontDialog *dialog = form.FontDialog1;
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), u"FontDialog1"_s);
        QCOMPARE(dialog->parent(), static_cast<QObject *>(&form));
        // It opens on the window's font, as far as it can list that face.
        QFontDialog reference;
        reference.setCurrentFont(form.font());
        QCOMPARE(dialog->currentFont(), reference.currentFont());
        QCOMPARE(form.FontDialog1.Get(), dialog);
        QCOMPARE(form.findChildren<QFontDialog *>().size(), 1);

        // A dialog destroyed from elsewhere leaves no dangling component: the next use builds
        // another.
        delete dialog;
        QVERIFY(!form.FontDialog1.IsBuilt());
        QVERIFY(form.FontDialog1->objectName() == u"FontDialog1"_s);
        QCOMPARE(form.findChildren<QFontDialog *>().size(), 1);
    }

    // The reader is waited for by the window's first font lookup, or else when it goes; the
    // fonts the window then finds are those of the whole configuration.
    void fontConfigurationReaderEndsWhetherAwaitedOrNot()
    {
        {
            const TFontConfigurationReader reader;
            TFontConfigurationReader::Await();
            TFontConfigurationReader::Await();
        }
        {
            const TFontConfigurationReader reader;
        }
        TFontConfigurationReader::Await();
        const TFontConfigurationReader reader;
        TForm1 &form = F->Start();
        QCOMPARE(QFontInfo(form.Label1->font()).family(), u"IPAPGothic"_s);
        QCOMPARE(QFontInfo(form.LblYear->font()).family(), u"IPAGothic"_s);
    }

private:
    QTemporaryDir Themes;
    std::unique_ptr<TDiaryWindowFixture> F;
};

int main(int argc, char *argv[])
{
    std::vector<char *> arguments(argv, argv + argc);
    char style[] = "-style";
    char windows[] = "windows";
    arguments.push_back(style);
    arguments.push_back(windows);
    int count = static_cast<int>(arguments.size());
    TApplication app(count, arguments.data());
    TestStartupWork test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startupwork.moc"
