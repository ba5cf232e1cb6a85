#pragma once

// What must happen, worked out from the program's rules alone: which timer entries the
// scheduler starts, when, and with which command line. It shares no code with the program:
// it reads the database texts itself, does its own time-zone arithmetic and its own file
// names, so that a fault in the program's helpers cannot hide in the expectation too.

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimeZone>

namespace dorvel::sim {

// One RECORD row as the viewer stored it; `id` is the world's own name for it.
struct DbEntry {
    int id = 0;
    int channel = 0;
    QString title;      // SHORTDESC
    QString start, end; // "yyyy.MM.dd hh:nn"
    int pre = 0, post = 0;
};

// The switches every recording gets in this world.
struct ViewerSwitches {
    QString program;   // the viewer executable
    QString recordDir; // ends in "/"
    int delay = 500;
};

struct Figures {
    int entries = 0;        // rows the viewer stored in the year
    int due = 0;            // starts the rules demand
    int starts = 0;         // starts that happened
    int missed = 0;         // due, never started (or dropped unstarted)
    int doubled = 0;        // an entry started a second time
    int unexpected = 0;     // a start no rule asked for, or before its launch time
    int late = 0;           // started, but later than the first tick that could
    int wrongCommand = 0;   // started with another command line
    int takenOver = 0;      // late running entries started by a load
    int timedOutAtLoad = 0; // pending before a load that found them within the minute
    int unseen = 0;         // stored by the viewer, never loaded before their launch
};

class Oracle {
public:
    explicit Oracle(ViewerSwitches switches);

    // A load of the recordings runs at `at` (the user's button, or the load trying again).
    // `rows` is what the database holds then, `locked` whether another program holds its
    // lock, `recording` whether a viewer the scheduler started still runs.
    void loadRuns(const QDateTime& at, const QList<DbEntry>& rows, bool locked, bool recording);
    // The scheduler started the viewer. Checked at once, before the viewer writes its file.
    void viewerStarted(const QDateTime& at, const QString& program, const QStringList& args);
    // The machine slept by the user's hand (not by the program): nothing could start then.
    void machineAsleep(const QDateTime& from, const QDateTime& to);
    // A viewer that ignores close requests ran in this span: nothing could start then.
    void viewerBlocked(const QDateTime& from, const QDateTime& to);
    // The year is over: whatever was due and did not start is missed.
    void finish(const QDateTime& end, const QList<DbEntry>& everStored);

    const Figures& figures() const { return m_fig; }
    const QStringList& problems() const { return m_problems; }

    // Own arithmetic, public for the harness's schedule.
    static double serialOf(const QDateTime& instant);
    static double wallSerial(const QDateTime& naiveWall);
    // The first instant at or after `from` whose wall-clock serial is later than `serial`.
    static QDateTime firstInstantAfter(double serial, const QDateTime& from);
    static QString fileStem(const QString& title);

private:
    struct Due {
        DbEntry entry;
        double launch = 0;    // wall serial of the recording start
        QDateTime from;       // may not start before (the load that listed it)
        QDateTime takeOverAt; // valid: taken over by a load, starts at once
        int minutes = 0;
    };
    struct Started {
        DbEntry entry;
        QDateTime at;
        QStringList args;
    };

    QStringList expectedArgs(const Due& d) const;
    QDateTime earliest(const Due& d) const;
    static int recordingMinutes(const DbEntry& e);
    // The instant a wall-clock time means: on the autumn night the first or the second
    // showing; in the hour the spring night skips, the jump.
    static QDateTime instantOfWall(const QDateTime& naiveWall, bool first);
    void problem(const QString& text);

    ViewerSwitches m_sw;
    QList<Due> m_queue; // in launch order; a take-over first
    QHash<int, Started> m_started;
    QList<std::pair<QDateTime, QDateTime>> m_asleep, m_blocked;
    QDateTime m_lastStart;
    QHash<int, bool> m_everListed;
    Figures m_fig;
    QStringList m_problems;
};

} // namespace dorvel::sim
