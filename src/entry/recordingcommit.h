#pragma once

#include "entryview.h"
#include "viewerdb.h"

#include <QList>
#include <QString>

#include <array>

namespace dorvel {

class Clock;
class Prompter;
struct MessageTable;

// What the add-recording form holds at the moment OK is pressed.
struct CommitInput {
    QString startDate, startTime, stopDate, stopTime, untilDate;
    QString sdesc, preRecord, postRecord;
    QString channelNumber, channelName;
    Repetition repetition = Repetition::Once;
    std::array<int, 7> weekdays{kWeekdayGreyed, kWeekdayGreyed, kWeekdayGreyed, kWeekdayGreyed,
                                kWeekdayGreyed, kWeekdayGreyed, kWeekdayGreyed};
    bool sdescEdited = false;
};

// The first n characters of a text, never splitting a character outside the basic plane
// (a surrogate pair) in two: a half pair would be stored as garbage.
QString leftChars(const QString& text, int n);

// The rows a commit writes, in ascending order of their start, and how many a repetition
// announces. start and stop are the day serials of the first occurrence.
struct CommitPlan {
    QList<ViewerDatabase::NewRecord> rows;
    QList<double> starts; // the start of each row, for the failure message
};
// Rows of the channel keys for a checked input; start and stop must parse. Whole days are
// added to the wall-clock serial, so a series keeps its time of day across a daylight-saving
// change and a stop after midnight keeps its offset.
CommitPlan planRows(const CommitInput& in, double start, double stop, double until,
                    const ViewerDatabase::ChannelKeys& keys);
// The number of entries the confirmation announces for a repetition.
int entryCount(const CommitInput& in, double startDate, double untilDate);

// OKButton_Click after the field checks: the five checks, the confirmation of a repetition,
// the channel look-up and the writing of the rows. All rows are written in one transaction:
// a row that fails after the first keeps the rows before it (they are committed), a first
// row that fails writes nothing.
class RecordingCommit {
public:
    enum class Outcome {
        Refused,     // a check, the confirmation or the look-up: nothing written, form open
        FirstFailed, // nothing written, form open, message shown
        Finished     // rows written (all, or those before a failing one); the form closes
    };
    struct Result {
        Outcome outcome = Outcome::Refused;
        int written = 0;
        double startStamp = 0, stopStamp = 0; // set once the checks got that far
    };

    RecordingCommit(ViewerDatabase& db, Prompter& prompter, const Clock& clock,
                    const MessageTable& msg);
    Result commit(const CommitInput& in);

private:
    Result refuse(const QString& text, Result r);

    ViewerDatabase& m_db;
    Prompter& m_prompter;
    const Clock& m_clock;
    const MessageTable& m_msg;
};

} // namespace dorvel
