#include "oracle.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace dorvel::sim {

namespace {

// The rules' own constants, in days.
constexpr double kMin = 0.000694444;
constexpr qint64 kToleranceMs = 10000; // a start this much after it could have been is late

QTimeZone zone()
{
    return QTimeZone::systemTimeZone();
}

QDateTime naive(const QString& dbText)
{
    const QDateTime t = QDateTime::fromString(dbText, QStringLiteral("yyyy.MM.dd HH:mm"));
    return QDateTime(t.date(), t.time(), Qt::UTC);
}

QString text(const QDateTime& instant)
{
    return instant.toTimeZone(zone()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz t"));
}

} // namespace

Oracle::Oracle(ViewerSwitches switches) : m_sw(std::move(switches)) {}

double Oracle::wallSerial(const QDateTime& w)
{
    return double(w.date().toJulianDay() - QDate(1899, 12, 30).toJulianDay()) +
           double(w.time().msecsSinceStartOfDay()) / 86400000.0;
}

double Oracle::serialOf(const QDateTime& instant)
{
    const QDateTime local = instant.toTimeZone(zone());
    return wallSerial(QDateTime(local.date(), local.time(), Qt::UTC));
}

QDateTime Oracle::instantOfWall(const QDateTime& w, bool first)
{
    const QTimeZone tz = zone();
    QList<QDateTime> valid;
    QList<int> offsets{tz.offsetFromUtc(w.addDays(-1)), tz.offsetFromUtc(w.addDays(1))};
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    for (int off : offsets) {
        const QDateTime u = w.addSecs(-off);
        if (tz.offsetFromUtc(u) == off)
            valid.append(u);
    }
    std::sort(valid.begin(), valid.end());
    if (!valid.isEmpty())
        return first ? valid.first() : valid.last();
    // Never shown: the clock jumped past it.
    const QDateTime u = w.addSecs(-offsets.first());
    return tz.previousTransition(u.addMSecs(1)).atUtc;
}

QDateTime Oracle::firstInstantAfter(double serial, const QDateTime& from)
{
    const QTimeZone tz = zone();
    QDateTime t = from.toUTC();
    for (int i = 0; i < 8; ++i) {
        const double s = serialOf(t);
        if (s > serial)
            return t;
        QDateTime cand = t.addMSecs(qint64(std::ceil((serial - s) * 86400000.0)) + 1);
        const QTimeZone::OffsetData tr = tz.nextTransition(t);
        if (tr.atUtc.isValid() && tr.atUtc <= cand) {
            t = tr.atUtc;
            continue;
        }
        while (serialOf(cand) <= serial)
            cand = cand.addMSecs(1);
        return cand;
    }
    return t;
}

QString Oracle::fileStem(const QString& title)
{
    QString t = title;
    while (t.startsWith(QLatin1Char(' ')))
        t.remove(0, 1);
    while (t.endsWith(QLatin1Char(' ')))
        t.chop(1);
    if (t.size() < 2)
        t = QStringLiteral("TEST");
    auto in = [](int c, std::initializer_list<std::pair<int, int>> ranges) {
        return std::any_of(ranges.begin(), ranges.end(),
                           [c](auto r) { return c >= r.first && c <= r.second; });
    };
    QString out;
    for (const QChar ch : t) {
        // The single-byte code page: everything outside Latin-1 lands on 128..159 or 255,
        // all of which become '#'.
        const int c = ch.unicode() > 255 ? 255 : ch.unicode();
        if (c < 32)
            continue;
        if (c == 32 || c == 46 || c == 58)
            out += QLatin1Char('_');
        else if (in(c, {{37, 39}, {42, 42}, {47, 47}, {63, 63}, {92, 92}, {94, 94}, {96, 96}}) ||
                 in(c, {{123, 195},
                        {197, 213},
                        {215, 219},
                        {221, 222},
                        {224, 227},
                        {229, 245},
                        {247, 251},
                        {253, 255}}))
            out += QLatin1Char('#');
        else
            out += ch;
    }
    return out;
}

int Oracle::recordingMinutes(const DbEntry& e)
{
    const QDateTime launch = naive(e.start).addSecs(-60 * e.pre);
    const QDateTime end = naive(e.end).addSecs(60 * e.post);
    const qint64 ms = instantOfWall(launch, true).msecsTo(instantOfWall(end, false));
    return int((std::llround(double(ms) / 1000.0) / 60) % 1440);
}

QStringList Oracle::expectedArgs(const Due& d) const
{
    const QString stem = fileStem(d.entry.title);
    QString name = stem;
    for (int n = 1; QFile::exists(m_sw.recordDir + name + QStringLiteral(".ts")); ++n)
        name = stem + QLatin1Char('_') + QString::number(n);
    return {QStringLiteral("/close"),
            QStringLiteral("/priority=high"),
            QStringLiteral("/streamonly"),
            QStringLiteral("/tray"),
            QStringLiteral("/delay=") + QString::number(m_sw.delay),
            QStringLiteral("/record=") + QString::number(d.minutes),
            QStringLiteral("/channel=") + QString::number(d.entry.channel),
            QStringLiteral("/file=") + name};
}

QDateTime Oracle::earliest(const Due& d) const
{
    QDateTime e = d.takeOverAt.isValid() ? d.takeOverAt : firstInstantAfter(d.launch, d.from);
    if (m_lastStart.isValid() && m_lastStart > e)
        e = m_lastStart;
    for (bool moved = true; moved;) {
        moved = false;
        for (const auto& spans : {m_asleep, m_blocked}) {
            for (const auto& [a, b] : spans) {
                if (a <= e && e < b) {
                    e = b;
                    moved = true;
                }
            }
        }
    }
    return e;
}

void Oracle::problem(const QString& t)
{
    if (m_problems.size() < 40)
        m_problems.append(t);
}

void Oracle::loadRuns(const QDateTime& at, const QList<DbEntry>& rows, bool locked, bool recording)
{
    // Refused while our recording runs; a locked file keeps the old list.
    if (recording || locked)
        return;
    const double t1 = serialOf(at) + kMin;

    struct Row {
        DbEntry e;
        double launch, end, recEnd;
    };
    QList<Row> all;
    for (const DbEntry& e : rows) {
        const double start = wallSerial(naive(e.start));
        const double end = wallSerial(naive(e.end));
        all.append({e, start - e.pre * kMin, end, end + e.post * kMin});
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const Row& a, const Row& b) { return a.launch < b.launch; });

