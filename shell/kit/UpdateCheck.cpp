#include "UpdateCheck.h"

#include "ProductInfo.h"
#include "Logging.h"
#include "Tips.h"
#include "platform/desktop/SystemOpener.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {
const char *const kCheckTimeFile = "last-check-version-time";

QByteArray upToNul(QByteArray bytes)
{
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return bytes;
}
} // namespace

UpdateCheck::UpdateCheck(QString dataDir, QObject *parent)
    : QObject(parent)
    , m_dataDir(std::move(dataDir))
    , m_now([] { return static_cast<quint32>(QDateTime::currentSecsSinceEpoch()); })
{}

UpdateCheck::~UpdateCheck()
{
    // A reply still under way must not call back into a half-destroyed check.
    if (m_reply) {
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
    }
}

void UpdateCheck::setClock(std::function<quint32()> now)
{
    m_now = std::move(now);
}

QString UpdateCheck::checkTimeFilePath() const
{
    return QDir(m_dataDir).absoluteFilePath(QString::fromLatin1(kCheckTimeFile));
}

bool UpdateCheck::isDue() const
{
    QFile file(checkTimeFilePath());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return true;
    // The file holds the unsigned 32-bit seconds written by recordCheck(); anything else counts as 0.
    const quint32 last = QString::fromLatin1(upToNul(file.readAll())).toUInt();
    if (last == 0)
        return true;
    // Modulo 2^32, so a time in the future gives a huge difference and the check runs.
    const quint32 elapsed = m_now() - last;
    return elapsed >= kRepeatSeconds;
}

QString UpdateCheck::checkRequestPath()
{
    return QStringLiteral("/sms_check_update.php?pid=%1&ver=%2&q=1")
        .arg(QString::fromLatin1(ProductInfo::productId))
        .arg(ProductInfo::checkVersion);
}

QString UpdateCheck::updatePageUrl()
{
    return ProductInfo::pageUrl(QStringLiteral("/sms_check_update.php?pid=%1&ver=%2&vs=%3&sys=%4")
                                    .arg(QString::fromLatin1(ProductInfo::productId))
                                    .arg(ProductInfo::checkVersion)
                                    .arg(123456)
                                    .arg(QStringLiteral("macx")));
}

QString UpdateCheck::helpPageUrl()
{
    return ProductInfo::pageUrl(QStringLiteral("/tarnwick-for-mac/help.html"));
}

QString UpdateCheck::feedbackPageUrl()
{
    return ProductInfo::pageUrl(QStringLiteral("/support.html"));
}

bool UpdateCheck::start()
{
    if (m_reply || !isDue())
        return false;
    const QString url = ProductInfo::pageUrl(checkRequestPath());
    if (url.isEmpty())
        return false;
    QNetworkRequest request{QUrl(url)};
    // The site may never answer; a check that times out is simply tried at the next start.
    request.setTransferTimeout(60000);
    // Only the check's own answer counts; a redirect is judged as the non-200 answer it is.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::onReplyFinished);
    return true;
}

void UpdateCheck::onReplyFinished()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    reply->deleteLater();
    try {
        // The whole answer is judged at once: judging it chunk by chunk misreads a split reply.
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError || status != 0)
            handleReply(status, reply->readAll());
    } catch (const std::exception &e) {
        qCWarning(lcKit, "update check: %s", e.what());
    } catch (...) {
        qCWarning(lcKit, "update check: unknown exception");
    }
    emit finished();
}

void UpdateCheck::handleReply(int status, QByteArray body)
{
    if (status != 200)
        return;
    const QString reply = QString::fromLatin1(upToNul(std::move(body)));
    if (reply.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        if (!QFile::exists(checkTimeFilePath())) {
            g_showCustomMessageBox(
                QMessageBox::Warning,
                QStringLiteral("This version of Ferrovantis software has become obsolete. Please "
                               "download the latest version to install on your computer."),
                {{QStringLiteral("Download"), QMessageBox::AcceptRole}}, 0);
            SystemOpener::open(reply);
            emit exitProgramRequested();
            // Still alive: the program could not end itself. Nothing is recorded, so the next start
            // asks again and the version stays obsolete.
            return;
        }
        const int choice = g_showCustomMessageBox(
            QMessageBox::Question,
            QStringLiteral(
                "A new version of %1 is available. To support your phone, please download the latest "
                "version.")
                .arg(ProductInfo::title()),
            {{QStringLiteral("Download now"), QMessageBox::AcceptRole},
             {QStringLiteral("Download later"), QMessageBox::RejectRole}},
            1);
        if (choice == 0) {
            SystemOpener::open(reply);
            emit closeMainWindowRequested();
            emit exitProgramRequested();
        }
    }
    recordCheck();
}

void UpdateCheck::recordCheck()
{
    QFile file(checkTimeFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcKit, "update check: cannot write %s", qPrintable(file.fileName()));
        return;
    }
    file.write(QByteArray::number(m_now()));
}
