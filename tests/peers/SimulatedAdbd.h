#pragma once

#include "SimulatedAdbdKey.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace tarnwick::peers {

class SimulatedAdbdConnection;

// A simulated Android phone's debugging daemon (adbd) on a loopback TCP port, speaking the device
// side of the ADB transport: CNXN, AUTH with tokens checked against the keys it trusts, streams
// (with or without the windows of "delayed_ack"; a host that sends beyond the window it was
// granted is dropped),
// and the services "shell:" (and the shell protocol "shell,v2,raw:" with exit status), "sync:"
// (SEND/DATA/DONE into an in-memory file table) and "tcp:<port>" (a connection to a loopback port
// of this computer, by default the same number, see mapPort()).
//
// Shell commands go first to the handler set with setShellHandler(), which a test (or the simulated
// companion app) uses to answer its own commands; those it leaves (std::nullopt) get the daemon's
// built-in answers: "pm list packages [-3|-s]", "pm install [-r] <path>", "rm -f <path>",
// "logcat -d", "dumpsys package <name>", "cat /system/build.prop", "am start …", "am broadcast …",
// "echo <text>", "exit <n>"; anything else is "not found" with status 127.
//
//     SimulatedAdbd::Options options;
//     options.requireAuth = true;
//     SimulatedAdbd phone(options);
//     auto transport = AdbTransport::start(AdbTcpChannel::connectTo("127.0.0.1", phone.port()), "sim");
class SimulatedAdbd
{
public:
    // What the phone's user does with the trust prompt a new key raises (Ask: whatever the test
    // answers with answerPrompt(), whenever it does; a "deny" there leaves the host connected but
    // unauthorised, as a phone lists it, until the host offers its key again).
    enum class Prompt { Accept, Refuse, Ignore, Ask };
    // Misbehaviour on purpose.
    enum class Fault {
        None,
        BadChecksum,         // data sent to the host carries a wrong byte sum (legacy version only matters)
        TruncatedMessage,    // the first shell answer is cut inside its payload and the connection dropped
        StreamClosedMidPush, // the file service closes its stream after the first DATA block
        GoneMidPush,         // the connection drops after the first DATA block of a push
        MuteAfterPush,       // the file service takes a whole push and never answers it
        OversizedPayload,    // the first shell answer exceeds the agreed payload limit
        OkayWithoutWindow,   // under delayed acknowledgement, the answer to the next OPEN lacks its window
        NegativeWindow,      // under delayed acknowledgement, the answer to the next OPEN grants -1 bytes
        WindowPastGrant,     // under delayed acknowledgement, the answer to the next OPEN is followed by
                             // an OKAY acknowledging bytes the host never sent
    };

    struct Options
    {
        quint32 version = 0x01000001;
        quint32 maxPayload = 256 * 1024;
        bool shellV2 = true;
        bool requireAuth = false;
        Prompt prompt = Prompt::Accept;
        int promptDelayMs = 0;
        QString serial = QStringLiteral("SIMULATED0001");
        // Offers "delayed_ack": with a host that offers it too, streams carry windows (OPEN's second
        // argument, the OKAYs' 4-byte payloads) instead of one WRTE in flight. Off: an older phone.
        bool delayedAck = true;
        // The window this phone grants each stream under delayed acknowledgement: adbd grants 32 MiB.
        quint32 receiveWindow = 32 * 1024 * 1024;
        // Off for throughput measurements: pushed files are counted, not kept (files() holds them
        // empty, fileSizes() their sizes).
        bool keepFileContents = true;
        // For throughput measurements: what the host sends to a "tcp:" stream goes to the app
        // through the kernel (splice) instead of being copied through this process, as a phone
        // spends its own processor on that, not the host's. The app must keep reading: the phone
        // then blocks on it.
        bool spliceForwards = false;
    };

    struct ShellResult
    {
        QByteArray out;
        QByteArray err;
        int exitCode = 0;
    };
    using ShellHandler = std::function<std::optional<ShellResult>(const QString &command)>;

    SimulatedAdbd();
    explicit SimulatedAdbd(Options options);
    ~SimulatedAdbd();
    SimulatedAdbd(const SimulatedAdbd &) = delete;
    SimulatedAdbd &operator=(const SimulatedAdbd &) = delete;

    quint16 port() const { return m_port; }
    const Options &options() const { return m_options; }

    void setShellHandler(ShellHandler handler);
    void setFault(Fault fault);
    Fault takeFault(Fault which);
    // A public key in the phone's binary layout that the phone trusts from the start.
    void trustKey(const QByteArray &blob);
    // "tcp:<phonePort>" streams reach 127.0.0.1:<localPort>.
    void mapPort(quint16 phonePort, quint16 localPort);
    quint16 mappedPort(quint16 phonePort) const;
    // User-installed packages listed by "pm list packages -3".
    void setUserPackages(const QStringList &packages);
    // Drops every connection (the phone was unplugged).
    void unplug();
    // The user's answer to the trust prompts of Prompt::Ask, those shown and those to come.
    void answerPrompt(bool allow);
    std::optional<bool> promptAnswer() const;
    // The prompts of Prompt::Ask shown so far go away unanswered (dismissed, or timed out); with
    // newToken the phone then sends the host a fresh AUTH token, else it waits for the host.
    void dismissPrompt(bool newToken);
    // Where a prompt stands, read at once: a dismissal and an answer given just after it are never
    // taken as one answered prompt.
    struct PromptState
    {
        bool dismissed = false;
        bool tokenAfterDismiss = false;
        std::optional<bool> answer;
    };
    PromptState promptState(int generation) const;

    // What happened so far.
    QStringList shellCommands() const;
    QMap<QString, QByteArray> files() const;
    QMap<QString, int> fileModes() const;
    QMap<QString, qint64> fileSizes() const;
    QStringList installedPackages() const;
    QList<QByteArray> offeredKeys() const;
    int signaturesAccepted() const;
    int connectionCount() const;

    // Connection side.
    ShellResult runShell(const QString &command);
    std::shared_ptr<SimulatedAdbdKey> trustedKeyFor(const QByteArray &token, const QByteArray &signature);
    // Notes an offered key and returns the generation of the prompt it raises: a dismissal that
    // follows once the offer can be seen in offeredKeys() reaches that prompt.
    int keyOffered(const QByteArray &line);
    void trust(const std::shared_ptr<SimulatedAdbdKey> &key);
    void storeFile(const QString &path, const QByteArray &data, int mode, qint64 size);

private:
    ShellResult builtinShell(const QString &command);
    void acceptLoop();

    const Options m_options;
    int m_listenFd = -1;
    quint16 m_port = 0;
    std::thread m_acceptor;

    mutable std::mutex m_mutex;
    ShellHandler m_handler;
    Fault m_fault = Fault::None;
    std::optional<bool> m_promptAnswer;
    int m_promptGeneration = 0;
    bool m_tokenAfterDismiss = false;
    QList<std::shared_ptr<SimulatedAdbdKey>> m_trusted;
    QList<QByteArray> m_offered;
    int m_signaturesAccepted = 0;
    QMap<quint16, quint16> m_portMap;
    QStringList m_userPackages;
    QStringList m_installed;
    QStringList m_commands;
    QMap<QString, QByteArray> m_files;
    QMap<QString, int> m_modes;
    QMap<QString, qint64> m_sizes;
    std::list<std::shared_ptr<SimulatedAdbdConnection>> m_connections;
    std::list<std::thread> m_threads;
};

} // namespace tarnwick::peers
