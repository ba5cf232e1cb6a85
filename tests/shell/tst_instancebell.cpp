// The bell by which a second start asks the running instance to show its window.

#include "instancebell.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace dorvel;

class TestInstanceBell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ring_data()
    {
        QTest::addColumn<QString>("before"); // what lies at the path before the first start
        QTest::addColumn<bool>("listening");
        QTest::addRow("running instance") << "" << true;
        QTest::addRow("nobody running") << "" << false;
        QTest::addRow("socket left by a crashed instance") << "socket" << true;
        QTest::addRow("stray file") << "file" << true;
        QTest::addRow("socket left, nobody running") << "socket" << false;
    }
    void ring()
    {
        QFETCH(QString, before);
        QFETCH(bool, listening);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dorvel.bell"));
        if (before == QLatin1String("file")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (before == QLatin1String("socket")) {
            // Bound and closed again: what a killed instance leaves behind.
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            qstrncpy(a.sun_path, QFile::encodeName(path).constData(), sizeof a.sun_path);
            QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
            ::close(fd);
        }
        {
            InstanceBell bell(path);
            QSignalSpy rung(&bell, &InstanceBell::rung);
            if (listening) {
                QVERIFY(bell.listen());
                // Only the user's own programs may ring.
                struct stat st {};
                QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
                QVERIFY(S_ISSOCK(st.st_mode));
                QCOMPARE(st.st_mode & 0777, mode_t(0600));
            }
            QCOMPARE(InstanceBell::ring(path), listening);
            QCOMPARE(rung.wait(listening ? 5000 : 100), listening);
            QCOMPARE(InstanceBell::ring(path), listening);
            QTRY_COMPARE(rung.count(), listening ? 2 : 0);
        }
        // The next start finds no socket of an instance that ended normally.
        if (listening)
            QVERIFY(!QFile::exists(path));
        QVERIFY(!InstanceBell::ring(path));
    }

    // A path that does not fit a socket address fails plainly instead of ringing elsewhere.
    void overlongPath()
    {
        const QString path = QStringLiteral("/tmp/") + QString(200, QLatin1Char('b'));
        QVERIFY(!InstanceBell(path).listen());
        QVERIFY(!InstanceBell::ring(path));
    }
};

QTEST_GUILESS_MAIN(TestInstanceBell)
#include "tst_instancebell.moc"
