#pragma once

#include <QString>

namespace dorvel {

// The program's autostart entry ("Run entry"). Failures are silent by design: callers go on.
class Autostart {
public:
    virtual ~Autostart() = default;
    virtual void setRunEntry(const QString& name, const QString& command) = 0;
    virtual void deleteRunEntry(const QString& name) = 0;
};

} // namespace dorvel
