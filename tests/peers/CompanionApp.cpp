#include "CompanionApp.h"

#include "CompanionRecord.h"
#include "LoopbackSockets.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutexLocker>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnwick::peers {

namespace {

constexpr int kNameType = 1;
constexpr int kGroupType = 7;

struct SyncId
{
    bool valid = false;
    int type = 0;
    qint64 contact = 0, raw = 0, data = 0;
};

// The app's own reading of "type/contact/raw/data".
SyncId parseId(const QString &text)
{
    SyncId id;
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 4)
        return id;
    bool ok[4];
    id.type = parts[0].toInt(&ok[0]);
    id.contact = parts[1].toLongLong(&ok[1]);
    id.raw = parts[2].toLongLong(&ok[2]);
    id.data = parts[3].toLongLong(&ok[3]);
    id.valid = ok[0] && ok[1] && ok[2] && ok[3];
    return id;
}

QString idText(int type, qint64 contact, qint64 raw, qint64 data)
{
    return QStringLiteral("%1/%2/%3/%4").arg(type).arg(contact).arg(raw).arg(data);
}

} // namespace

const QString CompanionApp::kClose = QStringLiteral("\x01close");
const QString CompanionApp::kSilent = QStringLiteral("\x01silent");

QStringList CompanionRow::fieldsOf(const QByteArray &record)
{
    QStringList out;
    if (record.isEmpty())
        return out;
    for (qsizetype from = 1;;) {
        const qsizetype comma = record.indexOf(',', from);
        out << QString::fromUtf8(record.constData() + from, (comma < 0 ? record.size() : comma) - from);
        if (comma < 0)
            return out;
        from = comma + 1;
    }
}

QByteArray CompanionRow::recordOf(const QStringList &fields)
{
    QByteArray out;
    for (const QString &field : fields)
        out += ',' + field.toUtf8();
    return out;
}

QList<CompanionRow> CompanionContact::rowsOf(int type) const
{
    QList<CompanionRow> out;
    for (const CompanionRow &row : rows)
        if (row.type == type)
            out.append(row);
    return out;
}

class CompanionApp::Worker : public QThread
{
public:
    explicit Worker(CompanionApp &app)
        : m_app(app)
    {}

    quint16 port = 0;
    QSemaphore ready;
    std::atomic_bool stop{false};

    // One line from the desktop without its line end; a null text once the connection is gone.
    QString readLine(QTcpSocket &socket)
    {
        const QByteArray line = readRawLine(socket);
        return line.isNull() ? QString() : QString::fromUtf8(line);
    }

    // The same line as the bytes that came: a write session's records carry photos of tens of
    // kilobytes, which are decoded field by field only (see applyBatch) rather than as a whole line
    // first. A null array once the connection is gone.
    QByteArray readRawLine(QTcpSocket &socket)
    {
        for (;;) {
            if (socket.canReadLine()) {
                QByteArray line = socket.readLine();
                line.chop(1);
                line.removeIf([](char c) { return c == '\r'; });
                if (line.isNull())
                    line = QByteArray("");
                return line;
            }
            if (stop || socket.state() != QAbstractSocket::ConnectedState)
                return QByteArray();
            socket.waitForReadyRead(50);
        }
    }

    // Like a buffered writer on the phone: lines collect until a flush pushes them all out.
    bool writeLine(QTcpSocket &socket, const QString &line, bool flush = true)
    {
        socket.write(line.toUtf8() + m_app.lineEnd);
        if (!flush)
            return true;
        while (socket.bytesToWrite() > 0) {
            if (stop || !socket.waitForBytesWritten(50)) {
                if (stop || socket.state() != QAbstractSocket::ConnectedState)
                    return false;
            }
        }
        return true;
    }

    // Keeps the connection open, sending nothing, until the desktop drops it.
    void holdUntilClosed(QTcpSocket &socket)
    {
        while (!stop && socket.state() == QAbstractSocket::ConnectedState) {
            socket.waitForReadyRead(50);
            socket.readAll();
        }
    }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        port = server.serverPort();
        ready.release();
        while (!stop) {
            Mode mode = Mode::None;
            std::unique_ptr<QTcpSocket> socket = nextConnection(server, mode);
            if (!socket)
                continue;
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            // Nobody asked for a session: the app is not listening for one.
            if (mode == Mode::None) {
                socket->abort();
                continue;
            }
            m_app.m_busy = true;
            ++m_app.m_served;
            if (mode == Mode::Load)
                m_app.runLoad(*socket);
            else
                m_app.runRestore(*socket);
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(1000);
            m_app.m_busy = false;
        }
    }

