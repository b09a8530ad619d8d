#pragma once

#include <QObject>
#include <functional>

class QSessionManager;
class QSocketNotifier;
class TForm1;

// The ways of ending that do not come from the window itself: SIGTERM, SIGINT and SIGHUP, and
// the desktop session ending. Each ends the event loop the normal way, so the window is
// destroyed and its store makes the final save. Nobody may be there to answer a box at a
// signal, so the program becomes unattended first; the session manager says so at the session's
// end.
class TShutdown : public QObject {
    Q_OBJECT

public:
    explicit TShutdown(QObject *parent = nullptr);
    ~TShutdown() override; // puts the default signal dispositions back

    // Only one object may handle the signals at a time.
    bool InstallSignalHandlers();

    // Follows the desktop session: when it asks the program to save its data, the window's
    // text is committed and the year file saved at once. Also saves them should the process
    // be ended by exit() (a lost display connection) while the window exists, also while a box
    // of its final save waits.
    void WatchSession(TForm1 *form);
    // Once the window is destroyed, its final save made.
    void ReleaseWindow();

    // What the session's request to save its data runs: the text is committed and saved at
    // once, and the diary goes on. A box waits only when the session manager allows it (mayAsk).
    void SaveForSessionEnd(bool mayAsk);

    // True once a signal asked the program to end, also when no event loop ran then.
    bool EndRequested() const { return FEndRequested; }

private:
    void ReadSignals();
    void CommitData(QSessionManager &manager);

    QSocketNotifier *FNotifier = nullptr;
    TForm1 *FForm = nullptr;
    bool FEndRequested = false;
};
