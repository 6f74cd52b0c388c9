#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace nvx {

// The desktop's "reduce motion" wish. Linux desktops keep it as their
// animation switch: GTK's gtk-enable-animations in gtk-3.0/gtk-4.0
// settings.ini and KDE's AnimationDurationFactor in kdeglobals, all under
// the user's configuration folder. Reduce-motion is on when any of them
// turns animations off, and off when none is readable. The files are
// watched, so a change made while the window is open is followed.
class ReduceMotion : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool enabled READ enabled NOTIFY enabledChanged)

public:
    // Watches the files below `configFolder` ($XDG_CONFIG_HOME or ~/.config
    // when empty).
    explicit ReduceMotion(const QString& configFolder = QString(), QObject* parent = nullptr);

    // The instance for this user's desktop, made on first use on the main thread.
    static ReduceMotion* desktop();

    bool enabled() const { return enabled_; }

    // false when the text switches GTK animations off, true when it switches
    // them on, nullopt when it does not say.
    static std::optional<bool> gtkAnimationsEnabled(const QString& settingsIni);
    // The same for KDE's kdeglobals: a duration factor of 0 switches them off.
    static std::optional<bool> kdeAnimationsEnabled(const QString& kdeglobals);

signals:
    void enabledChanged();

private:
    void reread();
    void watchFiles();

    QString configFolder_;
    QFileSystemWatcher watcher_;
    bool enabled_ = false;
};

}  // namespace nvx