private:
    // The next connection to serve and the session it was made for; null when none came in a
    // moment.
    std::unique_ptr<QTcpSocket> nextConnection(QTcpServer &server, Mode &mode)
    {
        // The server takes every connection that waits at once: those it holds go first, as no
        // further wake-up comes for them.
        if (!server.hasPendingConnections()) {
            std::vector<SessionListener> listeners;
            {
                QMutexLocker lock(&m_app.m_mutex);
                listeners = m_app.m_sessionListeners;
            }
            std::vector<pollfd> fds{{int(server.socketDescriptor()), POLLIN, 0},
                                    {m_app.m_wake[0], POLLIN, 0}};
            for (const SessionListener &listener : listeners)
                fds.push_back({listener.fd, POLLIN, 0});
            if (::poll(fds.data(), nfds_t(fds.size()), 50) <= 0)
                return {};
            if (fds[1].revents & POLLIN) {
                char drained[64];
                while (::read(m_app.m_wake[0], drained, sizeof drained) > 0) {
                }
            }
            for (size_t i = 0; i < listeners.size(); ++i) {
                if (!(fds[i + 2].revents & POLLIN))
                    continue;
                const int fd = ::accept4(listeners[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd < 0)
                    continue;
                // One session per broadcast: its port closes once taken.
                {
                    QMutexLocker lock(&m_app.m_mutex);
                    auto &open = m_app.m_sessionListeners;
                    open.erase(
                        std::remove_if(open.begin(), open.end(),
                                       [&](const SessionListener &l) { return l.fd == listeners[i].fd; }),
                        open.end());
                }
                ::close(listeners[i].fd);
                auto socket = std::make_unique<QTcpSocket>();
                if (!socket->setSocketDescriptor(fd)) {
                    ::close(fd);
                    return {};
                }
                mode = listeners[i].mode;
                return socket;
            }
            if (!(fds[0].revents & POLLIN) || !server.waitForNewConnection(0))
                return {};
        }
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        if (socket) {
            QMutexLocker lock(&m_app.m_mutex);
            mode = m_app.m_armed;
            m_app.m_armed = Mode::None;
        }
        return socket;
    }

    CompanionApp &m_app;
};

CompanionApp::CompanionApp()
    : m_worker(std::make_unique<Worker>(*this))
{
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        qFatal("CompanionApp: no pipe: %s", strerror(errno));
    m_worker->start();
    m_worker->ready.acquire();
}

