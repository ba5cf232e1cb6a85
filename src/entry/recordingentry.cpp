#include "recordingentry.h"

#include "appstate.h"
#include "clock.h"
#include "datetext.h"
#include "datetime.h"
#include "filename.h"
#include "prompter.h"
#include "settings.h"
#include "viewerdb.h"

#include <QScopeGuard>

#include <cmath>

namespace dorvel {

namespace {

// Just under ten minutes (599.9996 s): the proposed start lies this far ahead, and lasts as long.
constexpr double kProposalAhead = 0.00694444;
constexpr double kWithinDays = 400;

QString timeText(double serial)
{
    return FormatDbTime(serial).mid(11);
}

QString dateText(double serial)
{
    return FormatDbTime(serial).left(10);
}

// Names are listed without the blanks around them (only blanks: other white space is kept).
QString trimBlanks(const QString& s)
{
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && s.at(from) == QLatin1Char(' '))
        ++from;
    while (to > from && s.at(to - 1) == QLatin1Char(' '))
        --to;
    return s.mid(from, to - from);
}

std::optional<qint64> channelNumber(const QString& text)
{
    const double v = numericPrefix(text);
    if (!std::isfinite(v) || std::abs(v) >= 9.2e18)
        return std::nullopt;
    return qint64(v);
}

bool isDateField(EntryField f)
{
    return f == EntryField::StartDate || f == EntryField::StopDate || f == EntryField::UntilDate;
}

} // namespace

RecordingEntry::RecordingEntry(const EntryServices& services, EntryView& view)
    : m_s(services), m_view(view)
{}

const QList<EntryField>& RecordingEntry::checkOrder()
{
    static const QList<EntryField> order{
        EntryField::StartTime, EntryField::StopTime, EntryField::StartDate, EntryField::StopDate,
        EntryField::UntilDate, EntryField::Sdesc,    EntryField::PreRecord, EntryField::PostRecord};
    return order;
}

bool RecordingEntry::load()
{
    m_formLoading = true;
    const auto loaded = qScopeGuard([this] { m_formLoading = false; });
    auto unusable = [this](const QString& what) {
        m_s.prompter.message(
            QStringLiteral("The recording cannot be added: %1.\n\nNothing was written.").arg(what),
            Prompter::Icon::Warning);
        return false;
    };

    const auto numbers = m_s.db.channelNumbers();
    if (!numbers)
        return unusable(QStringLiteral("the channels cannot be read from the viewer database (") +
                        m_s.db.lastError() + QLatin1Char(')'));
    if (numbers->isEmpty())
        return unusable(QStringLiteral("the viewer database holds no channels (its table "
                                       "CHANNELS is empty)"));
    const auto names = m_s.db.channelNames();
    if (!names)
        return unusable(QStringLiteral("the channels cannot be read from the viewer database (") +
                        m_s.db.lastError() + QLatin1Char(')'));
    QStringList trimmedNames;
    trimmedNames.reserve(names->size());
    for (const QString& n : *names)
        trimmedNames.append(trimBlanks(n));
    const QString first = numbers->first();
    if (first.trimmed().isEmpty())
        return unusable(QStringLiteral("a channel in the viewer database has no number"));
    m_view.fillChannelLists(*numbers, trimmedNames);
    m_view.selectNumber(first);

    const auto number = channelNumber(first);
    const auto firstChannel =
        number ? m_s.db.channelsByNumber(*number) : std::optional<QList<ViewerDatabase::Channel>>{};
    if (!firstChannel)
        return unusable(QStringLiteral("the channel with the lowest number cannot be read (") +
                        (number ? m_s.db.lastError() : QStringLiteral("it has no number")) +
                        QLatin1Char(')'));
    if (firstChannel->isEmpty())
        return unusable(QStringLiteral("the channel with the lowest number, %1, is no longer in "
                                       "the viewer database")
                            .arg(first));
    m_view.selectName(trimBlanks(firstChannel->first().name));

    m_startStamp = m_s.clock.nowSerial() + kProposalAhead;
    m_stopStamp = m_startStamp + kProposalAhead;

    auto minuteOfDay = [](double serial) {
        const QString t = timeText(serial);
        return t.left(2).toInt() * 60 + t.mid(3, 2).toInt();
    };
    m_view.setSpinValue(EntrySpin::StartTime, minuteOfDay(m_startStamp));
    m_view.setSpinValue(EntrySpin::StopTime, minuteOfDay(m_stopStamp));
    m_view.setSpinValue(EntrySpin::StopDate, 0);
    m_view.setSpinValue(EntrySpin::StartDate, 0);
    m_view.setSpinValue(EntrySpin::UntilDate, 10);

    // The spin controls only know 0 to 59; set after the field, a spin that had to move
    // rewrites it, so a negative lead from the viewer's settings is proposed as 0.
    const int pre = m_s.state.prerecordMinutes;
    const int post = m_s.state.postrecordMinutes;
    m_view.setText(EntryField::PreRecord, QString::number(pre));
    m_view.setSpinValue(EntrySpin::PreRecord, std::clamp(pre, 0, 59));
    m_view.setText(EntryField::PostRecord, QString::number(post));
    m_view.setSpinValue(EntrySpin::PostRecord, std::clamp(post, 0, 59));

    m_view.setText(EntryField::StartTime, timeText(m_startStamp));
    m_view.setText(EntryField::StopTime, timeText(m_stopStamp));
    m_view.setText(EntryField::StartDate, dateText(m_startStamp));
    m_view.setText(EntryField::StopDate, dateText(m_stopStamp));
    m_view.setText(EntryField::UntilDate, dateText(m_startStamp + 10));

    m_dayBase = qint64(std::floor(m_startStamp));
    m_sdescEdited = false;
    proposeSdesc();
    return true;
}

