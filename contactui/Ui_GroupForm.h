#pragma once

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

// Form of the group dialog: a prompt, the editable list of groups, OK and Cancel.
class Ui_GroupForm
{
public:
    QLabel *label = nullptr;
    QComboBox *cbGroups = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnCancel = nullptr;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("GroupForm"));
        dialog->resize(403, 146);

        label = new QLabel(dialog);
        label->setObjectName(QStringLiteral("label"));
        label->setGeometry(20, 10, 361, 41);
        label->setWordWrap(true);

        cbGroups = new QComboBox(dialog);
        cbGroups->setObjectName(QStringLiteral("cbGroups"));
        cbGroups->setGeometry(20, 60, 361, 22);
        cbGroups->setEditable(true);

        btnOK = new QPushButton(dialog);
        btnOK->setObjectName(QStringLiteral("btnOK"));
        btnOK->setGeometry(98, 104, 75, 23);

        btnCancel = new QPushButton(dialog);
        btnCancel->setObjectName(QStringLiteral("btnCancel"));
        btnCancel->setGeometry(238, 104, 75, 23);

        retranslateUi(dialog);
        QObject::connect(btnCancel, &QPushButton::pressed, dialog, &QDialog::reject);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog *dialog)
    {
        dialog->setWindowTitle(QCoreApplication::translate("GroupForm", "Dialog"));
        label->setText(QCoreApplication::translate("GroupForm", "选择已有的组别或者输入新的组别:"));
        btnOK->setText(QCoreApplication::translate("GroupForm", "OK"));
        btnCancel->setText(QCoreApplication::translate("GroupForm", "Cancel"));
    }
};
