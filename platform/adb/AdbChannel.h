#pragma once

#include <QByteArray>

// The wire under one ADB transport: a USB interface or a TCP connection.
class AdbChannel
{
public:
    virtual ~AdbChannel();

    // What has arrived, at least one byte; 0 once the channel was closed or the phone went away.
    // Throws AdbError on a failure of the wire.
    virtual qint64 read(char *buffer, qint64 size) = 0;
    // Sends one message. Throws AdbError.
    virtual void write(const QByteArray &header, const QByteArray &payload) = 0;
    // Whether writeFromPipe() works: the wire is a socket the kernel moves a pipe's bytes into.
    virtual bool takesPipes() const { return false; }
    // Sends one message whose payload, `size` bytes, waits in `pipe`. Throws AdbError; where
    // takesPipes() is false, always.
    virtual void writeFromPipe(const QByteArray &header, int pipe, qint64 size);
    // Ends the channel; a read blocked on another thread returns 0. Safe to call more than once.
    virtual void close() = 0;
};
