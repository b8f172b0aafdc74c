#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include <QNetworkReply>

// Asks the product's web site, at most once a day, whether a newer version exists and offers the
// download link it returns. The time of the last completed check is kept in the file
// "last-check-version-time" of the data folder; without that file (a first run) a newer version is
// treated as mandatory. Links go to SystemOpener; ending the program is left to the owner, which
// connects closeMainWindowRequested() and exitProgramRequested() (direct connections: the check is
// recorded after them when the program is still alive).
class UpdateCheck : public QObject
{
    Q_OBJECT
public:
    static constexpr quint32 kRepeatSeconds = 86401;

    explicit UpdateCheck(QString dataDir, QObject *parent = nullptr);
    ~UpdateCheck() override;

    // Seconds since the epoch; replaceable so that the daily gate can be exercised.
    void setClock(std::function<quint32()> now);

    QString checkTimeFilePath() const;
    // False while the recorded check is less than a day and a second old.
    bool isDue() const;
    // Sends the check when it is due and a web host is configured; returns whether it was sent.
    bool start();
    bool isRunning() const { return m_reply != nullptr; }

    static QString checkRequestPath();
    // Pages opened by the Tools and Help menus; empty when no web host is configured.
    static QString updatePageUrl();
    static QString helpPageUrl();
    static QString feedbackPageUrl();

    // Judges one answer of the site: status code and body. Public for the owner's own use and tests.
    void handleReply(int status, QByteArray body);

signals:
    void closeMainWindowRequested();
    void exitProgramRequested();
    // The answer to a sent check has been handled (or the request failed).
    void finished();

private:
    void onReplyFinished();
    void recordCheck();

    QString m_dataDir;
    QNetworkAccessManager m_network;
    QPointer<QNetworkReply> m_reply;
    std::function<quint32()> m_now;
};
