#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class AdbTransport;
class QIODevice;

// The phone's file service ("sync:"): sends a file to a path on the phone.
class AdbSyncService
{
public:
    // How long the phone may take to answer once it has the whole file.
    static constexpr int kAnswerLimitMs = 60000;
    // Largest DATA block the phone accepts.
    static constexpr int kMaxDataBlock = 64 * 1024;

    // Sends everything source yields to remotePath with the given mode (e.g. 0644). Throws AdbError
    // when the phone refuses it (with the phone's reason), the transport broke or no answer came
    // within answerLimitMs.
    static void push(AdbTransport &transport, QIODevice &source, const QString &remotePath, int mode,
                     quint32 mtime, int answerLimitMs = kAnswerLimitMs);
    // Reads the phone's answer to a push through readExactly (which throws AdbError when the answer
    // ends early): returns on OKAY, throws AdbError with the phone's reason on FAIL and on anything
    // else.
    static void readPushAnswer(const std::function<QByteArray(qsizetype)> &readExactly);
};
