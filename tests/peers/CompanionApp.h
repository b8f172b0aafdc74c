#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;

namespace tarnwick::peers {

// One data row of the simulated phone's contact store: its type and its record fields as they travel.
struct CompanionRow
{
    qint64 id = 0;
    int type = 0;
    // The fields as the record carried them, each after its comma, in UTF-8: the store keeps the
    // bytes it was sent (tens of kilobytes for a photo, thousands of times in a benchmark) and
    // decodes only when asked.
    QByteArray record;

    QStringList fields() const { return fieldsOf(record); }
    static QStringList fieldsOf(const QByteArray &record);
    static QByteArray recordOf(const QStringList &fields);
};

// One contact of the store; its name row, when it has one, is the first row.
struct CompanionContact
{
    qint64 id = 0;
    qint64 rawId = 0;
    QList<CompanionRow> rows;

    // The rows of one type.
    QList<CompanionRow> rowsOf(int type) const;
};

// A simulated companion app on a phone: a contact store with its own id generators, listening on a
// loopback port. It serves a session only after being told to (the broadcast the phone's shell
// delivers, see SimulatedAndroidHandle; SimulatedAndroidPhone gives each session a port of its own),
// and then speaks the line protocol as the real app would. Sessions are served one at a time.
//
// Load: "$device:", "$version:", "$count:", batches of `batchSize` contacts (each contact's name
// record first), each "$batch:", its "$ent:" lines and "$end:" followed by a wait for the desktop's
// "$batch:", then "$bye:". The lines can be replaced by a script of the test's own; the connection
// is closed at the end of the script (or held open in silence when `silentAfterScript`).
//
// Restore: for each batch the desktop sends ("$batch:" … "$end:"), the app applies the records and
// answers one "$batch:" line with "old=>new," for every record it created. Its rules:
// - a name record under a provisional id (negative data field) creates a new contact, whatever its
//   contact fields say;
// - any other record under a provisional id adds a row to the contact its contact field names (an
//   unknown contact is answered with "$error:");
// - a group record names its group; the contact joins that group (one membership per group name; a
//   record for a group it is already in maps to the existing row), and groups are matched by name;
// - a record under a positive data id replaces that row's fields; no mapping is given;
// - "$del:" with a name record's id deletes the whole contact, with another record's id that row;
//   provisional ids are ignored;
// - "$ungroup:" with a contact id removes every group membership of that contact.
class CompanionApp
{
public:
    enum class Mode { None, Load, Restore };

    // What the app answers to a restore batch: the line to send, or one of these.
    static const QString kClose;
    static const QString kSilent;

    CompanionApp();
    ~CompanionApp();
    CompanionApp(const CompanionApp &) = delete;
    CompanionApp &operator=(const CompanionApp &) = delete;

    // The phone port the app listens on (a loopback port of this machine).
    quint16 port() const;

    // Store. Rows are (type, fields) pairs; returns the new contact's id.
    qint64 addContact(const QList<QPair<int, QStringList>> &rows);
    QList<CompanionContact> contacts() const;
    QSet<QString> groups() const;

    // Session settings; set them before the session starts.
    QString deviceName = QStringLiteral("Pixel");
    // The argument of "$version:"; a null text leaves the line out.
    QString versionArg = QStringLiteral("2");
    int batchSize = 50;
    QByteArray lineEnd = "\n";
    bool silentAfterScript = false;
    // Whether received() keeps what the desktop sent (large transfers may not want to).
    bool keepReceived = true;
    // Replaces the lines of the next load.
    void setLoadScript(const QStringList &lines);
    // The load the store gives, as lines without their line ends.
    QStringList loadScript() const;
    // Decides the answer to restore batch `index` (from 0) given the normal answer.
    std::function<QString(int index, const QString &normal)> answerHook;

    // What the phone's shell broadcasts: serve one session of `mode` on `port`. Ignored unless
    // `port` is the app's own port.
    void serve(Mode mode, int port);
    // The same broadcast as a phone's app takes it: the session gets a port of its own (returned;
    // 0 when none could be opened) whose first connection is served as that session. A connection
    // made for an earlier session can then never take this one's place, however late the app gets
    // round to it.
    quint16 listenForSession(Mode mode);

    // Lines the desktop sent, over all sessions, without their line ends.
    QStringList received() const;
    int sessionsServed() const;
    // Waits until `count` sessions have been served and none is running; false when that has not
    // happened within `ms`.
    bool waitServed(int count, int ms) const;

private:
    class Worker;
    friend class Worker;

    QStringList loadHeader() const;
    QStringList loadBatch(qsizetype first) const;
    bool sendLoadLines(QTcpSocket &socket, const QStringList &lines, bool last);
    void runLoad(QTcpSocket &socket);
    void runRestore(QTcpSocket &socket);
    QString applyBatch(const QList<QByteArray> &lines);
    void record(const QString &line);
    void record(const QByteArray &line);

    mutable QMutex m_mutex;
    QList<CompanionContact> m_contacts;
    QSet<QString> m_groups;
    qint64 m_nextContact = 100;
    qint64 m_nextRaw = 900;
    qint64 m_nextData = 5000;
    QStringList m_script;
    bool m_hasScript = false;
    QStringList m_received;
    Mode m_armed = Mode::None;
    struct SessionListener
    {
        int fd = -1;
        Mode mode = Mode::None;
    };
    // Ports opened by listenForSession() and not yet connected to; each is closed by the worker
    // once it took its connection.
    std::vector<SessionListener> m_sessionListeners;
    // Wakes the worker when a session port opens.
    int m_wake[2] = {-1, -1};
    std::atomic_int m_served{0};
    std::atomic_bool m_busy{false};
    std::unique_ptr<Worker> m_worker;
};

} // namespace tarnwick::peers
