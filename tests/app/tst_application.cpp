// The application object and the box services: an exception that leaves a handler is shown in
// the error box and the program goes on; an unattended program shows no box but still says
// everything on stderr.

#include "AppServices.h"
#include "Application.h"
#include "ColorScheme.h"
#include "DiaryWindowFixture.h"
#include "Exceptions.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <optional>
#include <stdexcept>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QEvent::Type kThrowEvent = QEvent::Type(QEvent::User + 1);

// Throws from its event handler, as a window handler whose store call fails would.
class TThrowing : public QObject {
public:
    std::function<void()> Throw;
    int Handled = 0;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != kThrowEvent)
            return QObject::event(event);
        ++Handled;
        Throw();
        return true;
    }
};

// The desktop portal's settings as the portal answers them, on a thread of its own so that a
// caller on the main thread can block for the answer.
class TFakePortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    uint Scheme = 0;

public slots:
    QDBusVariant Read(const QString &group, const QString &key)
    {
        const bool asked = group == u"org.freedesktop.appearance"_s && key == u"color-scheme"_s;
        return QDBusVariant(QVariant::fromValue(QDBusVariant(asked ? Scheme : 0u)));
    }
};

// Collects what the program writes on stderr while it lives.
class TStderrCapture {
public:
    TStderrCapture()
    {
        File.open();
        std::fflush(stderr);
        FSaved = ::dup(STDERR_FILENO);
        ::dup2(File.handle(), STDERR_FILENO);
    }
    ~TStderrCapture() { Restore(); }

    QByteArray Text()
    {
        Restore();
        File.seek(0);
        return File.readAll();
    }

private:
    void Restore()
    {
        if (FSaved < 0)
            return;
        std::fflush(stderr);
        ::dup2(FSaved, STDERR_FILENO);
        ::close(FSaved);
        FSaved = -1;
    }

    QTemporaryFile File;
    int FSaved = -1;
};

} // namespace

