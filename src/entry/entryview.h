#pragma once

#include <QString>
#include <QStringList>

namespace dorvel {

// The fields of the add-recording form that the logic reads and writes.
enum class EntryField {
    StartDate,
    StartTime,
    StopDate,
    StopTime,
    UntilDate,
    PreRecord,
    PostRecord,
    Sdesc
};
// The seven spin controls, each beside the field of the same name (and of the same value).
enum class EntrySpin { StartDate, StartTime, StopDate, StopTime, UntilDate, PreRecord, PostRecord };
enum class Repetition { Once, Daily, Weekly };

// A weekday box: 0 cleared, 1 ticked, 2 greyed. Greyed counts as selected.
inline constexpr int kWeekdayCleared = 0;
inline constexpr int kWeekdayTicked = 1;
inline constexpr int kWeekdayGreyed = 2;

// What the add-recording logic sees of its form. The form implements it; a spin value or a
// list selection set through it behaves as if the user had made it: the form reports it back
// to the logic (RecordingEntry::spinChanged, numberPicked, namePicked).
class EntryView {
public:
    virtual ~EntryView() = default;

    virtual QString text(EntryField field) const = 0;
    virtual void setText(EntryField field, const QString& text) = 0;
    virtual void setSpinValue(EntrySpin spin, int value) = 0;

    virtual void fillChannelLists(const QStringList& numbers, const QStringList& names) = 0;
    virtual void selectNumber(const QString& number) = 0;
    virtual void selectName(const QString& name) = 0;
    virtual QString numberText() const = 0;
    virtual QString nameText() const = 0;

    virtual Repetition repetition() const = 0;
    // index 0 is Monday, 6 Sunday.
    virtual int weekday(int index) const = 0;
    virtual void setWeekdaysEnabled(bool on) = 0;
};

} // namespace dorvel
