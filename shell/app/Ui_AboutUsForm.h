#pragma once

#include <QCoreApplication>
#include <QDialog>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>

// Form of the about dialog: the application icon, product line, notice, home-page link and OK.
class Ui_AboutUsForm
{
public:
    QGraphicsView *picApp = nullptr;
    QLabel *label = nullptr;
    QLabel *lbTitle = nullptr;
    QLabel *lbProduct = nullptr;
    QPushButton *btnOK = nullptr;
    QLabel *lbHomePage = nullptr;

    void setupUi(QDialog *dialog)
    {
        if (dialog->objectName().isEmpty())
            dialog->setObjectName(QStringLiteral("AboutUsForm"));
        dialog->resize(400, 194);

        picApp = new QGraphicsView(dialog);
        picApp->setObjectName(QStringLiteral("picApp"));
        picApp->setGeometry(20, 40, 64, 64);
        picApp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        picApp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        picApp->setRubberBandSelectionMode(Qt::ContainsItemBoundingRect);

        label = new QLabel(dialog);
        label->setObjectName(QStringLiteral("label"));
        // Wide enough for the notice in the fonts Linux desktops ship, which run wider than the Mac's.
        label->setGeometry(100, 80, 281, 16);

        lbTitle = new QLabel(dialog);
        lbTitle->setObjectName(QStringLiteral("lbTitle"));
        lbTitle->setGeometry(20, 10, 121, 16);

        lbProduct = new QLabel(dialog);
        lbProduct->setObjectName(QStringLiteral("lbProduct"));
        lbProduct->setGeometry(100, 48, 281, 31);
        lbProduct->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        lbProduct->setWordWrap(true);

        btnOK = new QPushButton(dialog);
        btnOK->setObjectName(QStringLiteral("btnOK"));
        btnOK->setGeometry(160, 160, 75, 23);

        lbHomePage = new QLabel(dialog);
        lbHomePage->setObjectName(QStringLiteral("lbHomePage"));
        lbHomePage->setGeometry(20, 120, 201, 16);
        lbHomePage->setOpenExternalLinks(true);

        retranslateUi(dialog);
        QObject::connect(btnOK, &QPushButton::pressed, dialog, &QDialog::accept);
        QMetaObject::connectSlotsByName(dialog);
    }

    void retranslateUi(QDialog *dialog)
    {
        dialog->setWindowTitle(QCoreApplication::translate("AboutUsForm", "Dialog"));
        label->setText(QCoreApplication::translate("AboutUsForm",
                                                   "Copyright \302\251 Ferrovantis. All rights reserved."));
        lbTitle->setText(QCoreApplication::translate("AboutUsForm", "\345\205\263\344\272\216"));
        lbProduct->setText(QString());
        btnOK->setText(QCoreApplication::translate("AboutUsForm", "OK"));
        lbHomePage->setText(QString());
    }
};