class TestApplication : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        SetApplicationTitle(u"KIV-N's Diary"_s);
        Person = std::make_unique<TStandIn>();
    }

    void cleanup()
    {
        Person.reset();
        SetUnattended(false);
    }

    void exceptionLeavingAHandlerIsShownAndTheProgramGoesOn_data()
    {
        QTest::addColumn<std::function<void()>>("thrower");
        QTest::addColumn<QString>("message");
        QTest::newRow("store error")
            << std::function<void()>([] { throw EKivDiaryError(u"日記データが異常です。"_s); })
            << u"日記データが異常です。"_s;
        QTest::newRow("abnormal year, not a store error")
            << std::function<void()>([] { throw EAbnormalYear(u"年が有効範囲外です。"_s); })
            << u"年が有効範囲外です。"_s;
        QTest::newRow("standard exception")
            << std::function<void()>([] { throw std::runtime_error("disk full"); })
            << u"disk full"_s;
    }

    void exceptionLeavingAHandlerIsShownAndTheProgramGoesOn()
    {
        QFETCH(std::function<void()>, thrower);
        QFETCH(QString, message);
        TThrowing target;
        target.Throw = thrower;

        // Sent directly, and posted into a running event loop that must keep running.
        QEvent sent(kThrowEvent);
        QCoreApplication::sendEvent(&target, &sent);
        QEventLoop loop;
        QCoreApplication::postEvent(&target, new QEvent(kThrowEvent));
        QCoreApplication::postEvent(&target, new QEvent(kThrowEvent));
        QTimer::singleShot(0, &loop, &QEventLoop::quit);
        loop.exec();

        QCOMPARE(target.Handled, 3);
        QCOMPARE(Person->Told.size(), 3);
        for (const auto &[kind, text] : Person->Told) {
            QCOMPARE(kind, TBoxKind::Error);
            QCOMPARE(text, message);
        }
    }

    void unknownExceptionStillGetsABox()
    {
        TThrowing target;
        target.Throw = [] { throw 42; };
        QEvent sent(kThrowEvent);
        QCoreApplication::sendEvent(&target, &sent);
        QCOMPARE(Person->Told.size(), 1);
        QVERIFY(!Person->Told.first().second.isEmpty());
    }

    void unattendedProgramShowsNoBoxButSaysEverythingOnStderr()
    {
        SetUnattended(true);
        TStderrCapture capture;
        ShowMessageBox(u"[Data/2009.jnl]を作成します。"_s);
        ShowErrorBox(u"ファイル Data/2009.jnl を作成できません"_s);
        const QString written = QString::fromUtf8(capture.Text());

        QVERIFY(Person->Told.isEmpty());
        QVERIFY2(written.contains(u"KIV-N's Diary: [Data/2009.jnl]を作成します。\n"_s),
            qPrintable(written));
        QVERIFY2(
            written.contains(u"ファイル Data/2009.jnl を作成できません"_s), qPrintable(written));
    }

    // A question box and a chooser, answered by the stand-in or, with nobody there, by the
    // answer that changes nothing; no dialog is ever shown.
    void questionsGetTheStandInsAnswersOrTheSafeOne_data()
    {
        QTest::addColumn<bool>("unattended");
        QTest::addColumn<QList<TReply>>("queued");
        QTest::addColumn<TAnswer>("answer");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("asked");
        const QList<TReply> both { TAnswer::Folder, { TAnswer::Yes, u"in"_s } };
        QTest::newRow("queued answers in turn") << false << both << TAnswer::Folder << u"in"_s << 2;
        QTest::newRow("queue used up")
            << false << QList<TReply>() << TAnswer::Cancel << QString() << 2;
        QTest::newRow("unattended") << true << both << TAnswer::Cancel << QString() << 0;
    }
    void questionsGetTheStandInsAnswersOrTheSafeOne()
    {
        QFETCH(bool, unattended);
        QFETCH(QList<TReply>, queued);
        SetUnattended(unattended);
        Person->Next = queued;
        const TAnswer answer = Ask({ TQuestionKind::ImportFrom, {}, u"どこから?"_s,
            { { TAnswer::Files, u"ファイル"_s }, { TAnswer::Folder, u"フォルダ"_s },
                { TAnswer::Cancel, u"やめる"_s } },
            TAnswer::Files, TAnswer::Cancel });
        const QVariant chosen = Choose({ TQuestionKind::ImportFolder, {} }, [] {
            qFatal("a dialog was shown");
            return QVariant();
        });
        QTEST(answer, "answer");
        QTEST(chosen.toString(), "chosen");
        QTEST(int(Person->Asked.size()), "asked");
    }

    // A diary that is not installed has no theme icon: the built-in one serves every size.
    void builtInIconWhenTheThemeLacksIt()
    {
        QIcon::setThemeSearchPaths({});
        const QIcon icon = DiaryIcon();
        for (const int size : { 16, 48, 256 })
            QCOMPARE(icon.pixmap(size).size(), QSize(size, size));
    }

    // The portal's color-scheme on a bus of the test's own; no portal, no preference.
    void colorSchemeIsReadFromThePortal_data()
    {
        // The portal's own value: 1 dark, 2 light.
        QTest::addColumn<std::optional<uint>>("portalScheme");
        QTest::addColumn<TColorScheme>("scheme");
        QTest::newRow("dark") << std::optional<uint>(1) << TColorScheme::Dark;
        QTest::newRow("light") << std::optional<uint>(2) << TColorScheme::Light;
        QTest::newRow("no portal") << std::optional<uint>() << TColorScheme::NoPreference;
    }
    void colorSchemeIsReadFromThePortal()
    {
        QFETCH(std::optional<uint>, portalScheme);
        QFETCH(TColorScheme, scheme);
        QProcess daemon;
        daemon.start(u"dbus-daemon"_s, { u"--session"_s, u"--nofork"_s, u"--print-address"_s });
        if (!daemon.waitForStarted() || !daemon.waitForReadyRead(5000))
            QSKIP("dbus-daemon does not start");
        const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
        TFakePortal portal;
        QThread thread;
        portal.Scheme = portalScheme.value_or(0);
        portal.moveToThread(&thread);
        thread.start();
        const auto stop = qScopeGuard([&] {
            QDBusConnection::disconnectFromBus(u"portal"_s);
            QDBusConnection::disconnectFromBus(u"diary"_s);
            thread.quit();
            thread.wait();
            daemon.kill();
            daemon.waitForFinished();
        });
        if (portalScheme) {
            QDBusConnection bus = QDBusConnection::connectToBus(address, u"portal"_s);
            QVERIFY(bus.registerObject(
                u"/org/freedesktop/portal/desktop"_s, &portal, QDBusConnection::ExportAllSlots));
            QVERIFY(bus.registerService(u"org.freedesktop.portal.Desktop"_s));
        }
        QCOMPARE(PortalColorScheme(QDBusConnection::connectToBus(address, u"diary"_s)), scheme);
        // Asked without waiting, as the window asks at start-up: the same answer, later.
        std::optional<TColorScheme> answered;
        AskPortalColorScheme(QDBusConnection::connectToBus(address, u"diary"_s), this,
            [&answered](TColorScheme given) { answered = given; });
        QVERIFY(!answered);
        QTRY_VERIFY(answered);
        QCOMPARE(*answered, scheme);
    }

    // The menu's choice goes before the desktop's preference; the desktop's palette is kept
    // when it already is what the choice asks for.
    void colourChoiceGoesBeforeTheDesktop_data()
    {
        QTest::addColumn<TColorChoice>("choice");
        QTest::addColumn<TColorScheme>("desktopScheme");
        QTest::addColumn<bool>("desktopDark"); // the desktop's palette
        QTest::addColumn<bool>("dark");
        QTest::newRow("auto follows the portal")
            << TColorChoice::Auto << TColorScheme::Dark << false << true;
        QTest::newRow("auto, no preference")
            << TColorChoice::Auto << TColorScheme::NoPreference << true << true;
        QTest::newRow("light on a dark portal")
            << TColorChoice::Light << TColorScheme::Dark << false << false;
        QTest::newRow("light on a dark palette")
            << TColorChoice::Light << TColorScheme::NoPreference << true << false;
        QTest::newRow("dark without a portal")
            << TColorChoice::Dark << TColorScheme::NoPreference << false << true;
    }
    void colourChoiceGoesBeforeTheDesktop()
    {
        QFETCH(TColorChoice, choice);
        QFETCH(TColorScheme, desktopScheme);
        QFETCH(bool, desktopDark);
        const QPalette desktop = desktopDark
            ? SchemePalette(TColorScheme::Dark, QPalette(Qt::white))
            : QPalette(QColor(0xef, 0xef, 0xef));
        const QPalette shown = ChoicePalette(choice, desktopScheme, desktop);
        QTEST(shown.color(QPalette::Window).lightness() < 128, "dark");
        QCOMPARE(shown.color(QPalette::Base).lightness() < 128,
            shown.color(QPalette::Window).lightness() < 128);
    }

    // Chosen in the window's menu, the colours show at once and are the next start's.
    void colourChoiceIsKeptForTheNextStart()
    {
        TDiaryWindowFixture fixture;
        fixture.SetUp(QDateTime(QDate(2009, 5, 10), QTime(12, 0)));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(QDir::currentPath() + u"/config"_s));
        const QPalette before = QApplication::palette();
        const auto restore = qScopeGuard([&] {
            qunsetenv("XDG_CONFIG_HOME");
            QApplication::setPalette(before);
        });
        auto *follower = qApp->findChild<TColorSchemeFollower *>();
        QVERIFY(follower && follower->Choice() == TColorChoice::Auto);
        TForm1 &form = fixture.Start();
        auto *dark = form.PopupMenu1->findChild<QAction *>(u"NColourDark"_s);
        auto *automatic = form.PopupMenu1->findChild<QAction *>(u"NColourAuto"_s);
        QVERIFY(dark && automatic && automatic->isChecked());
        dark->trigger();
        QVERIFY(dark->isChecked() && !automatic->isChecked());
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 128);
        QCOMPARE(TColorSchemeFollower(nullptr).Choice(), TColorChoice::Dark);
        automatic->trigger();
        QCOMPARE(QApplication::palette().color(QPalette::Window), before.color(QPalette::Window));
        QCOMPARE(ReadColorChoice(), TColorChoice::Auto);
    }

private:
    std::unique_ptr<TStandIn> Person;
};

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
