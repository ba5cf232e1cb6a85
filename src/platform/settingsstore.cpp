#include "settingsstore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace dorvel {

namespace {

QString findCaseless(const QStringList& names, const QString& wanted)
{
    for (const QString& n : names) {
        if (n.compare(wanted, Qt::CaseInsensitive) == 0)
            return n;
    }
    return {};
}

// The stored spelling of section/key, so that "startup" finds "[Startup]".
struct Location {
    QString group;
    QString key;
};

Location locate(QSettings& s, const QString& section, const QString& key)
{
    Location loc{findCaseless(s.childGroups(), section), {}};
    if (loc.group.isEmpty())
        return loc;
    s.beginGroup(loc.group);
    loc.key = findCaseless(s.childKeys(), key);
    s.endGroup();
    return loc;
}

// The one file of the application's values. Named directly rather than by organisation and
// application: Qt would then also look for three files nobody writes (under /etc/xdg and one
// folder up), on every read.
QString settingsPath(const QString& app)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + app + QLatin1Char('/') + app + QStringLiteral(".conf");
}

} // namespace

QString QtSettingsStore::get(const QString& app, const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    return getMany(app, section, {{key, defaultValue}}).constFirst();
}

QStringList
QtSettingsStore::getMany(const QString& app, const QString& section,
                         const QList<std::pair<QString, QString>>& keysAndDefaults) const
{
    QSettings s(settingsPath(app), QSettings::NativeFormat);
    const QString group = findCaseless(s.childGroups(), section);
    QStringList stored;
    if (!group.isEmpty()) {
        s.beginGroup(group);
        stored = s.childKeys();
    }
    QStringList values;
    for (const auto& [key, defaultValue] : keysAndDefaults) {
        const QString found = findCaseless(stored, key);
        if (found.isEmpty()) {
            values.append(defaultValue);
            continue;
        }
        const QVariant v = s.value(found);
        // A hand-edited value with commas comes back as a list; values are plain text here.
        values.append(v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(','))
                                                           : v.toString());
    }
    return values;
}

bool QtSettingsStore::save(const QString& app, const QString& section, const QString& key,
                           const QString& value)
{
    QSettings s(settingsPath(app), QSettings::NativeFormat);
    Location loc = locate(s, section, key);
    const QString group = loc.group.isEmpty() ? section : loc.group;
    const QString k = loc.key.isEmpty() ? key : loc.key;
    const QString path = group + QLatin1Char('/') + k;
    const QVariant old = s.value(path);
    // Each start saves the database path it found: an unchanged value needs no rewrite of
    // the file, which would cost the start a flush to disk.
    if (old.isValid() && old.toString() == value)
        return true;
    s.setValue(path, value);
    // Written now, so that a read-only file or a full disk is known to the caller.
    s.sync();
    if (s.status() == QSettings::NoError)
        return true;
    // Qt keeps unwritten values in a cache shared by the whole process; later reads must
    // see what the file really holds.
    if (old.isValid())
        s.setValue(path, old);
    else
        s.remove(path);
    return false;
}

void QtSettingsStore::remove(const QString& app, const QString& section, const QString& key)
{
    QSettings s(settingsPath(app), QSettings::NativeFormat);
    const Location loc = locate(s, section, key);
    if (!loc.key.isEmpty())
        s.remove(loc.group + QLatin1Char('/') + loc.key);
}

QString QtSettingsStore::fileName(const QString& app) const
{
    return settingsPath(app);
}

QString QtSettingsStore::unreadableFile(const QString& app) const
{
    const QString path = settingsPath(app);
    if (!QFileInfo::exists(path))
        return {};
    QFile f(path);
    if (QFileInfo(path).isFile() && f.open(QIODevice::ReadOnly))
        return {};
    return path;
}

} // namespace dorvel
