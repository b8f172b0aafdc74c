#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

// Form of the password dialog: the prompt, the password field, OK and Cancel.
class Ui_PasscodeDlg
{
public:
    QVBoxLayout *verticalLayout = nullptr;
    QLabel *lbTitle2 = nullptr;
    QLineEdit *txtPasscode = nullptr;
    QWidget *widget = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("PasscodeDlg"));
        dialog->resize(338, 147);
        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        verticalLayout->setContentsMargins(12, 15, 12, -1);
        lbTitle2 = new QLabel(dialog);
        lbTitle2->setObjectName(QStringLiteral("lbTitle2"));
        verticalLayout->addWidget(lbTitle2);
        txtPasscode = new QLineEdit(dialog);
        txtPasscode->setObjectName(QStringLiteral("txtPasscode"));
        txtPasscode->setEchoMode(QLineEdit::Password);
        verticalLayout->addWidget(txtPasscode);
        widget = new QWidget(dialog);
        widget->setObjectName(QStringLiteral("widget"));
        horizontalLayout = new QHBoxLayout(widget);
        horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
        horizontalLayout->setContentsMargins(0, 0, 0, 0);
        horizontalSpacer = new QSpacerItem(149, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
        horizontalLayout->addItem(horizontalSpacer);
        btnOK = new QPushButton(widget);
        btnOK->setObjectName(QStringLiteral("btnOK"));
        horizontalLayout->addWidget(btnOK);
        btnCancel = new QPushButton(widget);
        btnCancel->setObjectName(QStringLiteral("btnCancel"));
        horizontalLayout->addWidget(btnCancel);
        verticalLayout->addWidget(widget);
        retranslateUi(dialog);
        QObject::connect(btnCancel, &QPushButton::pressed, dialog, &QDialog::reject);
    }

    void retranslateUi(QDialog *dialog)
    {
        dialog->setWindowTitle(QCoreApplication::translate("PasscodeDlg", "Dialog"));
        lbTitle2->setText(QCoreApplication::translate("PasscodeDlg", "IDS_PLEASE_ENTER_PASSWORD_TO_LOAD_BACKUP"));
        txtPasscode->setPlaceholderText(QCoreApplication::translate("PasscodeDlg", "IDS_ENTER_PASSWORD"));
        btnOK->setText(QCoreApplication::translate("PasscodeDlg", "OK"));
        btnCancel->setText(QCoreApplication::translate("PasscodeDlg", "Cancel"));
    }
};
