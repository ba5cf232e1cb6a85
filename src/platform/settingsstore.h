#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace dorvel {

// Per-user text values addressed by application, section and key. Section and key are
// matched without regard to letter case.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual QString get(const QString& app, const QString& section, const QString& key,
                        const QString& defaultValue) const = 0;
    // Returns false when the value could not be written (read-only file or folder, disk full);
    // the store then still holds the old value.
    virtual bool save(const QString& app, const QString& section, const QString& key,
                      const QString& value) = 0;
    virtual void remove(const QString& app, const QString& section, const QString& key) = 0;
    // Several keys of one section with their defaults, the values in the same order: for a
    // reader of many at once, from one reading of the file where the store has one.
    virtual QStringList getMany(const QString& app, const QString& section,
                                const QList<std::pair<QString, QString>>& keysAndDefaults) const
    {
        QStringList values;
        for (const auto& [key, defaultValue] : keysAndDefaults)
            values.append(get(app, section, key, defaultValue));
        return values;
    }
    // The application's settings file when it exists but cannot be read; empty otherwise.
    virtual QString unreadableFile(const QString& app) const
    {
        Q_UNUSED(app);
        return {};
    }

    // Deletes only after checking that the key exists.
    void removeIfExists(const QString& app, const QString& section, const QString& key)
    {
        if (get(app, section, key, QStringLiteral("***")) != QStringLiteral("***"))
            remove(app, section, key);
    }

    // Where the application's values live, for messages; empty when there is no such file.
    virtual QString fileName(const QString& app) const
    {
        Q_UNUSED(app);
        return {};
    }
};

// QSettings in native format: $XDG_CONFIG_HOME/<app>/<app>.conf, group = section.
// A new QSettings per call, because other programs may change the file at any time.
class QtSettingsStore final : public SettingsStore {
public:
    QString get(const QString& app, const QString& section, const QString& key,
                const QString& defaultValue) const override;
    QStringList getMany(const QString& app, const QString& section,
                        const QList<std::pair<QString, QString>>& keysAndDefaults) const override;
    bool save(const QString& app, const QString& section, const QString& key,
              const QString& value) override;
    void remove(const QString& app, const QString& section, const QString& key) override;
    QString fileName(const QString& app) const override;
    QString unreadableFile(const QString& app) const override;
};

} // namespace dorvel
