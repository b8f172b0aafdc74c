#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

// Form of the progress dialog: status line, bar, detail line and the Cancel button.
class Ui_ProgressForm
{
public:
    QProgressBar *progressBar = nullptr;
    QLabel *lbProgress = nullptr;
    QPushButton *btnCancel = nullptr;
    QLabel *lbStatus = nullptr;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("ProgressForm"));
        dialog->resize(350, 122);

        progressBar = new QProgressBar(dialog);
        progressBar->setObjectName(QStringLiteral("progressBar"));
        progressBar->setGeometry(20, 40, 321, 23);
        progressBar->setRange(0, 100);
        progressBar->setValue(0);
        progressBar->setTextVisible(true);
        progressBar->setOrientation(Qt::Horizontal);

        lbProgress = new QLabel(dialog);
        lbProgress->setObjectName(QStringLiteral("lbProgress"));
        lbProgress->setGeometry(25, 70, 281, 20);
        lbProgress->setAlignment(Qt::AlignCenter);

        btnCancel = new QPushButton(dialog);
        btnCancel->setObjectName(QStringLiteral("btnCancel"));
        btnCancel->setGeometry(130, 90, 75, 23);
        btnCancel->setFocusPolicy(Qt::NoFocus);

        lbStatus = new QLabel(dialog);
        lbStatus->setObjectName(QStringLiteral("lbStatus"));
        lbStatus->setGeometry(20, 20, 311, 16);

        retranslateUi(dialog);
        QObject::connect(btnCancel, &QPushButton::pressed, dialog, &QDialog::reject);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog *dialog)
    {
        dialog->setWindowTitle(QCoreApplication::translate("ProgressForm", "Dialog"));
        btnCancel->setText(QCoreApplication::translate("ProgressForm", "Cancel"));
    }
};
