#pragma once

#include "datetime.h"

#include <QDateTime>

namespace dorvel {

// Local wall-clock time, injected so that tests can advance it by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    double nowSerial() const { return toDaySerial(now()); }
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace dorvel