CompanionApp::~CompanionApp()
{
    m_worker->stop = true;
    m_worker->wait();
    for (const SessionListener &listener : m_sessionListeners)
        ::close(listener.fd);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

quint16 CompanionApp::port() const
{
    return m_worker->port;
}

qint64 CompanionApp::addContact(const QList<QPair<int, QStringList>> &rows)
{
    QMutexLocker lock(&m_mutex);
    CompanionContact contact;
    contact.id = m_nextContact++;
    contact.rawId = m_nextRaw++;
    for (const auto &[type, fields] : rows) {
        contact.rows.append({m_nextData++, type, CompanionRow::recordOf(fields)});
        if (type == kGroupType && !fields.isEmpty())
            m_groups.insert(CompanionRecord::decodeText(fields.first()));
    }
    m_contacts.append(contact);
    return contact.id;
}

QList<CompanionContact> CompanionApp::contacts() const
{
    QMutexLocker lock(&m_mutex);
    return m_contacts;
}

QSet<QString> CompanionApp::groups() const
{
    QMutexLocker lock(&m_mutex);
    return m_groups;
}

void CompanionApp::setLoadScript(const QStringList &lines)
{
    QMutexLocker lock(&m_mutex);
    m_script = lines;
    m_hasScript = true;
}

QStringList CompanionApp::loadHeader() const
{
    QMutexLocker lock(&m_mutex);
    QStringList lines;
    lines << QStringLiteral("$device:") + CompanionRecord::text(deviceName);
    if (!versionArg.isNull())
        lines << QStringLiteral("$version:") + versionArg;
    lines << QStringLiteral("$count:%1").arg(m_contacts.size());
    return lines;
}

QStringList CompanionApp::loadBatch(qsizetype first) const
{
    QMutexLocker lock(&m_mutex);
    QStringList lines{QStringLiteral("$batch:")};
    const qsizetype end = std::min(m_contacts.size(), first + std::max(1, batchSize));
    for (qsizetype i = first; i < end; ++i) {
        const CompanionContact &c = m_contacts.at(i);
        QList<CompanionRow> rows = c.rows;
        std::stable_sort(rows.begin(), rows.end(), [](const CompanionRow &a, const CompanionRow &b) {
            return (a.type == kNameType) > (b.type == kNameType);
        });
        for (const CompanionRow &row : rows) {
            lines << QStringLiteral("$ent:") + idText(row.type, c.id, c.rawId, row.id) +
                         QString::fromUtf8(row.record);
        }
    }
    lines << QStringLiteral("$end:");
    return lines;
}

QStringList CompanionApp::loadScript() const
{
    QStringList lines = loadHeader();
    const qsizetype count = contacts().size();
    for (qsizetype first = 0; first < count; first += std::max(1, batchSize))
        lines += loadBatch(first);
    lines << QStringLiteral("$bye:");
    return lines;
}

void CompanionApp::serve(Mode mode, int port)
{
    if (port != int(this->port()))
        return;
    QMutexLocker lock(&m_mutex);
    m_armed = mode;
}

quint16 CompanionApp::listenForSession(Mode mode)
{
    quint16 port = 0;
    const int fd = listenLoopback(port);
    if (fd < 0)
        return 0;
    {
        QMutexLocker lock(&m_mutex);
        m_sessionListeners.push_back({fd, mode});
    }
    const char wake = 0;
    [[maybe_unused]] const ssize_t written = ::write(m_wake[1], &wake, 1);
    return port;
}

void CompanionApp::record(const QString &line)
{
    if (!keepReceived)
        return;
    QMutexLocker lock(&m_mutex);
    m_received << line;
}

void CompanionApp::record(const QByteArray &line)
{
    if (keepReceived)
        record(QString::fromUtf8(line));
}

QStringList CompanionApp::received() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

int CompanionApp::sessionsServed() const
{
    return m_served;
}

bool CompanionApp::waitServed(int count, int ms) const
{
    QElapsedTimer timer;
    timer.start();
    while (m_served < count || m_busy) {
        if (timer.elapsed() > ms)
            return false;
        QThread::msleep(5);
    }
    return true;
}

bool CompanionApp::sendLoadLines(QTcpSocket &socket, const QStringList &lines, bool last)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        // Records leave with the line that ends their batch.
        const bool flush = !line.startsWith(QLatin1String("$ent:")) || (last && i + 1 == lines.size());
        if (!m_worker->writeLine(socket, line, flush))
            return false;
        if (line.startsWith(QLatin1String("$error:")))
            return false;
        if (line.startsWith(QLatin1String("$end:"))) {
            const QString ack = m_worker->readLine(socket);
            if (ack.isNull())
                return false;
            record(ack);
        }
    }
    return true;
}

void CompanionApp::runLoad(QTcpSocket &socket)
{
    QStringList script;
    bool scripted = false;
    {
        QMutexLocker lock(&m_mutex);
        std::swap(scripted, m_hasScript);
        script = m_script;
    }
    if (scripted) {
        if (!sendLoadLines(socket, script, true))
            return;
    } else {
        // Batch by batch, as a phone reads its store.
        if (!sendLoadLines(socket, loadHeader(), false))
            return;
        const qsizetype count = contacts().size();
        for (qsizetype first = 0; first < count; first += std::max(1, batchSize))
            if (!sendLoadLines(socket, loadBatch(first), false))
                return;
        if (!sendLoadLines(socket, {QStringLiteral("$bye:")}, true))
            return;
    }
    if (silentAfterScript)
        m_worker->holdUntilClosed(socket);
}

