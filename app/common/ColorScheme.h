#pragma once

#include <QDBusVariant>
#include <QObject>
#include <QPalette>

class QDBusConnection;

// The desktop's preference between light and dark colours.
enum class TColorScheme { NoPreference, Light, Dark };

// Asked of the freedesktop portal (org.freedesktop.appearance color-scheme) on the bus; no
// preference when no portal answers there. The portal is never started for the question.
TColorScheme PortalColorScheme(const QDBusConnection &bus);

// The palette the diary shows under the scheme: the desktop's own unless the desktop prefers
// dark colours and its palette is light, which Qt's styles give wherever Qt has no answer of
// its own to the preference.
QPalette SchemePalette(TColorScheme scheme, const QPalette &desktop);

// Follows the desktop's preference from now on: Qt's own where it has one, else the portal's
// on the session bus, read once now (before any window is built) and again whenever the
// portal says it changed.
class TColorSchemeFollower : public QObject {
    Q_OBJECT

public:
    explicit TColorSchemeFollower(QObject *parent);

private slots:
    void SettingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void Apply(TColorScheme scheme);

    QPalette FDesktop;
    TColorScheme FShown = TColorScheme::NoPreference;
};
