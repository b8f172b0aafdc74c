#pragma once

#include "android/AndroidWifiConnector.h"
#include "shell/kit/FramelessDialog.h"

#include <functional>
#include <memory>

class Ui_AndroidWIFIForm;

// Asks for the address of a phone on the same Wi-Fi and greets its companion app there. The dialog
// stays open on a malformed address or a failed attempt, and hands over the connector of the first
// attempt that worked.
class AndroidWIFIForm : public FramelessDialog
{
    Q_OBJECT

public:
    // Makes the connector of one attempt (tests give theirs shorter waits).
    using ConnectorFactory = std::function<std::unique_ptr<AndroidWifiConnector>()>;

    explicit AndroidWIFIForm(QWidget *parent = nullptr, ConnectorFactory factory = {});
    ~AndroidWIFIForm() override;

    // Runs the dialog; the connected connector when the user got through, else null. The caller
    // owns it.
    std::unique_ptr<AndroidWifiConnector> execGetConnector();

    Ui_AndroidWIFIForm &form() { return *ui; }

public slots:
    void onBtnConnect();

private:
    std::unique_ptr<Ui_AndroidWIFIForm> ui;
    ConnectorFactory m_factory;
    std::unique_ptr<AndroidWifiConnector> connector;
};
