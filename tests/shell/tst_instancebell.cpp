// The lock by which a second start finds the running instance, and the bell by which it asks
// that instance to show its window.

#include "instancebell.h"
#include "system.h"

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
        QTest::addColumn<bool>("heard");
        QTest::newRow("running instance") << "" << true << true;
        QTest::newRow("nobody running") << "" << false << false;
        QTest::newRow("socket left by a crashed instance") << "socket" << true << true;
        QTest::newRow("stray file") << "file" << true << true;
        QTest::newRow("socket left, nobody running") << "socket" << false << false;
    }
    void ring()
    {
        QFETCH(QString, before);
        QFETCH(bool, listening);
        QFETCH(bool, heard);
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
        QCOMPARE(InstanceBell::ring(path), heard);
        if (heard) {
            QVERIFY(rung.wait(5000));
            QCOMPARE(InstanceBell::ring(path), true);
            QTRY_COMPARE(rung.count(), 2);
        } else {
            QCoreApplication::processEvents();
            QCOMPARE(rung.count(), 0);
        }
    }

    // The next start finds no socket of an instance that ended normally.
    void endedInstanceLeavesNoSocket()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dorvel.bell"));
        {
            InstanceBell bell(path);
            QVERIFY(bell.listen());
            QVERIFY(QFile::exists(path));
        }
        QVERIFY(!QFile::exists(path));
        QVERIFY(!InstanceBell::ring(path));
    }

    // One holder at a time; the lock ends with its holder, and a file left behind by one that
    // was killed (in any format) holds nobody out.
    void singleInstance_data()
    {
        QTest::addColumn<QByteArray>("leftBehind"); // null: no file
        QTest::newRow("first start") << QByteArray();
        QTest::newRow("empty file left") << QByteArray("");
        QTest::newRow("file of a killed instance") << QByteArray("4242\ndorvel\nhost\n");
    }
    void singleInstance()
    {
        QFETCH(QByteArray, leftBehind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("dorvel.lock"));
        if (!leftBehind.isNull()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(leftBehind);
        }
        SingleInstance first(path);
        QVERIFY(first.tryAcquire());
        {
            SingleInstance second(path);
            QVERIFY(!second.tryAcquire());
            QVERIFY(second.problem().isEmpty()); // held, not broken
        }
        QVERIFY(first.tryAcquire()); // still held by the first, which asks again
        first.release();
        SingleInstance next(path);
        QVERIFY(next.tryAcquire());
    }

    // A path that does not fit a socket address fails plainly instead of ringing elsewhere.
    void overlongPath()
    {
        const QString path = QStringLiteral("/tmp/") + QString(200, QLatin1Char('b'));
        InstanceBell bell(path);
        QVERIFY(!bell.listen());
        QVERIFY(!InstanceBell::ring(path));
    }
};

QTEST_GUILESS_MAIN(TestInstanceBell)
#include "tst_instancebell.moc"
