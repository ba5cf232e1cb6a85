// The XDG autostart entry: written, read back by the Desktop Entry rules, deleted.

#include "linux_autostart.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;

namespace {

// Exec= of the entry split as a launcher does: the string escapes first, then the quoting
// rule, then %% for a percent sign. Nothing for a malformed value.
std::optional<QStringList> readExec(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.readLine().startsWith("[Desktop Entry]"))
        return std::nullopt;
    QString v = QString(f.readAll()).section("\nExec=", 1).section('\n', 0, 0);
    v = v.replace("\\\\", "\x01").replace("\\s", " ").replace("\\n", "\n").replace("\\t", "\t");
    v = v.replace("\\r", "\r").replace("\x01", "\\") + ' ';
    QStringList args;
    QString cur;
    bool quoted = false, inArg = false;
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v.at(i), next = i + 1 < v.size() ? v.at(i + 1) : QChar();
        if (c == ' ' && !quoted) {
            if (inArg)
                args.append(cur);
            cur.clear();
            inArg = false;
            continue;
        }
        inArg = true;
        if (c == '"')
            quoted = !quoted;
        else if (quoted && c == '\\' && QString("\\\"`$").contains(next))
            cur += v.at(++i);
        else if (!quoted && QString("\t\n'\\><~|&;$*?#()`").contains(c))
            return std::nullopt; // reserved outside quotes
        else if (c == '%' && next != '%')
            return std::nullopt;
        else
            cur += c == '%' ? v.at(++i) : c;
    }
    return quoted ? std::nullopt : std::optional(args);
}

} // namespace

class TestAutostart : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("blanks and quotes") << "/home/u/My \"best\" Peter's apps";
        QTest::newRow("backslashes") << "/home/u/back\\slash\\\\two";
        QTest::newRow("dollar and backtick") << "/home/u/$HOME/`id`";
        QTest::newRow("percent") << "/home/u/100% %f";
        QTest::newRow("tab and newline") << "/home/u/a\tb\nc";
        QTest::newRow("umlaut, semicolon, brackets") << " /home/jörg/a;b (c)";
    }
    void roundTrip()
    {
        QFETCH(QString, folder);
        QTemporaryDir dir;
        LinuxAutostart autostart(dir.filePath("autostart"));
        autostart.setRunEntry("Dorvel", folder + "/dorvel", {"min", "cmos"});
        autostart.setRunEntry("Dorvel", folder + "/dorvel", {"min"}); // overwritten
        const QString path = dir.filePath("autostart/Dorvel.desktop");
        QCOMPARE(readExec(path), (QStringList{folder + "/dorvel", "min"}));

        autostart.deleteRunEntry("Dorvel");
        autostart.deleteRunEntry("Dorvel"); // not there: nothing happens
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