    QList<Due> queue;
    int lateRunning = 0;
    const Row* late = nullptr;
    bool overlap = false;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const Row& r = all[i];
        if (i > 0 && all[i - 1].recEnd + kMin > r.launch && r.launch > t1)
            overlap = true;
        if (r.launch <= t1) {
            if (r.end - kMin > t1) {
                ++lateRunning;
                late = &r;
            }
            continue;
        }
        if (m_started.contains(r.e.id))
            continue;
        m_everListed.insert(r.e.id, true);
        queue.append({r.e, r.launch, at, {}, recordingMinutes(r.e)});
    }
    if (!overlap && lateRunning == 1 && !m_started.contains(late->e.id)) {
        const QDateTime end = naive(late->e.end).addSecs(60 * late->e.post);
        const qint64 ms = at.msecsTo(instantOfWall(end, false));
        Due d{late->e, late->launch, at, at, int((std::llround(double(ms) / 1000.0) / 60) % 1440)};
        m_everListed.insert(late->e.id, true);
        queue.prepend(d);
    }
    // What the old list still owed.
    QHash<int, const Row*> byId;
    for (const Row& r : all)
        byId.insert(r.e.id, &r);
    for (const Due& d : std::as_const(m_queue)) {
        if (std::any_of(queue.begin(), queue.end(),
                        [&](const Due& n) { return n.entry.id == d.entry.id; }))
            continue;
        if (d.takeOverAt.isValid() || d.launch < serialOf(at)) {
            ++m_fig.missed;
            ++m_fig.due;
            problem(QStringLiteral("missed: entry %1 \"%2\" %3 due, dropped unstarted by the "
                                   "load at %4")
                        .arg(d.entry.id)
                        .arg(d.entry.title, d.entry.start, text(at)));
        } else if (byId.contains(d.entry.id) && byId.value(d.entry.id)->launch <= t1) {
            ++m_fig.timedOutAtLoad;
        }
    }

    m_queue = queue;
}

