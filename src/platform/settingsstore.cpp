#include "settingsstore.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
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

} // namespace

QString QtSettingsStore::get(const QString& app, const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, app, app);
    const Location loc = locate(s, section, key);
    if (loc.key.isEmpty())
        return defaultValue;
    const QVariant v = s.value(loc.group + QLatin1Char('/') + loc.key);
    // A hand-edited value with commas comes back as a list; values are plain text here.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

bool QtSettingsStore::save(const QString& app, const QString& section, const QString& key,
                           const QString& value)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, app, app);
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
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, app, app);
    const Location loc = locate(s, section, key);
    if (!loc.key.isEmpty())
        s.remove(loc.group + QLatin1Char('/') + loc.key);
}

QString QtSettingsStore::fileName(const QString& app) const
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, app, app).fileName();
}

QString QtSettingsStore::unreadableFile(const QString& app) const
{
    const QString path =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, app, app).fileName();
    if (!QFileInfo::exists(path))
        return {};
    QFile f(path);
    if (QFileInfo(path).isFile() && f.open(QIODevice::ReadOnly))
        return {};
    return path;
}

} // namespace dorvel
