#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace dorvel::standin {

// A small but well-formed MPEG transport stream: one programme with one video elementary
// stream. Programme tables (PAT, PMT) open the stream and repeat regularly so that a player
// can join anywhere; every packet is 188 bytes, starts with the sync byte 0x47 and carries a
// continuity counter per PID.
class TransportStream {
public:
    static constexpr int kPacketSize = 188;
    static constexpr quint8 kSyncByte = 0x47;
    static constexpr quint16 kPatPid = 0x0000;
    static constexpr quint16 kPmtPid = 0x1000;
    static constexpr quint16 kVideoPid = 0x0100;

    // The next count packets of the stream.
    QByteArray packets(int count);

    // CRC-32 as the programme tables use it (polynomial 0x04C11DB7, not reflected, initial
    // value all ones, no final inversion).
    static quint32 crc32(const QByteArray& data);

private:
    void appendPat(QByteArray& out);
    void appendPmt(QByteArray& out);
    void appendVideo(QByteArray& out);
    void appendSection(QByteArray& out, quint16 pid, const QByteArray& section);
    quint8 nextCounter(quint16 pid);

    quint8 m_patCounter = 0;
    quint8 m_pmtCounter = 0;
    quint8 m_videoCounter = 0;
    qint64 m_sent = 0;      // packets so far
    qint64 m_videoSent = 0; // video packets so far
};

} // namespace dorvel::standin
