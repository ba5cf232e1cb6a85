#include "recordingcommit.h"

#include "clock.h"
#include "datetext.h"
#include "datetime.h"
#include "filename.h"
#include "messages.h"
#include "prompter.h"
#include "settings.h"

#include <cmath>

namespace dorvel {

namespace {

// Monday = 0 ... Sunday = 6; day serial 0 (1899-12-30) was a Saturday.
int weekdayIndex(double serial)
{
    const qint64 day = qint64(std::floor(serial));
    return int(((day + 5) % 7 + 7) % 7);
}

bool selected(const CommitInput& in, double day)
{
    return in.weekdays[size_t(weekdayIndex(day))] != kWeekdayCleared;
}

qint64 wholeMinutes(const QString& text)
{
    // The field checks let 0 to 59 through, fractions included; they are written rounded.
    const double v = numericPrefix(text);
    return std::isfinite(v) ? qint64(std::round(v)) : 0;
}

QString dateOf(double serial)
{
    return FormatDbTime(serial).left(10);
}

} // namespace

QString leftChars(const QString& text, int n)
{
    if (text.size() <= n)
        return text;
    QString s = text.left(n);
    if (!s.isEmpty() && s.back().isHighSurrogate())
        s.chop(1);
    return s;
}

int entryCount(const CommitInput& in, double startDate, double untilDate)
{
    const int span = int(std::lround(untilDate - startDate));
    if (in.repetition == Repetition::Weekly)
        return span / 7 + 1;
    int count = 1;
    for (int d = 1; d <= span; ++d)
        count += selected(in, startDate + d) ? 1 : 0;
    return count;
}

CommitPlan planRows(const CommitInput& in, double start, double stop, double until,
                    const ViewerDatabase::ChannelKeys& keys)
{
    CommitPlan plan;
    ViewerDatabase::NewRecord row;
    row.sourceId = keys.sourceId;
    row.nid = keys.nid;
    row.sid = keys.sid;
    row.preRecord = wholeMinutes(in.preRecord);
    row.postRecord = wholeMinutes(in.postRecord);

    auto add = [&](double s, double e, const QString& shortDesc, const QString& longDesc) {
        row.startTime = FormatDbTime(s);
        row.endTime = FormatDbTime(e);
        row.shortDesc = shortDesc;
        row.longDesc = longDesc;
        plan.rows.append(row);
        plan.starts.append(s);
    };
    add(start, stop, leftChars(in.sdesc, 49), leftChars(in.sdesc, 199));
    if (in.repetition == Repetition::Once)
        return plan;

    const QString prefix =
        in.repetition == Repetition::Daily ? QStringLiteral("Daily_") : QStringLiteral("Weekly_");
    auto describe = [&](double s) {
        if (in.sdescEdited)
            return leftChars(in.sdesc, 49);
        return makeFileName(in.channelName + QLatin1Char('-') + dateOf(s) + QLatin1Char('-') +
                            in.startTime);
    };
    const double startDay = std::floor(start);
    const int span = int(std::lround(std::floor(until) - startDay));
    const int step = in.repetition == Repetition::Daily ? 1 : 7;
    // Each occurrence from the first one by whole days, not step by step: no drift.
    for (int d = step; d <= span; d += step) {
        const double s = start + d;
        if (in.repetition == Repetition::Daily && !selected(in, s))
            continue;
        const QString desc = describe(s);
        add(s, stop + d, desc, prefix + desc);
    }
    return plan;
}

RecordingCommit::RecordingCommit(ViewerDatabase& db, Prompter& prompter, const Clock& clock,
                                 const MessageTable& msg)
    : m_db(db), m_prompter(prompter), m_clock(clock), m_msg(msg)
{}

RecordingCommit::Result RecordingCommit::refuse(const QString& text, Result r)
{
    m_prompter.message(text);
    r.outcome = Outcome::Refused;
    return r;
}

RecordingCommit::Result RecordingCommit::commit(const CommitInput& in)
{
    Result r;
    const auto startDate = parseUserDate(in.startDate);
    const auto startTime = parseUserTime(in.startTime);
    const auto stopDate = parseUserDate(in.stopDate);
    const auto stopTime = parseUserTime(in.stopTime);
    const auto untilDate = parseUserDate(in.untilDate);
    // The field checks run first and keep such texts out; nothing is written from one anyway.
    if (!startDate || !startTime || !stopDate || !stopTime ||
        (in.repetition != Repetition::Once && !untilDate))
        return refuse(m_msg.MsgInvalidDateTime, r);

    const double now = m_clock.nowSerial();
    const double stop = *stopDate + *stopTime;
    if (stop < now + kMinute)
        return refuse(m_msg.MsgStopInPast, r);
    const double start = *startDate + *startTime;
    if (start < now + kMinute)
        return refuse(m_msg.MsgStartInPast, r);
    if (in.repetition == Repetition::Daily && !selected(in, *startDate))
        return refuse(m_msg.MsgWeekdayMismatch, r);
    r.startStamp = start;
    r.stopStamp = stop;
    if (stop - kMinute < start)
        return refuse(m_msg.MsgStopTooSoon, r);
    if (in.repetition != Repetition::Once && !(*untilDate > *startDate))
        return refuse(m_msg.MsgUntilTooSoon, r);

    if (in.repetition != Repetition::Once) {
        const int count = entryCount(in, *startDate, *untilDate);
        const Prompter::Answer a = m_prompter.show(
            {QStringLiteral("Add ") + QString::number(count) + QStringLiteral(" Recording entries"),
             Prompter::Buttons::OkCancel,
             Prompter::Icon::Question,
             {},
             false});
        if (a != Prompter::Answer::Ok)
            return r;
    }

    const double number = numericPrefix(in.channelNumber);
    std::optional<QList<ViewerDatabase::ChannelKeys>> keys = QList<ViewerDatabase::ChannelKeys>{};
    if (std::isfinite(number) && std::abs(number) < 9.2e18)
        keys = m_db.channelKeysByNumber(qint64(number));
    if (!keys) {
        m_prompter.message(QStringLiteral("ERROR adding recording\n\n") + m_db.lastError() +
                           QLatin1Char('.'));
        r.outcome = Outcome::FirstFailed;
        return r;
    }
    if (keys->isEmpty())
        return refuse(m_msg.MsgChannelNotFound, r);

    const CommitPlan plan =
        planRows(in, start, stop, untilDate.value_or(*startDate), keys->first());
    auto firstFailed = [&] {
        m_prompter.message(QStringLiteral("ERROR adding recording\n\n") + m_db.lastError() +
                           QLatin1Char('.'));
        r.outcome = Outcome::FirstFailed;
        return r;
    };
    if (!m_db.beginWrite())
        return firstFailed();
    const int appended = m_db.appendRecords(plan.rows);
    const int failedAt = appended < plan.rows.size() ? appended : -1;
    const QString reason = m_db.lastError();
    if (failedAt == 0) {
        m_db.rollbackWrite();
        m_prompter.message(QStringLiteral("ERROR adding recording\n\n") + reason +
                           QLatin1Char('.'));
        r.outcome = Outcome::FirstFailed;
        return r;
    }
    // The rows before a failing one are kept, as if each had been written on its own.
    if (!m_db.commitWrite())
        return firstFailed();
    r.outcome = Outcome::Finished;
    if (failedAt < 0) {
        r.written = int(plan.rows.size());
        return r;
    }
    r.written = failedAt;
    m_prompter.message(QStringLiteral("ERROR adding recording for STARTTIME=") +
                       FormatDbTime(plan.starts.at(failedAt)) + QStringLiteral("\n\n") + reason +
                       QLatin1Char('.'));
    return r;
}

} // namespace dorvel
