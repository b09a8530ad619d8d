// The application object and the box services: an exception that leaves a handler is shown in
// the error box and the program goes on; an unattended program shows no box but still says
// everything on stderr.

#include "AppServices.h"
#include "Application.h"
#include "Exceptions.h"

#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>
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
        Boxes.clear();
        SetApplicationTitle(u"KIV-N's Diary"_s);
        SetBoxHook([this](TBoxKind kind, const QString &text) { Boxes.append({ kind, text }); });
    }

    void cleanup()
    {
        SetBoxHook(nullptr);
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
        QCOMPARE(Boxes.size(), 3);
        for (const auto &[kind, text] : Boxes) {
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
        QCOMPARE(Boxes.size(), 1);
        QVERIFY(!Boxes.first().second.isEmpty());
    }

    void unattendedProgramShowsNoBoxButSaysEverythingOnStderr()
    {
        SetUnattended(true);
        TStderrCapture capture;
        ShowMessageBox(u"[Data/2009.jnl]を作成します。"_s);
        ShowErrorBox(u"ファイル Data/2009.jnl を作成できません"_s);
        const QString written = QString::fromUtf8(capture.Text());

        QVERIFY(Boxes.isEmpty());
        QVERIFY2(written.contains(u"KIV-N's Diary: [Data/2009.jnl]を作成します。\n"_s),
            qPrintable(written));
        QVERIFY2(
            written.contains(u"ファイル Data/2009.jnl を作成できません"_s), qPrintable(written));
    }

    // A diary that is not installed has no theme icon: the built-in one serves every size.
    void builtInIconWhenTheThemeLacksIt()
    {
        QIcon::setThemeSearchPaths({});
        const QIcon icon = DiaryIcon();
        for (const int size : { 16, 48, 256 })
            QCOMPARE(icon.pixmap(size).size(), QSize(size, size));
    }

private:
    QList<std::pair<TBoxKind, QString>> Boxes;
};

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_application.moc"
