#include "messages.h"

namespace dorvel {

using namespace Qt::StringLiterals;

MessageTable MessageTable::forLanguage(const QString& language)
{
    MessageTable m;
    if (language == u"eng"_s) {
        m.MsgActiveOptions = u"Active Options"_s;
        m.MsgStartViewer = u"StartOrbivu"_s;
        m.MsgGetRecordings = u"Get Recordings"_s;
        m.MsgSettings = u"Settings"_s;
        m.MsgDeleteSelection = u"Del. Select"_s;
        m.MsgNextEvent = u"Next Event"_s;
        m.MsgReadingRecordings = u"Get Recordings"_s;
        m.MsgRecordingsEdited = u"Recordings edited"_s;
        m.MsgTimedOut = u"Timed out:  "_s;
        m.MsgViewerStartedByUser = u"Orbivu is running started by user"_s;
        m.MsgWaiting = u"Waiting"_s;
        m.MsgViewerRecording = u"Orbivu is recording started by Dorvel"_s;
        m.MsgWaitingNext = u"Waiting. Next recording at "_s;
        m.MsgNotStarted = u"Not started"_s;
        m.MsgSelectDatabase = u"Select your Orbivu database"_s;
        m.MsgNoDatabase = u"No Database found"_s;
        m.MsgOpenDatabaseFailed = u"Open database failed"_s;
        m.MsgRecordingsAdded = u" Recordings added to ToDo list"_s;
        m.MsgDatabaseTooOld =
            u"Orbivu database versions older than Ver -0.071 are no longer supported!\r\nTry to update?"_s;
        m.MsgConfirmDelete = u"Delete selected recordings ?"_s;
        m.MsgOverlap = u"There is at least one overlapping record! Please check/delete"_s;
        m.MsgNoDeleteWhileRunning =
            u"Orbivu is running! Please close it (Delete is not possible otherwise)"_s;
        m.MsgNoReloadWhileRecording = u"Orbivu is recording! Reload Recordings not possible"_s;
        m.MsgCloseViewerNow =
            u"Orbivu is running! Please close it! A recording is scheduled in one minute!"_s;
        m.MsgRequestExpired =
            u"Recording request has expired! You may try to record it yourself (Future versions will try to handle this better...) Program will exit now"_s;
        m.MsgStandbyWorks = u"OK StandBy seems to work..."_s;
        m.MsgStandbyFails = u"Sorry, StandBy seems not to work..."_s;
        m.MsgNothingToDo = u"No Recordings to do..."_s;
        m.MsgCloseQuestionHead = u"Close Dorvel (still "_s;
        m.MsgCloseQuestionTail = u" Recordings to do...)"_s;
        m.MsgNotWithITime = u"Not possible with Shutdown by ITime"_s;
        m.MsgOnlyWithITime = u"Only possible with Shutdown by ITime"_s;
        m.MsgIllegalDateTime = u"Illegal date/time"_s;
        m.MsgEndBeforeStart = u"Endtime must be behind starttime"_s;
        m.MsgStopInPast = u"StopTime must be in the future"_s;
        m.MsgStartInPast = u"StartTime must be in the future"_s;
        m.MsgStopTooSoon = u"StopTime must be at least 1 min after Starttime"_s;
        m.MsgUntilTooSoon = u"Until date must be at least 1 day after Startdate"_s;
        m.MsgChannelNotFound = u"Channel not found!"_s;
        m.MsgNotWithinYear = u"Entry must within the next year"_s;
        m.MsgInvalidDateTime = u"Entry must be a valid date and time"_s;
        m.MsgWeekdayMismatch = u"Startdate and selection of weekdays do not match"_s;
        m.MsgTooShort = u"Entry must have at least 2 chars"_s;
        m.MsgMinutesRange = u"Pre und Post-record minutes must be between 0 and 59"_s;
        m.MsgITimeRange = u"ITime minutes must be between 15 and 999"_s;
    } else {
        m.MsgActiveOptions = u"Aktive Optionen"_s;
        m.MsgStartViewer = u"Orbivu starten"_s;
        m.MsgGetRecordings = u"Lese Aufnahmen"_s;
        m.MsgSettings = u"Einstellungen"_s;
        m.MsgDeleteSelection = u"Auswahl löschen"_s;
        m.MsgNextEvent = u"Nächste Aufnahme"_s;
        m.MsgReadingRecordings = u"Aufnahmen einlesen"_s;
        m.MsgRecordingsEdited = u"Aufnahmen geändert"_s;
        m.MsgTimedOut = u"Schon zu spät:  "_s;
        m.MsgViewerStartedByUser = u"Orbivu läuft: vom Anwender gestartet"_s;
        m.MsgWaiting = u"Abwarten"_s;
        m.MsgViewerRecording = u"Orbivu nimmt auf; Aufnahme von Dorvel gestarted"_s;
        m.MsgWaitingNext = u"Abwarten. Nächste Aufnahme:"_s;
        m.MsgNotStarted = u"Nicht gestarted"_s;
        m.MsgSelectDatabase = u"Orbivu Datenbank auswählen"_s;
        m.MsgNoDatabase = u"Keine Datenbank gefunden"_s;
        m.MsgOpenDatabaseFailed = u"Öffnen der Datenbank fehlgeschlagen"_s;
        m.MsgRecordingsAdded = u" Aufnahmen in die ToDo Liste aufgenommen"_s;
        m.MsgDatabaseTooOld =
            u"Orbivu Datenbank Versionen vor -0.071 werden nicht mehr unterstützt!\r\nSoll die Datenbank aktualisiert werden?"_s;
        m.MsgConfirmDelete = u"Ausgewählte Aufnahmen löschen?"_s;
        m.MsgOverlap =
            u"Mindestens eine sich überschneidene Aufnahme vorhanden! Bitte ändern/löschen"_s;
        m.MsgNoDeleteWhileRunning =
            u"Orbivu läuft gerade! Bitte schließen (Löschen ist sonst nicht möglich)"_s;
        m.MsgNoReloadWhileRecording =
            u"Orbivu Aufnahme läuft gerade! 'Lese Aufnahmen' ist nicht möglich!)"_s;
        m.MsgCloseViewerNow =
            u"Orbivu läuft gerade! Bitte schließen! Eine Aufnahme soll in einer Minute gestartet werden!"_s;
        m.MsgRequestExpired =
            u"Aufnahmestart ist abgelaufen. Diese Sendung bitte 'von Hand' aufnehmen (Zukünftige Versionen werden das vielleicht besser handhaben...) Programm schließt jetzt!"_s;
        m.MsgStandbyWorks = u"In Ordnung! Standby scheint zu funktionieren..."_s;
        m.MsgStandbyFails = u"Schade! Standby scheint nicht zu funktionieren..."_s;
        m.MsgNothingToDo = u"Keine Aufnahmen in der ToDo Liste..."_s;
        m.MsgCloseQuestionHead = u"Dorvel schließen (Noch "_s;
        m.MsgCloseQuestionTail = u" Aufnahmen in der ToDo Liste...)"_s;
        m.MsgNotWithITime = u"Geht nicht in Verbindung mit Shutdown nach ITime"_s;
        m.MsgOnlyWithITime = u"Geht nur in Verbindung mit Shutdown nach ITime"_s;
        m.MsgIllegalDateTime = u"Datum/Uhrzeit nicht interpretierbar"_s;
        m.MsgEndBeforeStart = u"Stop Datum/Uhrzeit muss später als Start Datum/Uhrzeit sein"_s;
        m.MsgStopInPast = u"Stop Datum/Uhrzeit muss in der Zukunft liegen"_s;
        m.MsgStartInPast = u"Start Datum/Uhrzeit muss in der Zukunft liegen"_s;
        m.MsgStopTooSoon = u"Stop Datum/Uhrzeit muss mindestens 1 Minute hinter Startzeit liegen"_s;
        m.MsgUntilTooSoon = u"Bis zum Datum muss mindestens 1 Tag hinter Starttag liegen"_s;
        m.MsgChannelNotFound = u"Sender nicht gefunden!"_s;
        m.MsgNotWithinYear = u"Eintrag muss innerhalb des nächsten Jahres liegen"_s;
        m.MsgInvalidDateTime = u"Eintrag muss eine gültige Zeit und ein gültiges Datum enthalten"_s;
        m.MsgWeekdayMismatch = u"Starttag passt nicht zur Wochentag - Auswahl"_s;
        m.MsgTooShort = u"Eintrag muss mehr als zwei Buchstaben lang sein!"_s;
        m.MsgMinutesRange = u"Pre und Post-record Minuten müssen zwischen 0 und 59 liegen"_s;
        m.MsgITimeRange = u"ITime Minuten müssen zwischen 15 und 999 liegen"_s;
    }
    return m;
}

} // namespace dorvel
