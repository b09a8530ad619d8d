#include "ColorScheme.h"

#include "DiaryIdentity.h"
#include "FileWriter.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QStyleHints>
#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {

const QString kPortal = u"org.freedesktop.portal.Desktop"_s;
const QString kPortalPath = u"/org/freedesktop/portal/desktop"_s;
const QString kSettings = u"org.freedesktop.portal.Settings"_s;
const QString kAppearance = u"org.freedesktop.appearance"_s;
const QString kColorScheme = u"color-scheme"_s;
// A portal that takes longer is not waited for: the window opens in the desktop's palette.
constexpr int kPortalTimeoutMs = 300;

// The portal's answer: 1 prefers dark, 2 prefers light, anything else no preference. Read
// wraps the value in one variant more than SettingChanged does.
TColorScheme schemeOf(QVariant value)
{
    while (value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    switch (value.toUInt()) {
    case 1:
        return TColorScheme::Dark;
    case 2:
        return TColorScheme::Light;
    default:
        return TColorScheme::NoPreference;
    }
}

bool isDark(const QPalette &palette) { return palette.color(QPalette::Window).lightness() < 128; }

QPalette darkPalette()
{
    QPalette dark;
    const auto all
        = [&dark](QPalette::ColorRole role, QColor colour) { dark.setColor(role, colour); };
    all(QPalette::Window, QColor(0x35, 0x35, 0x35));
    all(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
    all(QPalette::Base, QColor(0x24, 0x24, 0x24));
    all(QPalette::AlternateBase, QColor(0x30, 0x30, 0x30));
    all(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
    all(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
    all(QPalette::ButtonText, QColor(0xe8, 0xe8, 0xe8));
    all(QPalette::BrightText, QColor(0xff, 0x60, 0x60));
    all(QPalette::Light, QColor(0x5a, 0x5a, 0x5a));
    all(QPalette::Midlight, QColor(0x48, 0x48, 0x48));
    all(QPalette::Mid, QColor(0x2c, 0x2c, 0x2c));
    all(QPalette::Dark, QColor(0x20, 0x20, 0x20));
    all(QPalette::Shadow, QColor(0x10, 0x10, 0x10));
    all(QPalette::Highlight, QColor(0x2f, 0x6f, 0xb5));
    all(QPalette::HighlightedText, QColor(0xff, 0xff, 0xff));
    all(QPalette::Link, QColor(0x6c, 0xb0, 0xff));
    all(QPalette::LinkVisited, QColor(0xc0, 0x90, 0xff));
    // The notice by the caret stands out from the text it covers, as on a light desktop.
    all(QPalette::ToolTipBase, QColor(0x4d, 0x47, 0x20));
    all(QPalette::ToolTipText, QColor(0xf4, 0xf0, 0xd8));
    all(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
    // Disabled texts (and the calendar's days of other months) are dimmed, still readable.
    for (const QPalette::ColorRole role :
        { QPalette::WindowText, QPalette::Text, QPalette::ButtonText }) {
        dark.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    }
    dark.setColor(QPalette::Disabled, QPalette::Base, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::Disabled, QPalette::Button, QColor(0x35, 0x35, 0x35));
    return dark;
}

const char *const kChoiceWords[] = { "auto", "light", "dark" };

} // namespace

namespace {

// The question to the portal, which is never started for it.
QDBusMessage portalRead()
{
    QDBusMessage read = QDBusMessage::createMethodCall(kPortal, kPortalPath, kSettings, u"Read"_s);
    read << kAppearance << kColorScheme;
    read.setAutoStartService(false);
    return read;
}

TColorScheme schemeOfReply(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return TColorScheme::NoPreference;
    return schemeOf(reply.arguments().constFirst());
}

} // namespace

TColorScheme PortalColorScheme(const QDBusConnection &bus)
{
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kPortal))
        return TColorScheme::NoPreference;
    return schemeOfReply(bus.call(portalRead(), QDBus::Block, kPortalTimeoutMs));
}

void AskPortalColorScheme(
    const QDBusConnection &bus, QObject *context, const std::function<void(TColorScheme)> &answer)
{
    if (!bus.isConnected()) {
        answer(TColorScheme::NoPreference);
        return;
    }
    // Without a portal on the bus, the bus itself answers with an error at once.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(portalRead()), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, answer] {
        watcher->deleteLater();
        answer(schemeOfReply(watcher->reply()));
    });
}

