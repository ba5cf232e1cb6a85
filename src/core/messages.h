#pragma once

#include <QString>

namespace dorvel {

// Every text the main window and the message boxes show in the user's language. Leading and
// trailing blanks are part of the texts: callers concatenate them with numbers and dates.
struct MessageTable {
    QString MsgActiveOptions;
    QString MsgStartViewer;
    QString MsgGetRecordings;
    QString MsgSettings;
    QString MsgDeleteSelection;
    QString MsgNextEvent;
    QString MsgReadingRecordings;
    QString MsgRecordingsEdited;
    QString MsgTimedOut;
    QString MsgViewerStartedByUser;
    QString MsgWaiting;
    QString MsgViewerRecording;
    QString MsgWaitingNext;
    QString MsgNotStarted;
    QString MsgSelectDatabase;
    QString MsgNoDatabase;
    QString MsgOpenDatabaseFailed;
    QString MsgRecordingsAdded;
    QString MsgDatabaseTooOld;
    QString MsgConfirmDelete;
    QString MsgOverlap;
    QString MsgNoDeleteWhileRunning;
    QString MsgNoReloadWhileRecording;
    QString MsgCloseViewerNow;
    QString MsgRequestExpired;
    QString MsgStandbyWorks;
    QString MsgStandbyFails;
    QString MsgNothingToDo;
    QString MsgCloseQuestionHead;
    QString MsgCloseQuestionTail;
    QString MsgNotWithITime;
    QString MsgOnlyWithITime;
    QString MsgIllegalDateTime;
    QString MsgEndBeforeStart;
    QString MsgStopInPast;
    QString MsgStartInPast;
    QString MsgStopTooSoon;
    QString MsgUntilTooSoon;
    QString MsgChannelNotFound;
    QString MsgNotWithinYear;
    QString MsgInvalidDateTime;
    QString MsgWeekdayMismatch;
    QString MsgTooShort;
    QString MsgMinutesRange;
    QString MsgITimeRange;

    // "eng" (exactly, case-sensitive) selects English; every other value German.
    static MessageTable forLanguage(const QString& language);
};

} // namespace dorvel