void CompanionApp::runRestore(QTcpSocket &socket)
{
    for (int index = 0;; ++index) {
        QByteArray line = m_worker->readRawLine(socket);
        if (line.isNull())
            return;
        record(line);
        if (line != "$batch:")
            continue;
        QList<QByteArray> batch;
        for (;;) {
            line = m_worker->readRawLine(socket);
            if (line.isNull())
                return;
            record(line);
            if (line == "$end:")
                break;
            batch << line;
        }
        const QString normal = applyBatch(batch);
        const QString answer = answerHook ? answerHook(index, normal) : normal;
        if (answer == kClose)
            return;
        if (answer == kSilent) {
            m_worker->holdUntilClosed(socket);
            return;
        }
        if (!m_worker->writeLine(socket, answer) || answer.startsWith(QLatin1String("$error:")))
            return;
    }
}

QString CompanionApp::applyBatch(const QList<QByteArray> &lines)
{
    QMutexLocker lock(&m_mutex);
    // Contacts are kept in id order, so a binary search finds one.
    const auto findContact = [this](qint64 id) -> CompanionContact * {
        const auto it =
            std::lower_bound(m_contacts.begin(), m_contacts.end(), id,
                             [](const CompanionContact &c, qint64 wanted) { return c.id < wanted; });
        return it != m_contacts.end() && it->id == id ? &*it : nullptr;
    };
    const auto fail = [](const QString &text) {
        return QStringLiteral("$error:") + CompanionRecord::text(text);
    };

    QString answer = QStringLiteral("$batch:");
    for (const QByteArray &bytes : lines) {
        if (bytes.startsWith("$ent:")) {
            // Only the id is decoded; the fields are kept as they came.
            const qsizetype comma = bytes.indexOf(',', 5);
            const QString idField =
                QString::fromUtf8(bytes.constData() + 5, (comma < 0 ? bytes.size() : comma) - 5);
            const QByteArray record = comma < 0 ? QByteArray() : bytes.sliced(comma);
            const SyncId id = parseId(idField);
            if (!id.valid)
                return fail(QStringLiteral("Bad record id ") + idField);
            if (id.data < 0) {
                CompanionContact *contact = nullptr;
                if (id.type == kNameType) {
                    m_contacts.append({m_nextContact++, m_nextRaw++, {}});
                    contact = &m_contacts.last();
                } else {
                    contact = findContact(id.contact);
                }
                if (!contact)
                    return fail(QStringLiteral("No contact %1").arg(id.contact));
                qint64 rowId = 0;
                if (id.type == kGroupType) {
                    const QString groupName =
                        CompanionRecord::decodeText(CompanionRow::fieldsOf(record).value(0));
                    m_groups.insert(groupName);
                    for (const CompanionRow &row : std::as_const(contact->rows))
                        if (row.type == kGroupType &&
                            CompanionRecord::decodeText(row.fields().value(0)) == groupName)
                            rowId = row.id;
                }
                if (rowId == 0) {
                    rowId = m_nextData++;
                    contact->rows.append({rowId, id.type, record});
                }
                answer += idField + QStringLiteral("=>") +
                          idText(id.type, contact->id, contact->rawId, rowId) + QLatin1Char(',');
            } else {
                for (CompanionContact &c : m_contacts)
                    for (CompanionRow &row : c.rows)
                        if (row.id == id.data)
                            row.record = record;
            }
            continue;
        }
        const QString line = QString::fromUtf8(bytes);
        if (line.startsWith(QLatin1String("$del:"))) {
            const SyncId id = parseId(line.mid(5));
            if (!id.valid || id.data <= 0)
                continue;
            for (qsizetype i = 0; i < m_contacts.size(); ++i) {
                QList<CompanionRow> &rows = m_contacts[i].rows;
                const auto it = std::find_if(rows.begin(), rows.end(),
                                             [&id](const CompanionRow &r) { return r.id == id.data; });
                if (it == rows.end())
                    continue;
                if (id.type == kNameType)
                    m_contacts.removeAt(i);
                else
                    rows.erase(it);
                break;
            }
        } else if (line.startsWith(QLatin1String("$ungroup:"))) {
            if (CompanionContact *contact = findContact(line.mid(9).toLongLong()))
                contact->rows.removeIf([](const CompanionRow &r) { return r.type == kGroupType; });
        }
    }
    return answer;
}

} // namespace tarnwick::peers
