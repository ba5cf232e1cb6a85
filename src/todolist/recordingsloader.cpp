#include "recordingsloader.h"

#include "activitylist.h"
#include "appstate.h"
#include "clock.h"
#include "datetext.h"
#include "datetime.h"
#include "dbversion.h"
#include "mainview.h"
#include "prompter.h"
#include "ticktimer.h"
#include "todolist.h"
#include "viewerdb.h"

#include <QScopeGuard>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

namespace dorvel {

namespace {

constexpr int kFields = 8;               // fields of the load query
constexpr double kMaxMinutes = 100000.0; // beyond about 69 days a lead is no lead
constexpr qint64 kSecondsPerDay = 86400;
constexpr double kUnixEpochSerial = 25569.0; // 1970-01-01 as a day serial

// Empty is 0 minutes; anything else must be a number of minutes.
std::optional<double> minutesOf(const QString& text)
{
    // Nearly every lead and trail is a plain whole number: read it without the general
    // conversion, which gives the same value for these.
    if (const qsizetype n = text.size(); n > 0 && n <= 6) {
        int v = 0;
        qsizetype i = text.front() == QLatin1Char('-') ? 1 : 0;
        bool digits = i < n;
        for (; i < n && digits; ++i) {
            const char16_t ch = text[i].unicode();
            digits = ch >= u'0' && ch <= u'9';
            v = v * 10 + int(ch - u'0');
        }
        if (digits)
            return text.front() == QLatin1Char('-') ? -double(v) : double(v);
    }
    const QString t = text.trimmed();
    if (t.isEmpty())
        return 0.0;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > kMaxMinutes)
        return std::nullopt;
    return v;
}

// Whether two serials show the same text in the default form. Within years 1 to 9999 that
// text names the second the serial rounds to; outside, the texts themselves are compared.
bool showsSameSecond(double a, double b)
{
    constexpr double kFirstDay = -693593.0; // 0001-01-01
    constexpr double kLastDay = 2958465.0;  // 9999-12-31
    if (RoundToSecond(a) == RoundToSecond(b))
        return true;
    if (a > kFirstDay && a < kLastDay && b > kFirstDay && b < kLastDay)
        return false;
    return FormatDefaultQuick(a) == FormatDefaultQuick(b);
}

// What the overlap pass and the take-over need of each row, so that they need not parse
// the row's texts again.
struct Computed {
    bool valid = false;
    double start = 0, end = 0, post = 0;
    double recStart = 0; // as RECSTART shows it: rounded to the second
    qint64 key = 0;
};

} // namespace

RecordingsLoader::RecordingsLoader(AppState& state, TodoList& todo, ActivityList& activity,
                                   ViewerDatabase& db, Prompter& prompter, MainView& view,
                                   TickTimer& timer, const Clock& clock, SettingsStore& store,
                                   std::function<void()> endProcess)
    : m_state(state), m_todo(todo), m_activity(activity), m_db(db), m_prompter(prompter),
      m_view(view), m_timer(timer), m_clock(clock), m_store(store),
      m_endProcess(std::move(endProcess))
{}

QString RecordingsLoader::clockText() const
{
    return formatDefault(m_clock.now());
}

bool RecordingsLoader::english() const
{
    return m_state.msg.MsgReadingRecordings ==
           MessageTable::forLanguage(QStringLiteral("eng")).MsgReadingRecordings;
}

qint64 RecordingsLoader::instantOf(double serial, bool first)
{
    const qint64 day = qint64(std::floor(serial));
    auto it = m_dayOffsets.constFind(day);
    if (it == m_dayOffsets.cend()) {
        const QDate date = fromDaySerial(double(day)).date();
        it = m_dayOffsets.insert(day, {QDateTime(date, QTime(0, 0)).offsetFromUtc(),
                                       QDateTime(date, QTime(23, 59, 59)).offsetFromUtc()});
    }
    // The wall-clock time read as if it were UTC.
    const qint64 wall = std::llround((serial - kUnixEpochSerial) * 86400.0);
    if (it->first == it->second)
        return wall - it->first;
    // A day with a change: the time may be shown twice (autumn) or never (spring).
    const qint64 a = wall - it->first;
    const qint64 b = wall - it->second;
    const auto shows = [wall](qint64 instant) {
        const QDateTime t = QDateTime::fromSecsSinceEpoch(instant);
        return instant + t.offsetFromUtc() == wall;
    };
    const bool aShows = shows(a), bShows = shows(b);
    if (aShows && bShows)
        return first ? std::min(a, b) : std::max(a, b);
    if (aShows || bShows)
        return aShows ? a : b;
    // Never shown: a start happens when the clock jumps past it, an end is taken late.
    if (!first)
        return std::max(a, b);
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QTimeZone::OffsetData jump =
        zone.nextTransition(QDateTime::fromSecsSinceEpoch(std::min(a, b) - 1, zone));
    return jump.atUtc.isValid() ? jump.atUtc.toSecsSinceEpoch() : std::min(a, b);
}

