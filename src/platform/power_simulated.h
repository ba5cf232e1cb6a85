#pragma once

#include "power.h"

#include <functional>

namespace dorvel {

// For demos and tests: carries nothing out, reports each request through report (the app
// turns it into one event-log line and one activity line) and always succeeds.
class SimulatedPower final : public Power {
public:
    explicit SimulatedPower(std::function<void(const QString&)> report)
        : m_report(std::move(report))
    {}

    QList<PowerCheck> failedChecks(PowerRequest) override { return {}; }
    void powerOff() override;
    QString standbyWithWakeup(qint32 seconds) override;
    QString standbyUntilUser() override;
    void setSystemRequired(bool on) override;
    bool systemRequired() const override { return m_systemRequired; }
    void closeWakeTimer() override {}

private:
    void report(const QString& text)
    {
        if (m_report)
            m_report(text);
    }

    std::function<void(const QString&)> m_report;
    bool m_systemRequired = false;
};

} // namespace dorvel