void RecordingEntry::proposeSdesc()
{
    if (m_sdescEdited)
        return;
    m_view.setText(EntryField::Sdesc,
                   makeFileName(m_view.nameText() + QLatin1Char('-') +
                                m_view.text(EntryField::StartDate) + QLatin1Char('-') +
                                m_view.text(EntryField::StartTime)));
}

void RecordingEntry::numberPicked()
{
    if (m_formLoading || m_nameSyncBusy)
        return;
    m_numSyncBusy = true;
    const auto done = qScopeGuard([this] { m_numSyncBusy = false; });
    const auto number = channelNumber(m_view.numberText());
    const auto rows =
        number ? m_s.db.channelsByNumber(*number) : std::optional<QList<ViewerDatabase::Channel>>{};
    if (!foundChannel(rows))
        return;
    m_view.selectName(trimBlanks(rows->first().name));
    proposeSdesc();
}

bool RecordingEntry::foundChannel(const std::optional<QList<ViewerDatabase::Channel>>& rows)
{
    if (!rows) {
        m_s.prompter.message(QStringLiteral("The channel cannot be read from the viewer "
                                            "database (%1).")
                                 .arg(m_s.db.lastError()),
                             Prompter::Icon::Warning);
        return false;
    }
    if (rows->isEmpty()) {
        m_s.prompter.message(m_s.state.msg.MsgChannelNotFound);
        return false;
    }
    return true;
}

void RecordingEntry::namePicked()
{
    if (m_formLoading || m_numSyncBusy)
        return;
    m_nameSyncBusy = true;
    const auto done = qScopeGuard([this] { m_nameSyncBusy = false; });
    const auto rows = m_s.db.channelsByName(m_view.nameText());
    if (!foundChannel(rows))
        return;
    m_view.selectNumber(rows->first().number);
    proposeSdesc();
}

void RecordingEntry::spinChanged(EntrySpin spin, int value)
{
    switch (spin) {
    case EntrySpin::StartTime:
        m_view.setText(EntryField::StartTime, timeText(value * kMinute));
        break;
    case EntrySpin::StopTime:
        m_view.setText(EntryField::StopTime, timeText(value * kMinute));
        break;
    case EntrySpin::StartDate:
        m_view.setText(EntryField::StartDate, dateText(double(m_dayBase + value)));
        break;
    case EntrySpin::StopDate:
        m_view.setText(EntryField::StopDate, dateText(double(m_dayBase + value)));
        break;
    case EntrySpin::UntilDate:
        m_view.setText(EntryField::UntilDate, dateText(double(m_dayBase + value)));
        break;
    case EntrySpin::PreRecord:
        m_view.setText(EntryField::PreRecord, QString::number(value));
        break;
    case EntrySpin::PostRecord:
        m_view.setText(EntryField::PostRecord, QString::number(value));
        break;
    }
}