int RecordingsLoader::recordingMinutes(double from, double to)
{
    qint64 secs = instantOf(to, false) - instantOf(from, true);
    secs %= kSecondsPerDay;
    if (secs < 0)
        secs += kSecondsPerDay;
    return int(secs / 60);
}

void RecordingsLoader::loadFailed(const QString& reason)
{
    if (m_later && m_db.lastFailure() == ViewerDatabase::Failure::Locked) {
        m_activity.append(clockText() + QStringLiteral(":   ") +
                          (english() ? QStringLiteral("The Orbivu database is locked by another "
                                                      "program; trying again in %1 s")
                                     : QStringLiteral("Die Orbivu Datenbank ist von einem anderen "
                                                      "Programm gesperrt; neuer Versuch in %1 s"))
                              .arg(kLockRetryMs / 1000));
        m_view.setClockRed(true);
        m_view.setClockText(m_state.msg.MsgNotStarted);
        if (!std::exchange(m_retryPending, true)) {
            m_later(kLockRetryMs, [this] {
                m_retryPending = false;
                getRecordings();
            });
        }
        return;
    }
    const QString text =
        english() ? QStringLiteral("The recordings could not be read from the Orbivu database:\n"
                                   "%1.\n\nThe to-do list was kept as it was. No recording is "
                                   "started until the recordings have been read successfully "
                                   "(\"%2\").")
                  : QStringLiteral("Die Aufnahmen konnten nicht aus der Orbivu Datenbank gelesen "
                                   "werden:\n%1.\n\nDie ToDo Liste bleibt wie sie war. Keine "
                                   "Aufnahme wird gestartet, bis die Aufnahmen wieder gelesen "
                                   "werden konnten (\"%2\").");
    m_activity.append(clockText() + QStringLiteral(":   ") +
                      (english() ? QStringLiteral("Reading the recordings failed")
                                 : QStringLiteral("Lesen der Aufnahmen fehlgeschlagen")));
    m_view.setClockRed(true);
    m_view.setClockText(m_state.msg.MsgNotStarted);
    m_prompter.message(text.arg(reason, m_state.msg.MsgGetRecordings), Prompter::Icon::Warning);
}

