#pragma once

#include "contactui/ContactDisplayer.h"
#include "MyTreeView.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidget>

// The form of the main window: the tree of devices and databases, the search row, the contact
// list with its total, the contact pane, the menu bar, the status bar and the tool bar.
class Ui_MainWindow
{
public:
    QWidget *centralWidget = nullptr;
    QVBoxLayout *verticalLayout_2 = nullptr;
    QSplitter *splitter = nullptr;
    MyTreeView *treeMain = nullptr;
    QWidget *widget_2 = nullptr;
    QVBoxLayout *verticalLayout = nullptr;
    QWidget *widget = nullptr;
    QHBoxLayout *horizontalLayout = nullptr;
    QLineEdit *txtKeyword = nullptr;
    QToolButton *btnSearch = nullptr;
    QLabel *lbDisplayKeyword = nullptr;
    MyTreeView *treeContacts = nullptr;
    QLabel *lbTotal = nullptr;
    ContactDisplayer *wdContactInfo = nullptr;
    QMenuBar *menuBar = nullptr;
    QStatusBar *statusBar = nullptr;
    QToolBar *toolBar = nullptr;

    void setupUi(QMainWindow *MainWindow)
    {
        if (MainWindow->objectName().isEmpty())
            MainWindow->setObjectName(QStringLiteral("MainWindow"));
        MainWindow->resize(1000, 600);

        centralWidget = new QWidget(MainWindow);
        centralWidget->setObjectName(QStringLiteral("centralWidget"));
        verticalLayout_2 = new QVBoxLayout(centralWidget);
        verticalLayout_2->setSpacing(2);
        verticalLayout_2->setContentsMargins(0, 0, 0, 0);
        verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));

        splitter = new QSplitter(centralWidget);
        splitter->setObjectName(QStringLiteral("splitter"));
        splitter->setOrientation(Qt::Horizontal);
        splitter->setHandleWidth(1);
        splitter->setChildrenCollapsible(false);

        treeMain = new MyTreeView(splitter);
        treeMain->setObjectName(QStringLiteral("treeMain"));
        treeMain->setSelectionMode(QAbstractItemView::SingleSelection);
        treeMain->header()->setVisible(false);
        splitter->addWidget(treeMain);

        widget_2 = new QWidget(splitter);
        widget_2->setObjectName(QStringLiteral("widget_2"));
        verticalLayout = new QVBoxLayout(widget_2);
        verticalLayout->setSpacing(0);
        verticalLayout->setContentsMargins(0, 0, 0, 0);
        verticalLayout->setObjectName(QStringLiteral("verticalLayout"));

        widget = new QWidget(widget_2);
        widget->setObjectName(QStringLiteral("widget"));
        widget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        horizontalLayout = new QHBoxLayout(widget);
        horizontalLayout->setSpacing(0);
        horizontalLayout->setContentsMargins(0, 0, 0, 0);
        horizontalLayout->setObjectName(QStringLiteral("horizontalLayout"));
        txtKeyword = new QLineEdit(widget);
        txtKeyword->setObjectName(QStringLiteral("txtKeyword"));
        horizontalLayout->addWidget(txtKeyword);
        btnSearch = new QToolButton(widget);
        btnSearch->setObjectName(QStringLiteral("btnSearch"));
        btnSearch->setIcon(QIcon(QStringLiteral(":/res/search.png")));
        horizontalLayout->addWidget(btnSearch);
        verticalLayout->addWidget(widget);

        lbDisplayKeyword = new QLabel(widget_2);
        lbDisplayKeyword->setObjectName(QStringLiteral("lbDisplayKeyword"));
        lbDisplayKeyword->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        lbDisplayKeyword->setStyleSheet(QStringLiteral("background-color:#FFFFDE;\npadding:2px 10px;"));
        lbDisplayKeyword->setWordWrap(true);
        verticalLayout->addWidget(lbDisplayKeyword);

        treeContacts = new MyTreeView(widget_2);
        treeContacts->setObjectName(QStringLiteral("treeContacts"));
        treeContacts->setStyleSheet(QString());
        treeContacts->setSelectionMode(QAbstractItemView::ExtendedSelection);
        treeContacts->setIndentation(0);
        verticalLayout->addWidget(treeContacts);

        lbTotal = new QLabel(widget_2);
        lbTotal->setObjectName(QStringLiteral("lbTotal"));
        lbTotal->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        lbTotal->setMinimumSize(QSize(25, 25));
        lbTotal->setSizeIncrement(QSize(25, 25));
        lbTotal->setStyleSheet(QStringLiteral("border-top:none;"));
        lbTotal->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        verticalLayout->addWidget(lbTotal);
        splitter->addWidget(widget_2);

        wdContactInfo = new ContactDisplayer(splitter);
        wdContactInfo->setObjectName(QStringLiteral("wdContactInfo"));
        wdContactInfo->setStyleSheet(QStringLiteral("background-color:#F1F5FB;"));
        splitter->addWidget(wdContactInfo);

        verticalLayout_2->addWidget(splitter);
        MainWindow->setCentralWidget(centralWidget);

        menuBar = new QMenuBar(MainWindow);
        menuBar->setObjectName(QStringLiteral("menuBar"));
        menuBar->setGeometry(QRect(0, 0, 1000, 21));
        MainWindow->setMenuBar(menuBar);

        statusBar = new QStatusBar(MainWindow);
        statusBar->setObjectName(QStringLiteral("statusBar"));
        MainWindow->setStatusBar(statusBar);

        toolBar = new QToolBar(MainWindow);
        toolBar->setObjectName(QStringLiteral("toolBar"));
        toolBar->setMovable(false);
        toolBar->setFloatable(false);
        toolBar->setAllowedAreas(Qt::NoToolBarArea);
        toolBar->setIconSize(QSize(58, 58));
        MainWindow->addToolBar(Qt::TopToolBarArea, toolBar);

        retranslateUi(MainWindow);
    }

    void retranslateUi(QMainWindow *MainWindow)
    {
        MainWindow->setWindowTitle(QCoreApplication::translate("MainWindow", "MainWindow"));
        btnSearch->setText(QCoreApplication::translate("MainWindow", "..."));
        lbDisplayKeyword->setText(QString());
        lbTotal->setText(QCoreApplication::translate("MainWindow", "Total:0"));
        toolBar->setWindowTitle(QCoreApplication::translate("MainWindow", "toolBar"));
    }
};
