#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <initializer_list>
#include <optional>

namespace dorvel {

class SettingsStore;

// The program's own settings: application "Dorvel", section "Startup". This file is the one
// place where their keys and defaults are defined.
namespace key {
inline const QString App = QStringLiteral("Dorvel");
inline const QString Section = QStringLiteral("Startup");
} // namespace key

struct KeyDefault {
    const char* key;
    const char* defaultValue;
};

namespace keys {
inline constexpr KeyDefault OrbivuDBPath{"OrbivuDBPath", ""};
inline constexpr KeyDefault TestPath{"TestPath", ""};
inline constexpr KeyDefault Language{"Language", ""};
inline constexpr KeyDefault UseShortdesc{"UseShortdesc", "1"};
inline constexpr KeyDefault IgnoreOverlap{"IgnoreOverlap", "0"};
inline constexpr KeyDefault StartPendingRecord{"StartPendingRecord", "1"};
inline constexpr KeyDefault SaveLog{"SaveLog", "0"};
inline constexpr KeyDefault RecDelay{"RecDelay", "1"};
inline constexpr KeyDefault RecDelaySec{"RecDelaySec", "500"};
inline constexpr KeyDefault Streamonly{"Streamonly", "1"};
inline constexpr KeyDefault AutoRun{"AutoRun", "0"};
inline constexpr KeyDefault AskForClose{"AskForClose", "1"};
inline constexpr KeyDefault AutoClose{"AutoClose", "0"};
inline constexpr KeyDefault WaitForClose{"WaitForClose", "0"};
inline constexpr KeyDefault WaitForProg{"WaitForProg", "TMPGenc.exe"};
inline constexpr KeyDefault SuspendCheck{"SuspendCheck", "0"};
inline constexpr KeyDefault ShutDownType{"ShutDownType", "Never"};
inline constexpr KeyDefault RuleMinutes{"RuleMinutes", "60"};
inline constexpr KeyDefault HPos{"HPos", "1000"};
inline constexpr KeyDefault VPos{"VPos", "1000"};
// 1000 x 600 pixels at 96 DPI: room for the list's times and titles at the first start.
inline constexpr KeyDefault VSize{"VSize", "9000"};
inline constexpr KeyDefault HSize{"HSize", "15000"};
// The widths fit each column's text, the default date-time form included, at any DPI.
inline constexpr KeyDefault MyFormatStr{"MyFormatStr",
                                        "50;600;2600;2500;2500;3000;3000;1500;1500;"};
} // namespace keys

// Flags are true only for exactly "1".
bool flagFromText(const QString& text);
// The numeric prefix of a text (leading blanks skipped, none = 0) as a double.
double numericPrefix(const QString& text);
// The numeric prefix rounded half-to-even to a 16-bit integer; nothing when it does not fit.
std::optional<qint16> int16FromText(const QString& text);

// Typed access to the program's own section of the settings store.
class ProgramSettings {
public:
    explicit ProgramSettings(SettingsStore& store) : m_store(store) {}

    QString text(const KeyDefault& k) const;
    bool flag(const KeyDefault& k) const;
    // A value that is not a 16-bit number gives the key's default.
    qint16 number(const KeyDefault& k) const;
    // False when the store could not write the value.
    bool save(const KeyDefault& k, const QString& value);
    bool saveFlag(const KeyDefault& k, bool on)
    {
        return save(k, on ? QStringLiteral("1") : QStringLiteral("0"));
    }
    void removeIfExists(const KeyDefault& k);
    // Reads these keys at once, from one reading of the store: a reader of many keys in a
    // row need not open the file for each. text() answers them from what was read until
    // the key is saved or removed here.
    void readAhead(std::initializer_list<KeyDefault> ks);

    SettingsStore& store() { return m_store; }

private:
    SettingsStore& m_store;
    QHash<const char*, QString> m_readAhead; // by the key's own name
};

// The live values of every setting, as read by the load handler.
struct Settings {
    QString language;
    bool useShortdesc = true;
    bool ignoreOverlap = false;
    bool startPendingRecord = true;
    bool saveLog = false;
    bool recDelay = true;
    qint16 recDelaySec = 500;
    bool streamonly = true;
    bool autoRun = false;
    bool askForClose = true;
    bool autoClose = false;
    bool waitForClose = false;
    QString waitForProg = QStringLiteral("TMPGenc.exe");
    bool suspendCheck = false;
    QString shutDownType = QStringLiteral("Never");
    qint16 ruleMinutes = 60;
};

// MyFormatStr: the splitter percentage, then widths of to-do list columns 1 to 8.
struct FormatStr {
    static constexpr std::array<qint16, 8> kDefaultWidths{600,  2600, 2500, 2500,
                                                          3000, 3000, 1500, 1500};
    // A column narrower than this could not be seen, nor widened again by the user.
    static constexpr qint16 kMinWidth = 150;
    static constexpr qint16 kMaxWidth = 15000;

    double splitRatio = 0.5; // kept between 0.05 and 0.95
    std::array<qint16, 8> columnWidths = kDefaultWidths;

    // A missing, unreadable or too narrow width gives the column's default; a huge one is
    // cut to kMaxWidth.
    static FormatStr parse(const QString& text);
    // The whole part of splitRatio x 100, then the eight widths, each ended by ";".
    static QString build(double splitRatio, const std::array<int, 8>& widths);
};

} // namespace dorvel
