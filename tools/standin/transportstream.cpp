#include "transportstream.h"

namespace dorvel::standin {

namespace {

// Tables repeat about once a second at the stand-in's rate of a few packets per 100 ms.
constexpr int kTableInterval = 40;
// A new PES packet begins every this many video packets.
constexpr int kPesInterval = 16;

void appendHeader(QByteArray& out, quint16 pid, bool unitStart, quint8 counter)
{
    out.append(char(TransportStream::kSyncByte));
    out.append(char((unitStart ? 0x40 : 0x00) | ((pid >> 8) & 0x1f)));
    out.append(char(pid & 0xff));
    // Not scrambled, payload only.
    out.append(char(0x10 | (counter & 0x0f)));
}

void appendCrc(QByteArray& section)
{
    const quint32 crc = TransportStream::crc32(section);
    for (int shift = 24; shift >= 0; shift -= 8)
        section.append(char((crc >> shift) & 0xff));
}

} // namespace

quint32 TransportStream::crc32(const QByteArray& data)
{
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= quint32(quint8(c)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

quint8 TransportStream::nextCounter(quint16 pid)
{
    quint8& c = pid == kPatPid ? m_patCounter : pid == kPmtPid ? m_pmtCounter : m_videoCounter;
    const quint8 current = c;
    c = (c + 1) & 0x0f;
    return current;
}

void TransportStream::appendSection(QByteArray& out, quint16 pid, const QByteArray& section)
{
    const qsizetype start = out.size();
    appendHeader(out, pid, true, nextCounter(pid));
    out.append(char(0)); // pointer field: the section follows at once
    out.append(section);
    out.append(kPacketSize - (out.size() - start), char(0xff));
}

void TransportStream::appendPat(QByteArray& out)
{
    QByteArray s;
    const int length = 5 + 4 + 4; // header rest, one programme, CRC
    s.append(char(0x00));         // table id: programme association
    s.append(char(0xb0 | ((length >> 8) & 0x0f)));
    s.append(char(length & 0xff));
    s.append(char(0x00)).append(char(0x01)); // transport stream id
    s.append(char(0xc1));                    // version 0, current
    s.append(char(0x00)).append(char(0x00)); // section 0 of 0
    s.append(char(0x00)).append(char(0x01)); // programme 1
    s.append(char(0xe0 | ((kPmtPid >> 8) & 0x1f))).append(char(kPmtPid & 0xff));
    appendCrc(s);
    appendSection(out, kPatPid, s);
}

void TransportStream::appendPmt(QByteArray& out)
{
    QByteArray s;
    const int length = 9 + 5 + 4; // header rest, one stream, CRC
    s.append(char(0x02));         // table id: programme map
    s.append(char(0xb0 | ((length >> 8) & 0x0f)));
    s.append(char(length & 0xff));
    s.append(char(0x00)).append(char(0x01)); // programme 1
    s.append(char(0xc1));
    s.append(char(0x00)).append(char(0x00));
    s.append(char(0xe0 | ((kVideoPid >> 8) & 0x1f))).append(char(kVideoPid & 0xff)); // PCR PID
    s.append(char(0xf0)).append(char(0x00)); // no programme descriptors
    s.append(char(0x02));                    // MPEG-2 video
    s.append(char(0xe0 | ((kVideoPid >> 8) & 0x1f))).append(char(kVideoPid & 0xff));
    s.append(char(0xf0)).append(char(0x00));
    appendCrc(s);
    appendSection(out, kPmtPid, s);
}

void TransportStream::appendVideo(QByteArray& out)
{
    const qsizetype start = out.size();
    const bool unitStart = m_videoSent % kPesInterval == 0;
    appendHeader(out, kVideoPid, unitStart, nextCounter(kVideoPid));
    if (unitStart) {
        // PES header of a video stream with unbounded length and no optional fields.
        const char pes[] = {0x00, 0x00, 0x01, char(0xe0), 0x00, 0x00, char(0x80), 0x00, 0x00};
        out.append(pes, sizeof pes);
    }
    // Filler that never looks like a sync byte, so that a broken packet boundary shows.
    const char fill = char(0x10 + m_videoSent % 0x20);
    out.append(kPacketSize - (out.size() - start), fill);
    ++m_videoSent;
}

QByteArray TransportStream::packets(int count)
{
    QByteArray out;
    out.reserve(qsizetype(count) * kPacketSize);
    for (int i = 0; i < count; ++i, ++m_sent) {
        const qint64 slot = m_sent % kTableInterval;
        if (slot == 0)
            appendPat(out);
        else if (slot == 1)
            appendPmt(out);
        else
            appendVideo(out);
    }
    return out;
}

} // namespace dorvel::standin
