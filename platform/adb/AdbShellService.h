#pragma once

#include <QByteArray>

#include <functional>
#include <memory>

class AdbTransport;

// Runs one command line in the phone's shell. Where the phone speaks the shell protocol (feature
// "shell_v2") the command's exit status comes back with its output; elsewhere the raw "shell:"
// service gives the output alone.
class AdbShellService
{
public:
    struct Result
    {
        QByteArray output; // what the command wrote, standard error following standard output
        int exitCode = 0;  // 0 where the phone does not report one
    };

    // Reads exactly the given number of bytes of the phone's answer; throws AdbError when it ends.
    using ReadExactly = std::function<QByteArray(qsizetype)>;

    // How long a command may stay silent before it counts as hung: the short commands this program
    // runs ("am start", "pm list packages", "rm") answer within seconds.
    static constexpr int kSilenceLimitMs = 20000;
    // A package install is silent while the phone checks and copies the package.
    static constexpr int kInstallSilenceLimitMs = 120000;

    // Throws AdbError when the command could not be run, the transport broke meanwhile or the
    // command sent nothing for silenceLimitMs.
    static Result run(AdbTransport &transport, const QString &command, int silenceLimitMs = kSilenceLimitMs);
    // The command's output and exit status from the shell protocol's packets, up to the exit packet.
    // Throws AdbError on a packet beyond what the phone may send.
    static Result readPackets(const ReadExactly &readExactly);

    // Packet ids of the shell protocol.
    enum PacketId : quint8 { Stdin = 0, Stdout = 1, Stderr = 2, Exit = 3, CloseStdin = 3 };
    static constexpr int kPacketHeaderSize = 5;
};
