#pragma once

#include "autostart.h"

#include <QString>
#include <QStringList>

namespace dorvel {

// The autostart entry as an XDG autostart file: $XDG_CONFIG_HOME/autostart/<name>.desktop.
class LinuxAutostart final : public Autostart {
public:
    // Empty folder: $XDG_CONFIG_HOME/autostart, or ~/.config/autostart.
    explicit LinuxAutostart(QString folder = {});

    void setRunEntry(const QString& name, const QString& program, const QStringList& args) override;
    void deleteRunEntry(const QString& name) override;

    QString entryPath(const QString& name) const;

    // The Exec= value for a program and its arguments, quoted and escaped as a desktop
    // entry's string value.
    static QString execValue(const QString& program, const QStringList& args);

private:
    QString m_folder;
};

} // namespace dorvel
