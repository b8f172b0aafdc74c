#pragma once

#include <QByteArray>
#include <QString>

class QNetworkAccessManager;

// Posts the message of an error box to the product's web site ("/err_report.php"). The report is
// fire-and-forget: its answer is never read and a failure goes unnoticed. Nothing is sent when no
// web host is configured.
class ErrorReport
{
public:
    // Sends the report in the background; false when no web host is configured.
    static bool send(const QString &msg);

    // "prod=<title>&ver=<version>&err=<cleaned message>", each value in base64_var form.
    static QByteArray body(const QString &msg);
    // Line-break tags become CR LF, any other angle bracket is escaped.
    static QString cleanMessage(const QString &msg);
    // "3.1.13(13)"
    static QString versionText();

private:
    static QNetworkAccessManager *network();
};
