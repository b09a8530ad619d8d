#pragma once

#include <QDBusVariant>
#include <QObject>
#include <QPalette>
#include <functional>

class QDBusConnection;

// The desktop's preference between light and dark colours.
enum class TColorScheme { NoPreference, Light, Dark };

// Asked of the freedesktop portal (org.freedesktop.appearance color-scheme) on the bus; no
// preference when no portal answers there. The portal is never started for the question.
TColorScheme PortalColorScheme(const QDBusConnection &bus);
// The same without waiting: answer is called with it in context's thread once the bus replies
// (no preference when it cannot be asked), unless context is gone by then.
void AskPortalColorScheme(
    const QDBusConnection &bus, QObject *context, const std::function<void(TColorScheme)> &answer);

// The palette the diary shows under the scheme: the desktop's own unless the desktop prefers
// dark colours and its palette is light, which Qt's styles give wherever Qt has no answer of
// its own to the preference.
QPalette SchemePalette(TColorScheme scheme, const QPalette &desktop);

// The colours chosen in the window's popup menu: as the desktop prefers, or light or dark
// whatever it says. Kept per machine in the user's configuration folder, not with the diary,
// whose folder may be synced to machines with other desktops.
enum class TColorChoice { Auto, Light, Dark };
// $XDG_CONFIG_HOME/kivlog/colours, one word: auto, light or dark.
QString ColorChoicePath();
// Auto when nothing (or nothing known) is kept.
TColorChoice ReadColorChoice();
// The palette shown under the choice, the desktop preferring 'desktopScheme'.
QPalette ChoicePalette(TColorChoice choice, TColorScheme desktopScheme, const QPalette &desktop);

// Follows the desktop's preference from now on: Qt's own where it has one, else the portal's
// on the session bus, asked now without waiting (the answer comes once the window is up) and
// read again whenever the portal says it changed; a choice of light or dark colours in the menu
// goes before it.
class TColorSchemeFollower : public QObject {
    Q_OBJECT

public:
    explicit TColorSchemeFollower(QObject *parent);

    TColorChoice Choice() const { return FChoice; }
    // Shows the choice at once and keeps it for the next start; the reason when it could not
    // be kept.
    QString Choose(TColorChoice choice);

private slots:
    void SettingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void Apply(TColorScheme scheme);
    void Show();

    QPalette FDesktop;
    TColorScheme FDesktopScheme = TColorScheme::NoPreference;
    TColorChoice FChoice = TColorChoice::Auto;
    bool FPaletteSet = false;
    // Whether the portal said the preference changed: its answer to the first question is
    // older then.
    bool FPortalChanged = false;
};
