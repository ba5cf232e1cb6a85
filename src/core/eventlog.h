#pragma once

#include <QString>

#include <functional>

namespace dorvel {

class Clock;
struct Settings;

// The optional event log "Dorvel.log": one UTF-8 line per event, the date-time in the default
// text form immediately followed by the event text (which brings its own leading blanks).
// Every line is a complete open-append-close, so other programs may read between events.
class EventLog {
public:
    EventLog(const Clock& clock, const Settings& settings) : m_clock(clock), m_settings(settings) {}

    void setPath(const QString& path) { m_path = path; }
    QString path() const { return m_path; }

    // Every line also goes to the mirror (standard error in the program), whether or not
    // SaveLog is on: the file is the user's choice, the journal is where Linux looks.
    void setMirror(std::function<void(const QString& line)> mirror)
    {
        m_mirror = std::move(mirror);
    }

    // Writes to the file only while SaveLog is on. A failed write is dropped: it must never
    // stop the scheduler. Returns whether the line reached the file.
    bool writeLine(const QString& text);
    // Creates the file with its header line when it does not exist yet.
    void start();

private:
    bool append(const QString& line);

    const Clock& m_clock;
    const Settings& m_settings;
    QString m_path;
    std::function<void(const QString&)> m_mirror;
};

} // namespace dorvel
