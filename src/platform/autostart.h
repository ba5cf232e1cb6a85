#pragma once

#include <QString>
#include <QStringList>

namespace dorvel {

// The program's autostart entry ("Run entry") under a value name. The command is a program
// and its arguments, so that a folder with blanks or quotes survives the entry's quoting.
// Failures are silent by design: callers go on.
class Autostart {
public:
    virtual ~Autostart() = default;
    virtual void setRunEntry(const QString& name, const QString& program,
                             const QStringList& args) = 0;
    virtual void deleteRunEntry(const QString& name) = 0;
};

} // namespace dorvel
