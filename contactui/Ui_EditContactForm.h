#pragma once

#include "ContactEditor.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

// Form of the edit dialog: the visible title, the contact editor and the Apply and Cancel buttons.
class Ui_EditContactForm
{
public:
    QVBoxLayout *verticalLayout = nullptr;
    QLabel *lbTitle = nullptr;
    ContactEditor *wdEditContact = nullptr;
    QWidget *widget = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnCancel = nullptr;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("EditContactForm"));
        dialog->resize(500, 660);

        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        verticalLayout->setSpacing(5);
        verticalLayout->setContentsMargins(12, 12, 12, 12);

        lbTitle = new QLabel(dialog);
        lbTitle->setObjectName(QStringLiteral("lbTitle"));
        QSizePolicy titlePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        titlePolicy.setHeightForWidth(lbTitle->sizePolicy().hasHeightForWidth());
        lbTitle->setSizePolicy(titlePolicy);
        lbTitle->setMinimumHeight(25);
        verticalLayout->addWidget(lbTitle);

        wdEditContact = new ContactEditor(dialog);
        wdEditContact->setObjectName(QStringLiteral("wdEditContact"));
        verticalLayout->addWidget(wdEditContact);

        widget = new QWidget(dialog);
        widget->setObjectName(QStringLiteral("widget"));
        widget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        horizontalLayout = new QHBoxLayout(widget);
        horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
        horizontalLayout->setContentsMargins(0, 0, 0, 0);
        horizontalSpacer = new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
        horizontalLayout->addItem(horizontalSpacer);
        btnSave = new QPushButton(widget);
        btnSave->setObjectName(QStringLiteral("btnSave"));
        horizontalLayout->addWidget(btnSave);
        btnCancel = new QPushButton(widget);
        btnCancel->setObjectName(QStringLiteral("btnCancel"));
        horizontalLayout->addWidget(btnCancel);
        verticalLayout->addWidget(widget);

        retranslateUi(dialog);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog *dialog)
    {
        dialog->setWindowTitle(QCoreApplication::translate("EditContactForm", "新增联系人"));
        lbTitle->setText(QString());
        btnSave->setText(QCoreApplication::translate("EditContactForm", "Apply"));
        btnCancel->setText(QCoreApplication::translate("EditContactForm", "Cancel"));
    }
};