void Oracle::viewerStarted(const QDateTime& at, const QString& program, const QStringList& args)
{
    ++m_fig.starts;
    const double now = serialOf(at);
    auto due = [&](const Due& d) { return d.takeOverAt.isValid() || d.launch < now; };
    qsizetype k = -1;
    for (qsizetype i = 0; i < m_queue.size() && due(m_queue[i]); ++i) {
        if (program == m_sw.program && expectedArgs(m_queue[i]) == args) {
            k = i;
            break;
        }
    }
    const QString shown = (QStringList{program} + args).join(QLatin1Char(' '));
    if (k < 0) {
        if (!m_queue.isEmpty() && due(m_queue.first())) {
            const Due d = m_queue.takeFirst();
            ++m_fig.wrongCommand;
            ++m_fig.due;
            problem(
                QStringLiteral("wrong command line for entry %1 at %2:\n   got      %3\n   "
                               "expected %4")
                    .arg(d.entry.id)
                    .arg(text(at), shown, (QStringList{m_sw.program} + expectedArgs(d)).join(' ')));
            m_started.insert(d.entry.id, {d.entry, at, args});
            m_lastStart = at;
            return;
        }
        // The next entry, but before its time.
        if (!m_queue.isEmpty() && program == m_sw.program &&
            expectedArgs(m_queue.first()) == args) {
            const Due d = m_queue.takeFirst();
            ++m_fig.unexpected;
            ++m_fig.due;
            problem(QStringLiteral("early: entry %1 \"%2\" %3 started at %4, not after its launch")
                        .arg(d.entry.id)
                        .arg(d.entry.title, d.entry.start, text(at)));
            m_started.insert(d.entry.id, {d.entry, at, args});
            m_lastStart = at;
            return;
        }
        // Nothing is due: the same recording again, or one that no rule asked for.
        const bool again = std::any_of(m_started.begin(), m_started.end(), [&](const Started& s) {
            return s.args.mid(0, 7) == args.mid(0, 7);
        });
        ++(again ? m_fig.doubled : m_fig.unexpected);
        problem(QStringLiteral("%1 start at %2: %3")
                    .arg(again ? QStringLiteral("doubled") : QStringLiteral("unexpected"), text(at),
                         shown));
        return;
    }
    for (qsizetype i = 0; i < k; ++i) {
        ++m_fig.missed;
        ++m_fig.due;
        problem(QStringLiteral("missed: entry %1 \"%2\" %3 passed over for a later one at %4")
                    .arg(m_queue[i].entry.id)
                    .arg(m_queue[i].entry.title, m_queue[i].entry.start, text(at)));
    }
    const Due d = m_queue.at(k);
    m_queue.remove(0, k + 1);
    const QDateTime e = earliest(d);
    if (e.msecsTo(at) > kToleranceMs) {
        ++m_fig.late;
        problem(QStringLiteral("late: entry %1 \"%2\" %3 could start at %4, started at %5")
                    .arg(d.entry.id)
                    .arg(d.entry.title, d.entry.start, text(e), text(at)));
    }
    ++m_fig.due;
    if (d.takeOverAt.isValid())
        ++m_fig.takenOver;
    m_started.insert(d.entry.id, {d.entry, at, args});
    m_lastStart = at;
}

void Oracle::machineAsleep(const QDateTime& from, const QDateTime& to)
{
    m_asleep.append({from, to});
}

void Oracle::viewerBlocked(const QDateTime& from, const QDateTime& to)
{
    m_blocked.append({from, to});
}

void Oracle::finish(const QDateTime& end, const QList<DbEntry>& everStored)
{
    for (const Due& d : std::as_const(m_queue)) {
        if (earliest(d).addSecs(3600) > end)
            continue;
        ++m_fig.missed;
        ++m_fig.due;
        problem(QStringLiteral("missed: entry %1 \"%2\" %3 never started")
                    .arg(d.entry.id)
                    .arg(d.entry.title, d.entry.start));
    }
    m_fig.entries = int(everStored.size());
    for (const DbEntry& e : everStored) {
        if (!m_everListed.contains(e.id))
            ++m_fig.unseen;
    }
}

} // namespace dorvel::sim
