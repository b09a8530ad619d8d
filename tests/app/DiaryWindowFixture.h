#pragma once

// What every window test needs: a current folder of its own, a pinned clock, Japanese weekday
// names, and boxes answered by the test instead of a person.

#include "AppServices.h"
#include "DayNumber.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "MonthCalendar.h"
#include "Services.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace Qt::StringLiterals;

class TDiaryWindowFixture {
public:
    void SetUp(const QDateTime &now)
    {
        QVERIFY(Dir.isValid() && QDir::setCurrent(Dir.path()));
        qputenv("XDG_STATE_HOME", Dir.filePath(u"state"_s).toUtf8()); // the recovery files
        qputenv("XDG_DATA_HOME", Dir.filePath(u"share"_s).toUtf8()); // what cannot be saved
        Services = std::make_unique<TScopedDiaryServices>(TDiaryServices {
            [](const QString &text) { ShowMessageBox(text); }, [now] { return now; },
            [](int dayOfWeek) { return QString(u"月火水木金土日"[dayOfWeek - 1]); } });
    }

    ~TDiaryWindowFixture()
    {
        Form.reset();
        QDir::setCurrent(QDir::tempPath());
    }

    TForm1 &Start(const QStringList &arguments = {})
    {
        Form.reset();
        Form = std::make_unique<TForm1>(QStringList { u"kivlog"_s } + arguments);
        return *Form;
    }

    TKivDiary &Diary() const { return *Form->KivDiaryEdit1->Source(); }

    static QByteArray Read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void Write(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    // A year file with the given setting lines and no days.
    static QByteArray YearFile(int year, const QByteArrayList &settings)
    {
        QByteArray bytes = "!JNL 1.00 " + QByteArray::number(year) + "\r\n";
        if (!settings.isEmpty())
            bytes += "\r\n!" + settings.join("\r\n!") + "\r\n";
        return bytes + "\r\n";
    }

    // Types as an input method would: keyClicks cannot send Japanese text.
    static void Type(QWidget *widget, const QString &text)
    {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text, Qt::NoModifier);
    }

    QTemporaryDir Dir;
    std::unique_ptr<TScopedDiaryServices> Services;
    TStandIn Person;
    QList<std::pair<TBoxKind, QString>> &Boxes = Person.Told;
    std::unique_ptr<TForm1> Form;
};

inline QDateTime At(int year, int month, int day, QTime time = QTime(12, 0))
{
    return QDateTime(QDate(year, month, day), time);
}
