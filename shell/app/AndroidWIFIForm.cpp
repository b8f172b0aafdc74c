#include "AndroidWIFIForm.h"

#include "Ui_AndroidWIFIForm.h"
#include "android/AndroidWifiConnector.h"
#include "android/WifiServiceTimeoutException.h"
#include "shell/kit/Tips.h"

#include <QRegularExpression>

AndroidWIFIForm::AndroidWIFIForm(QWidget *parent, ConnectorFactory factory)
    : FramelessDialog(parent)
    , ui(new Ui_AndroidWIFIForm)
    , m_factory(factory ? std::move(factory)
                        : ConnectorFactory([] { return std::make_unique<AndroidWifiConnector>(); }))
{
    ui->setupUi(this);
    makeFrameless(
        QStringLiteral(" #lbTipsDownloadWifiConnection { font-size:9px; color:#767B7C; margin:0 10px;}"));
    // The attempt starts on the press, not on the release.
    connect(ui->btnConnect, &QPushButton::pressed, this, &AndroidWIFIForm::onBtnConnect);
}

AndroidWIFIForm::~AndroidWIFIForm() = default;

std::unique_ptr<AndroidWifiConnector> AndroidWIFIForm::execGetConnector()
{
    if (exec() != QDialog::Accepted)
        return nullptr;
    return std::move(connector);
}

void AndroidWIFIForm::onBtnConnect()
{
    static const QRegularExpression address(QStringLiteral("^(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})$"));
    const QRegularExpressionMatch m = address.match(ui->txtWifiSocket->text().trimmed());
    if (!m.hasMatch()) {
        Tips::warning(tr("IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE"));
        return;
    }
    std::unique_ptr<AndroidWifiConnector> attempt = m_factory();
    try {
        attempt->initialize(m.captured(1));
    } catch (const WifiServiceTimeoutException &) {
        Tips::error(QCoreApplication::translate("QObject", "IDS_WIFI_CONNECTOR_CONNECT_TIMEOUT"));
        return;
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
        return;
    }
    connector = std::move(attempt);
    accept();
}