void RecordingEntry::repetitionChosen(Repetition r)
{
    m_view.setWeekdaysEnabled(r == Repetition::Daily);
}

bool RecordingEntry::fail(const QString& text)
{
    m_s.prompter.message(text);
    return false;
}

bool RecordingEntry::validateDateTime(EntryField field)
{
    const QString own = m_view.text(field);
    const auto parsed = isDateField(field) ? parseUserDate(own) : parseUserTime(own);
    if (!parsed)
        return fail(m_s.state.msg.MsgInvalidDateTime);
    const double limit = m_s.clock.nowSerial() + kWithinDays;
    bool ok = true;
    if (field == EntryField::UntilDate) {
        // Only the until date itself; the description is not touched.
        if (const auto t = parseUserTime(m_view.text(EntryField::StartTime));
            t && *parsed + *t > limit)
            return fail(m_s.state.msg.MsgNotWithinYear);
        return true;
    }
    const bool startSide = field == EntryField::StartDate || field == EntryField::StartTime;
    const auto date =
        parseUserDate(m_view.text(startSide ? EntryField::StartDate : EntryField::StopDate));
    const auto time =
        parseUserTime(m_view.text(startSide ? EntryField::StartTime : EntryField::StopTime));
    // With the other field of the side unreadable, that field's own check will speak.
    if (date && time && *date + *time > limit)
        ok = fail(m_s.state.msg.MsgNotWithinYear);
    proposeSdesc();
    return ok;
}

bool RecordingEntry::validateMinutes(EntryField field)
{
    const double v = numericPrefix(m_view.text(field));
    if (std::isnan(v) || v < 0 || v > 59)
        return fail(m_s.state.msg.MsgMinutesRange);
    return true;
}

bool RecordingEntry::validate(EntryField field)
{
    switch (field) {
    case EntryField::StartDate:
    case EntryField::StartTime:
    case EntryField::StopDate:
    case EntryField::StopTime:
    case EntryField::UntilDate:
        return validateDateTime(field);
    case EntryField::PreRecord:
    case EntryField::PostRecord:
        return validateMinutes(field);
    case EntryField::Sdesc:
        if (m_view.text(EntryField::Sdesc).size() < 2)
            return fail(m_s.state.msg.MsgTooShort);
        return true;
    }
    return true;
}

RecordingEntry::OkResult RecordingEntry::ok()
{
    for (EntryField f : checkOrder()) {
        if (!validate(f))
            return {false, f};
    }
    CommitInput in;
    in.startDate = m_view.text(EntryField::StartDate);
    in.startTime = m_view.text(EntryField::StartTime);
    in.stopDate = m_view.text(EntryField::StopDate);
    in.stopTime = m_view.text(EntryField::StopTime);
    in.untilDate = m_view.text(EntryField::UntilDate);
    in.sdesc = m_view.text(EntryField::Sdesc);
    in.preRecord = m_view.text(EntryField::PreRecord);
    in.postRecord = m_view.text(EntryField::PostRecord);
    in.channelNumber = m_view.numberText();
    in.channelName = m_view.nameText();
    in.repetition = m_view.repetition();
    for (int i = 0; i < 7; ++i)
        in.weekdays[size_t(i)] = m_view.weekday(i);
    in.sdescEdited = m_sdescEdited;

    RecordingCommit commit(m_s.db, m_s.prompter, m_s.clock, m_s.state.msg);
    const RecordingCommit::Result r = commit.commit(in);
    if (r.startStamp != 0) {
        m_startStamp = r.startStamp;
        m_stopStamp = r.stopStamp;
    }
    if (r.outcome != RecordingCommit::Outcome::Finished)
        return {false, std::nullopt};
    m_recordsAdded = true;
    return {true, std::nullopt};
}

} // namespace dorvel
