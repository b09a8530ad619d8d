// A platform input context for the window tests that behaves as the Japanese input methods were
// seen to behave with the diary. Loaded with QT_IM_MODULE=kivlogcomposing, it is found as the
// application's property "kivlogComposing"; its property "framework" says which one it plays:
//   "ibus":   commit() hands the composition over at once as a commit, and the engine's reset
//             then delivers its own commit of the same text a moment later, to whatever has the
//             focus by then;
//   "fcitx5": commit() leaves the composition alone and reset() hands it over; a change of
//             focus object while composing drops it.
// compose(text) shows text as the composition in the focus object, as a typed word would.

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QPointer>
#include <QTimer>
#include <QVariant>
#include <qpa/qplatforminputcontext.h>
#include <qpa/qplatforminputcontextplugin_p.h>

namespace {

class TComposing : public QPlatformInputContext {
    Q_OBJECT

public:
    TComposing()
    {
        QCoreApplication::instance()->setProperty(
            "kivlogComposing", QVariant::fromValue<QObject *>(this));
    }

    bool isValid() const override { return true; }

    Q_INVOKABLE void compose(const QString &text)
    {
        FPreedit = text;
        FComposingIn = QGuiApplication::focusObject();
        QInputMethodEvent event(text, {});
        send(FComposingIn, event);
    }

    void commit() override
    {
        if (!ibus() || FPreedit.isEmpty())
            return;
        const QString text = std::exchange(FPreedit, QString());
        QInputMethodEvent event;
        event.setCommitString(text);
        send(QGuiApplication::focusObject(), event);
        deliverLate(text);
    }

    void reset() override
    {
        if (FPreedit.isEmpty())
            return;
        const QString text = std::exchange(FPreedit, QString());
        if (ibus()) {
            deliverLate(text);
            return;
        }
        QInputMethodEvent event;
        event.setCommitString(text);
        send(QGuiApplication::focusObject(), event);
    }

    // ibus was seen to confirm a composition clicked at either end as commit() does.
    void invokeAction(QInputMethod::Action action, int cursorPosition) override
    {
        if (ibus() && action == QInputMethod::Click
            && (cursorPosition <= 0 || cursorPosition >= FPreedit.size())) {
            commit();
            return;
        }
        QPlatformInputContext::invokeAction(action, cursorPosition);
    }

    void setFocusObject(QObject *object) override
    {
        if (ibus() || FPreedit.isEmpty() || object == FComposingIn)
            return;
        FPreedit.clear();
        QInputMethodEvent dropped;
        send(FComposingIn, dropped);
    }

private:
    bool ibus() const { return property("framework").toString() == u"ibus"; }

    static void send(QObject *to, QInputMethodEvent &event)
    {
        if (to)
            QCoreApplication::sendEvent(to, &event);
    }

    // The engine's own commit comes back over the bus after the call that asked for it.
    void deliverLate(const QString &text)
    {
        QTimer::singleShot(0, this, [text] {
            QInputMethodEvent event;
            event.setCommitString(text);
            send(QGuiApplication::focusObject(), event);
        });
    }

    QString FPreedit;
    QPointer<QObject> FComposingIn;
};

} // namespace

class TComposingPlugin : public QPlatformInputContextPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QPlatformInputContextFactoryInterface_iid FILE "composing.json")

public:
    QPlatformInputContext *create(const QString &, const QStringList &) override
    {
        return new TComposing;
    }
};

#include "ComposingPlugin.moc"
