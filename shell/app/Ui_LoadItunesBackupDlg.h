#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QTreeView>
#include <QVBoxLayout>

// Form of the backup chooser: title, the list of backups, the "add a folder" link, Load and Cancel.
class Ui_LoadItunesBackupDlg
{
public:
    QVBoxLayout *verticalLayout = nullptr;
    QLabel *lbTitle = nullptr;
    QTreeView *listBackups = nullptr;
    QLabel *lbAddOther = nullptr;
    QWidget *widget = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QSpacerItem *horizontalSpacer = nullptr;
    QPushButton *btnLoad = nullptr;
    QPushButton *btnCancel = nullptr;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("LoadItunesBackupDlg"));
        dialog->resize(600, 400);

        verticalLayout = new QVBoxLayout(dialog);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
        verticalLayout->setSpacing(10);
        verticalLayout->setContentsMargins(-1, 15, -1, 15);

        lbTitle = new QLabel(dialog);
        lbTitle->setObjectName(QStringLiteral("lbTitle"));
        lbTitle->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        verticalLayout->addWidget(lbTitle);

        listBackups = new QTreeView(dialog);
        listBackups->setObjectName(QStringLiteral("listBackups"));
        listBackups->setIndentation(0);
        verticalLayout->addWidget(listBackups);

        lbAddOther = new QLabel(dialog);
        lbAddOther->setObjectName(QStringLiteral("lbAddOther"));
        lbAddOther->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        lbAddOther->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        verticalLayout->addWidget(lbAddOther);

        widget = new QWidget(dialog);
        widget->setObjectName(QStringLiteral("widget"));
        widget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        horizontalLayout = new QHBoxLayout(widget);
        horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
        horizontalLayout->setContentsMargins(0, 0, 0, 0);
        horizontalSpacer = new QSpacerItem(250, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
        horizontalLayout->addItem(horizontalSpacer);
        btnLoad = new QPushButton(widget);
        btnLoad->setObjectName(QStringLiteral("btnLoad"));
        btnLoad->setStyleSheet(QStringLiteral("margin-right:15px;"));
        horizontalLayout->addWidget(btnLoad);
        btnCancel = new QPushButton(widget);
        btnCancel->setObjectName(QStringLiteral("btnCancel"));
        horizontalLayout->addWidget(btnCancel);
        verticalLayout->addWidget(widget);

        retranslateUi(dialog);
        QObject::connect(btnCancel, &QPushButton::pressed, dialog, &QDialog::reject);
    }

    void retranslateUi(QDialog *dialog)
    {
        dialog->setWindowTitle(QCoreApplication::translate("LoadItunesBackupDlg", "Dialog"));
        lbTitle->setText(QCoreApplication::translate("LoadItunesBackupDlg", "IDS_SELECT_AN_ITUNES_BACKUP_TO_LOAD"));
        lbAddOther->setText(QCoreApplication::translate(
            "LoadItunesBackupDlg", "IDS_NO_BACKUP_LISTED_THERE_CLICK_<a href=\"#\">Here</a>_ADD"));
        btnLoad->setText(QCoreApplication::translate("LoadItunesBackupDlg", "Load"));
        btnCancel->setText(QCoreApplication::translate("LoadItunesBackupDlg", "Cancel"));
    }
};
