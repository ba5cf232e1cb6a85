// The XDG autostart entry: written, read back by the Desktop Entry rules, deleted.

#include "linux_autostart.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace dorvel;

namespace {

// A desktop entry string value, unescaped.
QString unescapeString(const QString& v)
{
    QString out;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v.at(i) != QLatin1Char('\\') || i + 1 == v.size()) {
            out += v.at(i);
            continue;
        }
        const QChar n = v.at(++i);
        switch (n.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += QLatin1Char('\\');
            out += n;
        }
    }
    return out;
}

// Exec= split into the program and its arguments, as a launcher does: string escapes first,
// then the quoting rule, then %% for a literal percent sign. Nothing for a malformed line.
std::optional<QStringList> parseExec(const QString& value)
{
    const QString v = unescapeString(value);
    QStringList args;
    QString cur;
    bool inArg = false, quoted = false;
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < v.size() &&
                QStringLiteral("\\\"`$").contains(v.at(i + 1))) {
                cur += v.at(++i);
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('%')) {
                if (i + 1 >= v.size() || v.at(i + 1) != QLatin1Char('%'))
                    return std::nullopt;
                cur += v.at(++i);
            } else {
                cur += c;
            }
            continue;
        }
        if (c == QLatin1Char(' ')) {
            if (inArg)
                args.append(cur);
            cur.clear();
            inArg = false;
            continue;
        }
        inArg = true;
        if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (QStringLiteral("\t\n'\\><~|&;$*?#()`").contains(c)) {
            return std::nullopt; // reserved outside quotes
        } else if (c == QLatin1Char('%')) {
            if (i + 1 >= v.size() || v.at(i + 1) != QLatin1Char('%'))
                return std::nullopt;
            cur += v.at(++i);
        } else {
            cur += c;
        }
    }
    if (quoted)
        return std::nullopt;
    if (inArg)
        args.append(cur);
    return args;
}

QMap<QString, QString> readEntry(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, QString> keys;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (lines.value(0) != QStringLiteral("[Desktop Entry]"))
        return {};
    for (const QString& l : lines.mid(1)) {
        const qsizetype eq = l.indexOf(QLatin1Char('='));
        if (eq > 0)
            keys.insert(l.left(eq), l.mid(eq + 1));
    }
    return keys;
}

} // namespace

class TestAutostart : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void overwriteAndDelete();
    void followsXdgConfigHome();
    void failuresAreSilent();
};

void TestAutostart::roundTrip_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("args");

    const QStringList min{QStringLiteral("min")};
    const QStringList cmos{QStringLiteral("min"), QStringLiteral("cmos")};
    QTest::newRow("plain") << "/opt/dorvel" << min;
    QTest::newRow("blanks") << "/home/u/My Programs/TV Tools" << cmos;
    QTest::newRow("double quote") << "/home/u/the \"best\" one" << min;
    QTest::newRow("single quote") << "/home/u/Peter's apps" << cmos;
    QTest::newRow("backslash") << "/home/u/back\\slash\\\\two" << min;
    QTest::newRow("dollar and backtick") << "/home/u/$HOME/`id`" << min;
    QTest::newRow("percent") << "/home/u/100% %f" << min;
    QTest::newRow("leading blank") << " /lead" << min;
    QTest::newRow("umlauts and semicolon") << "/home/jörg/a;b (c)" << cmos;
    QTest::newRow("tab and newline") << "/home/u/a\tb\nc" << min;
}

void TestAutostart::roundTrip()
{
    QFETCH(QString, folder);
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    LinuxAutostart autostart(dir.filePath(QStringLiteral("autostart")));
    const QString program = folder + QStringLiteral("/dorvel");

    autostart.setRunEntry(QStringLiteral("Dorvel"), program, args);

    const QString path = dir.filePath(QStringLiteral("autostart/Dorvel.desktop"));
    QCOMPARE(autostart.entryPath(QStringLiteral("Dorvel")), path);
    const QMap<QString, QString> keys = readEntry(path);
    QCOMPARE(keys.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(keys.value(QStringLiteral("Name")), QStringLiteral("Dorvel"));
    const std::optional<QStringList> exec = parseExec(keys.value(QStringLiteral("Exec")));
    QVERIFY2(exec, qPrintable(keys.value(QStringLiteral("Exec"))));
    QCOMPARE(*exec, QStringList{program} + args);
}

void TestAutostart::overwriteAndDelete()
{
    QTemporaryDir dir;
    LinuxAutostart autostart(dir.path());
    autostart.setRunEntry(QStringLiteral("Dorvel"), QStringLiteral("/a b/dorvel"),
                          {QStringLiteral("min"), QStringLiteral("cmos")});
    autostart.setRunEntry(QStringLiteral("Dorvel"), QStringLiteral("/a b/dorvel"),
                          {QStringLiteral("min")});
    const QString path = autostart.entryPath(QStringLiteral("Dorvel"));
    QCOMPARE(parseExec(readEntry(path).value(QStringLiteral("Exec"))),
             (QStringList{QStringLiteral("/a b/dorvel"), QStringLiteral("min")}));

    autostart.deleteRunEntry(QStringLiteral("Dorvel"));
    QVERIFY(!QFile::exists(path));
    autostart.deleteRunEntry(QStringLiteral("Dorvel")); // not there: nothing happens
    QVERIFY(!QFile::exists(path));
}

void TestAutostart::followsXdgConfigHome()
{
    QTemporaryDir dir;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    LinuxAutostart autostart;
    if (old.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", old);
    autostart.setRunEntry(QStringLiteral("Dorvel"), QStringLiteral("/opt/dorvel"),
                          {QStringLiteral("min")});
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("autostart/Dorvel.desktop"))));
}

void TestAutostart::failuresAreSilent()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("autostart")));
    QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    LinuxAutostart autostart(blocker.fileName());
    autostart.setRunEntry(QStringLiteral("Dorvel"), QStringLiteral("/opt/dorvel"),
                          {QStringLiteral("min")});
    autostart.deleteRunEntry(QStringLiteral("Dorvel"));
    QVERIFY(QFileInfo(blocker.fileName()).isFile());
}

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
