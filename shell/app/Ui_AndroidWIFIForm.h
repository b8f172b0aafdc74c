#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// Form of the Wi-Fi connection dialog: the instructions, the address box, Connect and Cancel, and
// where to get the companion app.
class Ui_AndroidWIFIForm
{
public:
    QLabel *label = nullptr;
    QLineEdit *txtWifiSocket = nullptr;
    QPushButton *btnConnect = nullptr;
    QPushButton *btnClose = nullptr;
    QLabel *label_2 = nullptr;
    QLabel *lbTipsDownloadWifiConnection = nullptr;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("AndroidWIFIForm"));
        dialog->resize(404, 226);

        label = new QLabel(dialog);
        label->setObjectName(QStringLiteral("label"));
        label->setGeometry(40, 40, 341, 61);
        label->setAlignment(Qt::AlignLeading | Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);

        txtWifiSocket = new QLineEdit(dialog);
        txtWifiSocket->setObjectName(QStringLiteral("txtWifiSocket"));
        txtWifiSocket->setGeometry(40, 110, 331, 20);

        btnConnect = new QPushButton(dialog);
        btnConnect->setObjectName(QStringLiteral("btnConnect"));
        btnConnect->setGeometry(100, 140, 75, 23);

        btnClose = new QPushButton(dialog);
        btnClose->setObjectName(QStringLiteral("btnClose"));
        btnClose->setGeometry(230, 140, 75, 23);

        label_2 = new QLabel(dialog);
        label_2->setObjectName(QStringLiteral("label_2"));
        label_2->setGeometry(20, 10, 271, 16);

        lbTipsDownloadWifiConnection = new QLabel(dialog);
        lbTipsDownloadWifiConnection->setObjectName(QStringLiteral("lbTipsDownloadWifiConnection"));
        // Linux fonts wrap the tip into three lines, which 31 pixels cut off: the label starts
        // higher, in the free band under the buttons, and still ends inside the dialog.
        lbTipsDownloadWifiConnection->setGeometry(0, 178, 401, 44);
        lbTipsDownloadWifiConnection->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        lbTipsDownloadWifiConnection->setWordWrap(true);
        lbTipsDownloadWifiConnection->setOpenExternalLinks(true);

        retranslateUi(dialog);

        QObject::connect(btnClose, &QPushButton::pressed, dialog, &QDialog::reject);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog *dialog)
    {
        const auto tr = [](const char *text) { return QCoreApplication::translate("AndroidWIFIForm", text); };
        dialog->setWindowTitle(tr("AndroidWIFIForm"));
        label->setText(tr("Run Ferrovantis Contacts Sync on Android phone and click Connection button to get "
                          "the Wifi connection info. Now input the info to the following Text Box. "));
        btnConnect->setText(tr("Connect"));
        btnClose->setText(tr("Cancel"));
        label_2->setText(tr("Connect Android via WiFi"));
        lbTipsDownloadWifiConnection->setText(
            tr("If you haven't installed Ferrovantis Contacts Sync on Android phone, please go to the Market "
               "(Google Play) on your Android to search Ferrovantis Contacts Sync to download and install."));
    }
};
