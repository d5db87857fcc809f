// Small things every benchmark group uses: progress lines, file contents
// and the line's arithmetic at 115200 baud.
#ifndef BENCHUTIL_H
#define BENCHUTIL_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Bench {

constexpr int KiB = 1024;
constexpr int MiB = 1024 * 1024;
constexpr double Baud = 115200;
constexpr int FrameHeader = 17; // preamble and letter
constexpr int ChunkBytes = 32;  // content bytes per upload frame
constexpr int ChunkFrame = 50;  // header, count byte, 32 bytes
// The largest flash a receiver has: a larger report is refused as not the
// receiver's, by the window and the command line alike.
constexpr quint32 TransferCapacity = 16 * MiB;
constexpr int TimeoutMs = 120000;

// A progress line on standard error.
void say(const QString &line);

// size pseudo-random bytes, the same for the same seed.
QByteArray fileContent(int size, quint32 seed);
bool writeFile(const QString &path, const QByteArray &content);

// Seconds the bytes take at 115200 baud, 10 bits a byte (8N1).
double wireSeconds(qint64 bytes);

// The stop-and-wait bound of an upload, in bytes on the wire: the start
// frame (header, 4-byte path length, 4-byte size, "/" and the name) and its
// "A", 51 bytes per 32-byte chunk (50-byte frame and "A"; a shorter last
// chunk 19 bytes and its own), the end frame and its "u".
qint64 uploadBoundBytes(qint64 fileSize, int nameLength);
// The program's answers an upload waits for: one after the start frame's
// "A" and one after each chunk's (the last answer is the end frame).
qint64 uploadAnswers(qint64 fileSize);

// The load average over 1, 5 and 15 minutes, as /proc/loadavg gives it.
QString loadAverage();

// The text after the ":" of the first line of a /proc file that starts with key.
QString firstMatch(const QString &path, const QString &key);

// All CPUs' time and the part of it stolen by the host (a virtual
// machine's CPU that was ready to run while the host ran something else),
// in clock ticks since boot (/proc/stat). A busy host shows here and not in
// the load average.
struct CpuTicks
{
    qint64 total = 0;
    qint64 steal = 0;
};
CpuTicks cpuTicks();
// The stolen share of the time between two readings, in percent.
double stealPercent(const CpuTicks &from, const CpuTicks &to);

} // namespace Bench

#endif // BENCHUTIL_H
