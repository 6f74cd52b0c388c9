#include "reduce_motion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

namespace nvx {

namespace {

const QStringList gtkFiles = {QStringLiteral("gtk-3.0/settings.ini"), QStringLiteral("gtk-4.0/settings.ini")};
const QString kdeFile = QStringLiteral("kdeglobals");

QString defaultConfigFolder() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : xdg;
}

QString readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.read(256 * 1024));
}

// The value of `key` in `section` of an ini text, or a null string.
QString iniValue(const QString& text, const QString& section, const QString& key) {
    QString current;
    const auto lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const auto equals = line.indexOf(QLatin1Char('='));
        if (current != section || equals < 0) continue;
        if (line.left(equals).trimmed() == key) return line.mid(equals + 1).trimmed();
    }
    return {};
}

}  // namespace

ReduceMotion::ReduceMotion(const QString& configFolder, QObject* parent)
    : QObject(parent), configFolder_(configFolder.isEmpty() ? defaultConfigFolder() : configFolder) {
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &ReduceMotion::reread);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &ReduceMotion::reread);
    watchFiles();
    reread();
}

ReduceMotion* ReduceMotion::desktop() {
    // Owned by the application object, so it goes when the application
    // does; made again if asked for after that.
    static QPointer<ReduceMotion> instance;
    if (!instance) instance = new ReduceMotion(QString(), QCoreApplication::instance());
    return instance;
}

std::optional<bool> ReduceMotion::gtkAnimationsEnabled(const QString& settingsIni) {
    const QString value = iniValue(settingsIni, QStringLiteral("Settings"), QStringLiteral("gtk-enable-animations"));
    if (value.isNull()) return std::nullopt;
    const QString lower = value.toLower();
    if (lower == QLatin1String("0") || lower == QLatin1String("false")) return false;
    if (lower == QLatin1String("1") || lower == QLatin1String("true")) return true;
    return std::nullopt;
}

std::optional<bool> ReduceMotion::kdeAnimationsEnabled(const QString& kdeglobals) {
    const QString value = iniValue(kdeglobals, QStringLiteral("KDE"), QStringLiteral("AnimationDurationFactor"));
    bool ok = false;
    const double factor = value.toDouble(&ok);
    if (!ok) return std::nullopt;
    return factor > 0.0;
}

void ReduceMotion::watchFiles() {
    // A file that is replaced by a rename drops out of the watch, and one
    // that does not exist yet cannot be watched: watch the folders too.
    QStringList paths;
    for (const auto& name : gtkFiles) {
        paths << configFolder_ + QLatin1Char('/') + name
              << QFileInfo(configFolder_ + QLatin1Char('/') + name).absolutePath();
    }
    paths << configFolder_ + QLatin1Char('/') + kdeFile << configFolder_;
    for (const auto& path : paths) {
        if (QFileInfo::exists(path) && !watcher_.files().contains(path) && !watcher_.directories().contains(path)) {
            watcher_.addPath(path);
        }
    }
}

void ReduceMotion::reread() {
    watchFiles();
    bool reduce = false;
    for (const auto& name : gtkFiles) {
        if (ReduceMotion::gtkAnimationsEnabled(readSmallFile(configFolder_ + QLatin1Char('/') + name)) == false) {
            reduce = true;
        }
    }
    if (kdeAnimationsEnabled(readSmallFile(configFolder_ + QLatin1Char('/') + kdeFile)) == false) reduce = true;
    if (reduce != enabled_) {
        enabled_ = reduce;
        emit enabledChanged();
    }
}

}  // namespace nvx
