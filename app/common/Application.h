#pragma once

#include <QApplication>
#include <QIcon>
#include <thread>

// The diary's application object. An exception that leaves an event handler ends up here and
// is shown in the standard error box; the program then goes on with the next event.
class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // With KIVLOG_STARTUP_TRACE set, prints on stderr when the first window is mapped and when
    // the program is idle after the editor's first paint, for the start-up benchmark. Lines read
    // "kivlog-trace <what> <CLOCK_MONOTONIC seconds>".
    void StartTraceWhenAsked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool FMapped = false;
    bool FPainted = false;
};

// The diary's icon: "kivlog" from the desktop's icon theme when the diary is installed, else
// the one built into the program.
QIcon DiaryIcon();

// The "main" trace line, first thing in main(), before the application object exists.
void StartupTraceAtEntry();

// Prints one trace line when KIVLOG_STARTUP_TRACE is in force, nothing otherwise. Tests use the
// "box" line to know that a message box waits.
void StartupTrace(const char *what);

// Reads the font configuration (fontconfig's files and font caches, the largest part of the
// first font lookup) on a thread of its own that runs only while a processor would otherwise
// idle, as while the application object waits for the display server. The first font lookup
// awaits it; destroying the reader lets the thread finish too.
class TFontConfigurationReader {
public:
    TFontConfigurationReader();
    ~TFontConfigurationReader();
    TFontConfigurationReader(const TFontConfigurationReader &) = delete;
    TFontConfigurationReader &operator=(const TFontConfigurationReader &) = delete;

    // Lets the running reader, if any, finish at normal priority and waits for it: Qt reading
    // the configuration a second time alongside would cost more than the rest of the reading.
    static void Await();

private:
    std::thread FThread;
};
