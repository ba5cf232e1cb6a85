#pragma once

// What must happen, worked out from the rules alone: which timer entries start, when, and with
// which command line. It shares no code with the program (own database texts, own time-zone
// arithmetic, own file names), so a fault in the program's helpers cannot hide in it too.

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace dorvel::sim {

// One RECORD row as the viewer stored it; `id` is the world's own name for it.
struct DbEntry {
    int id = 0;
    int channel = 0;
    QString title;      // SHORTDESC
    QString start, end; // "yyyy.MM.dd hh:nn"
    int pre = 0, post = 0;
};

// The faults the year must not show.
const QStringList kFaults{"missed", "doubled", "wrong command line", "late", "unexpected"};

class Oracle {
public:
    static constexpr double kMin = 0.000694444; // the rules' minute, in days

    Oracle(QString program, QString recordDir) : m_program(program), m_recDir(recordDir)
    {
        for (const QString& k : kFaults + QStringList{"due", "starts", "taken over",
                                                      "timed out at a load", "never loaded"})
            figures[k] = 0;
    }

    static double wallSerial(const QDateTime& w)
    {
        return double(w.date().toJulianDay() - QDate(1899, 12, 30).toJulianDay()) +
               double(w.time().msecsSinceStartOfDay()) / 86400000.0;
    }
    static double serialOf(const QDateTime& instant)
    {
        const QDateTime l = instant.toTimeZone(QTimeZone::systemTimeZone());
        return wallSerial(QDateTime(l.date(), l.time(), Qt::UTC));
    }
    static QDateTime naive(const QString& dbText)
    {
        const QDateTime t = QDateTime::fromString(dbText, QStringLiteral("yyyy.MM.dd HH:mm"));
        return QDateTime(t.date(), t.time(), Qt::UTC);
    }
    // The instant a wall-clock time means: on the autumn night the first or the second
    // showing; in the hour the spring night skips, the jump.
    static QDateTime instantOfWall(const QDateTime& w, bool first)
    {
        const QTimeZone tz = QTimeZone::systemTimeZone();
        const int a = tz.offsetFromUtc(w.addDays(-1)), b = tz.offsetFromUtc(w.addDays(1));
        QList<QDateTime> shown;
        for (int off : {std::max(a, b), std::min(a, b)}) {
            if (tz.offsetFromUtc(w.addSecs(-off)) == off && !shown.contains(w.addSecs(-off)))
                shown.append(w.addSecs(-off));
        }
        if (shown.isEmpty())
            return tz.previousTransition(w.addSecs(-std::min(a, b)).addMSecs(1)).atUtc;
        return first ? shown.first() : shown.last();
    }
    // The first instant at or after `from` whose wall-clock serial is later than `serial`.
    static QDateTime firstInstantAfter(double serial, const QDateTime& from)
    {
        if (serialOf(from) > serial)
            return from;
        QDateTime w = QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC)
                          .addMSecs(qint64(std::floor(serial * 86400000.0)) + 1);
        while (wallSerial(w) <= serial)
            w = w.addMSecs(1);
        for (bool first : {true, false}) {
            if (const QDateTime c = instantOfWall(w, first); c >= from)
                return c;
        }
        return from;
    }
    // The recording's file name: Latin-1 only, separators and most accented letters to '#'.
    static QString fileStem(const QString& title)
    {
        QString t = title;
        while (t.startsWith(QLatin1Char(' ')))
            t.remove(0, 1);
        while (t.endsWith(QLatin1Char(' ')))
            t.chop(1);
        if (t.size() < 2)
            t = QStringLiteral("TEST");
        QString out;
        for (const QChar ch : t) {
            if (ch.unicode() < 32)
                continue;
            if (QStringLiteral(" .:").contains(ch))
                out += QLatin1Char('_');
            else if (QStringLiteral("%&'*/?\\^`").contains(ch) ||
                     (ch.unicode() >= 123 && !QStringLiteral("ÄÖÜßäöü").contains(ch)))
                out += QLatin1Char('#');
            else
                out += ch;
        }
        return out;
    }

    // A load runs at `at` over the rows the database holds; it is refused while our viewer
    // records, and a locked file keeps the old list.
    void loadRuns(const QDateTime& at, const QList<DbEntry>& rows, bool locked, bool recording)
    {
        if (recording || locked)
            return;
        const double t1 = serialOf(at) + kMin;
        QList<Due> all;
        for (const DbEntry& e : rows) {
            const double end = wallSerial(naive(e.end));
            all.append({e,
                        wallSerial(naive(e.start)) - e.pre * kMin,
                        end,
                        end + e.post * kMin,
                        {},
                        {},
                        0});
        }
        std::stable_sort(all.begin(), all.end(),
                         [](const Due& a, const Due& b) { return a.launch < b.launch; });
        QList<Due> queue;
        QList<Due> lateRunning;
        bool overlap = false;
        for (qsizetype i = 0; i < all.size(); ++i) {
            Due d = all[i];
            if (i > 0 && all[i - 1].recEnd + kMin > d.launch && d.launch > t1)
                overlap = true;
            if (d.launch <= t1) {
                if (d.end - kMin > t1)
                    lateRunning.append(d);
            } else if (!m_started.contains(d.e.id)) {
                d.from = at;
                d.minutes = minutesBetween(
                    instantOfWall(naive(d.e.start).addSecs(-60 * d.e.pre), true), d.e);
                queue.append(d);
            }
        }
        // One entry already running and no overlap ahead: a load takes it over at once.
        if (!overlap && lateRunning.size() == 1 && !m_started.contains(lateRunning[0].e.id)) {
            Due d = lateRunning[0];
            d.from = d.takeOverAt = at;
            d.minutes = minutesBetween(at, d.e);
            queue.prepend(d);
        }
        for (const Due& d : std::as_const(queue))
            m_everListed.insert(d.e.id, true);
        // What the old list still owed.
        for (const Due& d : std::as_const(m_queue)) {
            auto same = [&](const Due& n) { return n.e.id == d.e.id; };
            if (std::any_of(queue.begin(), queue.end(), same))
                continue;
            if (isDue(d, serialOf(at))) {
                fault("missed", d, "dropped unstarted by the load at " + text(at));
            } else if (const auto n = std::find_if(all.begin(), all.end(), same);
                       n != all.end() && n->launch <= t1) {
                ++figures["timed out at a load"];
            }
        }
        m_queue = queue;
    }

    // The scheduler started the viewer; checked at once, before the viewer writes its file.
    void viewerStarted(const QDateTime& at, const QString& program, const QStringList& args)
    {
        ++figures["starts"];
        const double now = serialOf(at);
        const bool asked = program == m_program;
        qsizetype k = 0;
        while (k < m_queue.size() && isDue(m_queue[k], now) && !(asked && args == argsOf(k)))
            ++k;
        if (k == m_queue.size() || !isDue(m_queue[k], now)) {
            const QString shown = (QStringList{program} + args).join(QLatin1Char(' '));
            if (!m_queue.isEmpty() && isDue(m_queue[0], now))
                fault("wrong command line", m_queue[0],
                      "at " + text(at) + "\n   got      " + shown + "\n   expected " +
                          (QStringList{m_program} + argsOf(0)).join(QLatin1Char(' ')));
            else if (!m_queue.isEmpty() && asked && args == argsOf(0))
                fault("unexpected", m_queue[0], "started early at " + text(at));
            else {
                // Nothing is due: the same recording again, or one no rule asked for.
                const bool again =
                    std::any_of(m_started.begin(), m_started.end(), [&](const QStringList& s) {
                        return s.mid(0, 7) == args.mid(0, 7);
                    });
                const QString kind = again ? "doubled" : "unexpected";
                ++figures[kind];
                problem(kind + " start at " + text(at) + ": " + shown);
                return;
            }
            started(m_queue.takeFirst(), at, args);
            return;
        }
        for (qsizetype i = 0; i < k; ++i)
            fault("missed", m_queue[i], "passed over at " + text(at));
        const Due d = m_queue.at(k);
        m_queue.remove(0, k + 1);
        if (const QDateTime e = earliest(d); e.msecsTo(at) > 10000)
            fault("late", d, "could start at " + text(e) + ", started " + text(at));
        else
            ++figures["due"];
        figures["taken over"] += d.takeOverAt.isValid();
        started(d, at, args);
    }

    // Spans in which nothing could start: the machine asleep by the user's hand, or a viewer
    // that ignores close requests in the way.
    void blocked(const QDateTime& from, const QDateTime& to) { m_blocked.append({from, to}); }

    // The year is over: whatever was due and did not start is missed.
    void finish(const QDateTime& end, const QList<DbEntry>& everStored)
    {
        for (const Due& d : std::as_const(m_queue)) {
            if (earliest(d).addSecs(3600) <= end)
                fault("missed", d, "never started");
        }
        figures["entries"] = int(everStored.size());
        for (const DbEntry& e : everStored)
            figures["never loaded"] += !m_everListed.contains(e.id);
    }

    QMap<QString, int> figures;
    QStringList problems; // the first 40

private:
    struct Due {
        DbEntry e;
        double launch = 0, end = 0, recEnd = 0; // wall serials
        QDateTime from;                         // the load that listed it
        QDateTime takeOverAt;                   // valid: taken over by a load, starts at once
        int minutes = 0;
    };

    static QString text(const QDateTime& t)
    {
        return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz t"));
    }
    static bool isDue(const Due& d, double now) { return d.takeOverAt.isValid() || d.launch < now; }
    // Real minutes from `from` to the end with its trail; an end in the repeated autumn hour
    // is its second showing.
    static int minutesBetween(const QDateTime& from, const DbEntry& e)
    {
        const qint64 ms = from.msecsTo(instantOfWall(naive(e.end).addSecs(60 * e.post), false));
        return int((std::llround(double(ms) / 1000.0) / 60) % 1440);
    }
    QStringList argsOf(qsizetype i) const
    {
        const Due& d = m_queue.at(i);
        const QString stem = fileStem(d.e.title);
        QString name = stem;
        for (int n = 1; QFile::exists(m_recDir + name + QStringLiteral(".ts")); ++n)
            name = stem + QLatin1Char('_') + QString::number(n);
        return {QStringLiteral("/close"),
                QStringLiteral("/priority=high"),
                QStringLiteral("/streamonly"),
                QStringLiteral("/tray"),
                QStringLiteral("/delay=500"),
                QStringLiteral("/record=%1").arg(d.minutes),
                QStringLiteral("/channel=%1").arg(d.e.channel),
                QStringLiteral("/file=") + name};
    }
    QDateTime earliest(const Due& d) const
    {
        QDateTime e = d.takeOverAt.isValid() ? d.takeOverAt : firstInstantAfter(d.launch, d.from);
        if (m_lastStart.isValid() && m_lastStart > e)
            e = m_lastStart;
        for (bool moved = true; moved;) {
            moved = false;
            for (const auto& [a, b] : m_blocked) {
                if (a <= e && e < b) {
                    e = b;
                    moved = true;
                }
            }
        }
        return e;
    }
    void started(const Due& d, const QDateTime& at, const QStringList& args)
    {
        m_started.insert(d.e.id, args);
        m_lastStart = at;
    }
    void fault(const QString& kind, const Due& d, const QString& what)
    {
        ++figures[kind];
        ++figures["due"];
        problem(QStringLiteral("%1: entry %2 \"%3\" %4 %5")
                    .arg(kind)
                    .arg(d.e.id)
                    .arg(d.e.title, d.e.start, what));
    }
    void problem(const QString& t)
    {
        if (problems.size() < 40)
            problems.append(t);
    }

    QString m_program, m_recDir;
    QList<Due> m_queue; // in launch order; a take-over first
    QHash<int, QStringList> m_started;
    QList<std::pair<QDateTime, QDateTime>> m_blocked;
    QDateTime m_lastStart;
    QHash<int, bool> m_everListed;
};

} // namespace dorvel::sim
