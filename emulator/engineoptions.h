// How the emulated receiver behaves: its store, the pace of its serial line
// and the faults it plays. Shared by the engine, the host and the command line.
#ifndef ENGINEOPTIONS_H
#define ENGINEOPTIONS_H

#include "devicestore.h"

#include <QtCore/QByteArray>
#include <QtCore/QByteArrayList>
#include <QtCore/QString>
#include <QtCore/QStringList>

struct EngineOptions
{
    quint32 capacity = DeviceStore::DefaultCapacity;
    // Blocks of 4096 bytes kept out of the total the memory report gives,
    // as SPIFFS keeps two spare: files may still fill them, so a full store
    // reports up to that much more used than its total.
    quint32 spareBlocks = 0;
    QString folder; // empty: the store lives in memory

    // Bytes per second are baud / 10 (start bit, 8 data bits, stop bit), in
    // both directions; 0 means no pacing.
    qint32 baud = 0;
    // Flash write time: added before each chunk's acknowledgement.
    qint64 writeDelayUs = 0;
    // Time to open a file: a download's answer starts this long after its
    // request, as a receiver slow to open a large file.
    int openDelayMs = 0;
    // Replies go out in pieces of splitBytes bytes (0: whole) with gapMs
    // milliseconds of silence between them.
    int splitBytes = 0;
    int gapMs = 0;
    // Command letters that are carried out but never answered.
    QByteArray silentLetters;
    // Stray bytes (boot-loader noise, log lines) when the line has been quiet
    // for garbageIntervalUs between exchanges.
    bool garbage = false;
    qint64 garbageIntervalUs = 250000;
    // Closes the line after this many bytes have been sent; -1: never.
    qint64 hangUpAfter = -1;
    // A frame that stays incomplete this long is dropped, like a read that
    // times out in the firmware.
    qint64 frameTimeoutUs = 1000000;
    // A client opening the line resets the receiver (DTR/RTS auto-reset):
    // the boot banner goes out, bytes before the boot has ended are lost.
    bool bootOnOpen = false;
    // Files (store names, without the leading "/") whose uploads are stored
    // with one byte flipped, for a client that reads back what it wrote.
    QByteArrayList corruptNames;
    // Every command and its answer is logged, not only opened files.
    bool verbose = false;
    // A trace file to play back instead of the receiver (ReplayEngine).
    QString replayTrace;
};

#endif // ENGINEOPTIONS_H
