// A Qt generic plugin for the Wayland test: a headless compositor has no seat, so no key can
// reach the diary. Loaded with QT_QPA_GENERIC_PLUGINS=kivlogtyping, it waits for the editor to
// be shown and hands it KIVLOG_TEST_TYPE as an input method's commit (as fcitx or ibus deliver
// Japanese text), then says "kivlog-typed" on stderr.

#include <QApplication>
#include <QGenericPlugin>
#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>

namespace {

class TTypist : public QObject {
public:
    explicit TTypist(QObject *parent)
        : QObject(parent)
    {
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, timer] {
            auto *edit = findEditor();
            if (!edit)
                return;
            timer->stop();
            QInputMethodEvent commit;
            commit.setCommitString(qEnvironmentVariable("KIVLOG_TEST_TYPE"));
            QCoreApplication::sendEvent(edit, &commit);
            std::fputs("kivlog-typed\n", stderr);
            std::fflush(stderr);
        });
        timer->start(100);
    }

private:
    static QPlainTextEdit *findEditor()
    {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            auto *edit = window->findChild<QPlainTextEdit *>(QStringLiteral("KivDiaryEdit1"));
            if (edit && edit->isVisible())
                return edit;
        }
        return nullptr;
    }
};

} // namespace

class TTypingPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "typing.json")

public:
    QObject *create(const QString &, const QString &) override { return new TTypist(nullptr); }
};

#include "TypingPlugin.moc"