QPalette SchemePalette(TColorScheme scheme, const QPalette &desktop)
{
    return scheme == TColorScheme::Dark && !isDark(desktop) ? darkPalette() : desktop;
}

QString ColorChoicePath() { return DiaryConfigFolder() + u"colours"_s; }

TColorChoice ReadColorChoice()
{
    QFile file(ColorChoicePath());
    if (!file.open(QIODevice::ReadOnly))
        return TColorChoice::Auto;
    const QByteArray word = file.read(16).trimmed();
    for (const TColorChoice choice : { TColorChoice::Light, TColorChoice::Dark }) {
        if (word == kChoiceWords[int(choice)])
            return choice;
    }
    return TColorChoice::Auto;
}

QPalette ChoicePalette(TColorChoice choice, TColorScheme desktopScheme, const QPalette &desktop)
{
    switch (choice) {
    case TColorChoice::Light:
        // Qt's palette made from a light button colour: dark text on white.
        return isDark(desktop) ? QPalette(QColor(0xef, 0xef, 0xef)) : desktop;
    case TColorChoice::Dark:
        return SchemePalette(TColorScheme::Dark, desktop);
    case TColorChoice::Auto:
        break;
    }
    return SchemePalette(desktopScheme, desktop);
}

TColorSchemeFollower::TColorSchemeFollower(QObject *parent)
    : QObject(parent)
    , FDesktop(QApplication::palette())
    , FChoice(ReadColorChoice())
{
    Show();
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    const auto fromQt = [] {
        switch (QGuiApplication::styleHints()->colorScheme()) {
        case Qt::ColorScheme::Dark:
            return TColorScheme::Dark;
        case Qt::ColorScheme::Light:
            return TColorScheme::Light;
        default:
            return TColorScheme::NoPreference;
        }
    };
    Apply(fromQt());
    connect(QGuiApplication::styleHints(), &QStyleHints::colorSchemeChanged, this,
        [this, fromQt] { Apply(fromQt()); });
#else
    // Without a session bus nothing answers; libdbus would otherwise try to launch one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        && !QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + u"/bus"_s))
        return;
    // Asked without waiting: the window is built and drawn meanwhile, in the desktop's palette
    // until the answer comes. A change heard before it is newer than the answer.
    QDBusConnection bus = QDBusConnection::sessionBus();
    AskPortalColorScheme(bus, this, [this](TColorScheme scheme) {
        if (!FPortalChanged)
            Apply(scheme);
    });
    bus.connect(kPortal, kPortalPath, kSettings, u"SettingChanged"_s, this,
        SLOT(SettingChanged(QString, QString, QDBusVariant)));
#endif
}

void TColorSchemeFollower::SettingChanged(
    const QString &group, const QString &key, const QDBusVariant &value)
{
    if (group == kAppearance && key == kColorScheme) {
        FPortalChanged = true;
        Apply(schemeOf(value.variant()));
    }
}

void TColorSchemeFollower::Apply(TColorScheme scheme)
{
    if (scheme == FDesktopScheme)
        return;
    FDesktopScheme = scheme;
    Show();
}

void TColorSchemeFollower::Show()
{
    const QPalette palette = ChoicePalette(FChoice, FDesktopScheme, FDesktop);
    // The desktop's own palette is left to Qt until something else was shown, so that Qt
    // still follows the desktop's changes of it.
    if (!FPaletteSet && palette == FDesktop)
        return;
    FPaletteSet = true;
    QApplication::setPalette(palette);
}

QString TColorSchemeFollower::Choose(TColorChoice choice)
{
    FChoice = choice;
    Show();
    const QString path = ColorChoicePath();
    if (!MakeFolders(QFileInfo(path).path()))
        return QString::fromLocal8Bit(std::strerror(errno));
    const TFileWrite written
        = ReplaceFile(path, QByteArray(kChoiceWords[int(choice)]) + '\n', AccessOfFile(path));
    return written ? QString() : written.Error;
}