void RecordingsLoader::getRecordings()
{
    // A box of an earlier load runs a nested event loop; a click there must not load twice.
    if (m_loading)
        return;
    m_loading = true;
    const auto done = qScopeGuard([this] { m_loading = false; });
    const MessageTable& msg = m_state.msg;

    if (m_state.orbivuState == 1) {
        m_prompter.message(msg.MsgNoReloadWhileRecording);
        return;
    }
    m_timer.stop();
    m_activity.append(clockText() + QStringLiteral(":   ") + msg.MsgReadingRecordings);

    QString reason;
    switch (CheckDatabaseVersion({m_db, m_prompter, msg, m_store, m_view, m_endProcess}, &reason)) {
    case DatabaseVersion::Ended:
        return;
    case DatabaseVersion::ReadFailed:
        loadFailed(reason);
        return;
    case DatabaseVersion::Current:
        break;
    }

    m_view.setWaitCursor(true);
    const auto cursor = qScopeGuard([this] { m_view.setWaitCursor(false); });

    // The load time T, read once before the first entry.
    const double loadTime = m_clock.nowSerial();
    const double t1 = loadTime + kMinute;
    double nextEventTime = TodoList::kNoEventLoaded;
    int recordingCount = 0;
    int lateRunning = 0;
    double lateStart = 0;

    const QString invalidTime =
        english() ? QStringLiteral("Invalid time:  ") : QStringLiteral("Ungültige Zeit:  ");
    const QString endNotAfterStart = english() ? QStringLiteral("End not after start:  ")
                                               : QStringLiteral("Ende nicht nach Beginn:  ");
    const QString invalidMinutes =
        english() ? QStringLiteral("Invalid minutes:  ") : QStringLiteral("Ungültige Minuten:  ");

    QList<TodoList::Row> rows;
    QList<Computed> computed;
    // A reload usually finds about as many entries as the last one.
    rows.reserve(m_todo.rows());
    computed.reserve(m_todo.rows());
    QStringList lines; // activity lines, shown only when the whole result could be read
    const bool read = m_db.forEachEntry([&](const ViewerDatabase::LoadRow& e) {
        TodoList::Row row;
        row.rowId = e.rowId;
        row.fingerprint = e.fingerprint;
        row.plainTexts = e.plainTexts;
        Computed c;
        const auto start = ParseDbTime(e.startTime);
        const auto end = ParseDbTime(e.endTime);
        const auto pre = minutesOf(e.preRecord);
        const auto post = minutesOf(e.postRecord);
        // An end before (or at) the start would record for nearly a day, or not at all.
        const bool backwards =
            start && end && pre && post &&
            (*end <= *start || *end + *post * kMinute <= *start - *pre * kMinute);
        if (!start || !end || !pre || !post || backwards) {
            // Listed as stored, red, never scheduled.
            row.cells = QStringList{QString(),   e.num,      e.channel,   e.startTime,  e.endTime,
                                    e.shortDesc, e.longDesc, e.preRecord, e.postRecord, QString(),
                                    e.startTime, e.endTime,  QString(),   QString()};
            row.colour = TodoList::RowColour::TimedOut;
            lines.append((backwards      ? endNotAfterStart
                          : start && end ? invalidMinutes
                                         : invalidTime) +
                         e.channel.trimmed() + QLatin1Char(' ') + e.startTime + QLatin1Char(' ') +
                         e.shortDesc.trimmed());
            rows.append(std::move(row));
            computed.append(c);
            return;
        }
        c.valid = true;
        c.start = *start;
        c.end = *end;
        c.post = *post;
        const double recStart = *start - *pre * kMinute;
        c.recStart = RoundToSecond(recStart);
        c.key = SortKeyNumber(recStart);
        if (recStart <= t1) {
            if (*end - kMinute > t1) {
                ++lateRunning;
                lateStart = *start;
            }
            lines.append(msg.MsgTimedOut + e.channel.trimmed() + QLatin1Char(' ') +
                         FormatDefaultQuick(*start) + QLatin1Char(' ') + e.shortDesc.trimmed());
            row.colour = TodoList::RowColour::TimedOut;
        } else {
            ++recordingCount;
            if (recStart < nextEventTime)
                nextEventTime = recStart;
        }
        // STARTTIME, ENDTIME, SORTKEY, RECSTART and RECMINUTES are formed from the times.
        row.cells = QStringList{QString(),   e.num,      e.channel,   QString(),    QString(),
                                e.shortDesc, e.longDesc, e.preRecord, e.postRecord, QString(),
                                e.startTime, e.endTime,  QString(),   QString()};
        row.times = TodoList::Row::Times{*start, *end, recStart};
        rows.append(std::move(row));
        computed.append(c);
    });
    // A failure halfway keeps the last list, its next event and its count.
    if (!read) {
        loadFailed(m_db.lastError());
        return;
    }
    m_activity.append(lines);

    // Widths the user dragged since the last build survive it.
    if (m_todo.columnWidth(0) < 200) {
        for (int c = TodoList::Num; c <= TodoList::PostRecord; ++c)
            m_todo.savedWidths[c - TodoList::Num] = qint16(m_todo.columnWidth(c));
    }
    QStringList headers{QStringLiteral(" ")};
    headers << ViewerDatabase::loadFieldNames();
    while (headers.size() < TodoList::ColumnCount)
        headers << QString();
    m_todo.setHeaders(headers);
    m_todo.nextEventTime = nextEventTime;
    m_todo.recordingCount = recordingCount;
    m_state.pendingPowerAction.clear();

    // Sort on SORTKEY, numerically; unschedulable rows have an empty key and go first. The
    // viewer mostly stores entries in time order already.
    const auto byKey = [](const Computed& a, const Computed& b) { return a.key < b.key; };
    if (!std::is_sorted(computed.cbegin(), computed.cend(), byKey)) {
        QList<qsizetype> order(rows.size());
        for (qsizetype i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
            return computed.at(a).key < computed.at(b).key;
        });
        QList<TodoList::Row> sortedRows;
        QList<Computed> sortedComputed;
        sortedRows.reserve(rows.size());
        sortedComputed.reserve(rows.size());
        for (qsizetype i : order) {
            sortedRows.append(std::move(rows[i]));
            sortedComputed.append(computed.at(i));
        }
        rows = std::move(sortedRows);
        computed = std::move(sortedComputed);
    }

    bool overlapFound = false;
    m_todo.nextEventRow = 0;
    if (!rows.isEmpty()) {
        const double nextEvent = m_todo.nextEventTime;
        const double pendingAfter = m_clock.nowSerial() + kMinute;
        std::optional<double> prevEnd;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const Computed& c = computed.at(i);
            if (!c.valid) {
                prevEnd.reset();
                continue;
            }
            const double rs = c.recStart;
            const double re = c.end + c.post * kMinute;
            // Neighbours only: a row is compared with the row directly above it.
            if (prevEnd && *prevEnd + kMinute > rs && rs > pendingAfter) {
                overlapFound = true;
                rows[i].colour = TodoList::RowColour::Overlap;
            }
            rows[i].times->recMinutes = recordingMinutes(rs, re);
            if (showsSameSecond(rows.at(i).times->recStart, nextEvent))
                m_todo.nextEventRow = int(i + 1);
            prevEnd = re;
        }
    }
    m_todo.replaceRows(std::move(rows));

    m_todo.setColumnWidth(0, 150);
    for (int c = TodoList::Num; c <= TodoList::PostRecord; ++c)
        m_todo.setColumnWidth(c, m_todo.savedWidths[c - TodoList::Num]);
    for (int c = TodoList::SortKey; c < TodoList::ColumnCount; ++c)
        m_todo.setColumnWidth(c, 0);

    m_activity.append(clockText() + QStringLiteral(":   ") +
                      QString::number(m_todo.recordingCount) + msg.MsgRecordingsAdded);
    m_todo.nextEventColumn = kFields + 4;

    if (fromDaySerial(m_todo.nextEventTime).date().year() < 8000)
        m_view.setNextEventText(FormatDefaultQuick(m_todo.nextEventTime));
    else
        m_view.setNextEventText(QString());

    if (!overlapFound) {
        if (m_state.settings.startPendingRecord && lateRunning == 1) {
            // Take over the entry that is still running: from now until its recording end.
            for (int r = 1; r < m_todo.rows(); ++r) {
                const Computed& c = computed.at(r - 1);
                if (!c.valid || c.start != lateStart || c.end - kMinute <= t1)
                    continue;
                const double re = c.end + c.post * kMinute;
                const QString nowText = FormatDefaultQuick(loadTime);
                m_todo.setCell(r, TodoList::RecMinutes,
                               QString::number(recordingMinutes(loadTime, re)));
                m_todo.setCell(r, TodoList::RecStart, nowText);
                m_todo.setCell(r, TodoList::StartTime, nowText);
                ++m_todo.recordingCount;
                m_todo.nextEventTime = loadTime;
                m_todo.nextEventRow = r;
                m_activity.removeLast();
                m_activity.append(clockText() + QStringLiteral(":   ") +
                                  QString::number(m_todo.recordingCount) + msg.MsgRecordingsAdded);
                break;
            }
        }
        m_view.setClockRed(false);
        m_timer.start();
    } else if (m_state.settings.ignoreOverlap) {
        m_view.setClockRed(false);
        m_timer.start();
    } else {
        m_prompter.message(msg.MsgOverlap);
        m_view.setClockRed(true);
        m_view.setClockText(msg.MsgNotStarted);
    }
}

} // namespace dorvel
