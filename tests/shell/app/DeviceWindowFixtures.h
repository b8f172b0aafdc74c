#pragma once

// How the device tests of the main window find the phones' nodes and the progress dialog.

#include "model/DataFolder.h"
#include "shell/app/ItemModelMainTree.h"
#include "shell/app/MainWindow.h"
#include "shell/kit/MessageBoxResponder.h"
#include "shell/kit/ProgressForm.h"

#include <QApplication>
#include <QDir>
#include <QList>
#include <QString>
#include <QTranslator>
#include <QtTest>

#include <functional>

namespace fixture {

// The device nodes of one kind (ItemModelMainTree::DeviceType), in tree order.
inline QList<ItemModelMainTree::_DBItemNode *> deviceNodes(MainWindow &w, int devType)
{
    QList<ItemModelMainTree::_DBItemNode *> out;
    for (AbsTreeItemModel::_ItemNode *child : w.mainTree().rootDevice.childs) {
        auto *n = static_cast<ItemModelMainTree::_DBItemNode *>(child);
        if (n->devType == devType)
            out << n;
    }
    return out;
}

// The node of the device `devId` of that kind; null while it is not in the tree.
inline ItemModelMainTree::_DBItemNode *deviceNode(MainWindow &w, int devType, const QString &devId)
{
    for (ItemModelMainTree::_DBItemNode *n : deviceNodes(w, devType)) {
        if (n->devId == devId)
            return n;
    }
    return nullptr;
}

// The progress dialog on screen; null when none is.
inline ProgressForm *visibleProgressForm()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *form = qobject_cast<ProgressForm *>(w); form && form->isVisible())
            return form;
    }
    return nullptr;
}

// The English texts in place and every message box kept, for the tests of phones in the window. A
// box that offers Retry is answered from `retryAnswers` (Abort once none is left), any other with
// Yes or OK; `onBox` runs inside each box before it is answered.
class PhoneBoxes
{
public:
    // From initTestCase(); also keeps the update check off the network.
    void install()
    {
        qunsetenv("TARNWICK_UPDATE_HOST");
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
        MessageBoxResponder::install([this](const MessageBoxRequest &r) {
            boxes << r;
            if (onBox)
                onBox(r);
            if (r.buttons & QMessageBox::Retry)
                return retryAnswers.isEmpty() ? int(QMessageBox::Abort) : retryAnswers.takeFirst();
            return int(r.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
        });
    }

    // From init(): no databases or phone copies left from an earlier test, and no boxes, answers
    // or hook.
    void reset()
    {
        for (const char *sub : {"data", "android_cache", "android_virtual", "ios_cache", "ios_virtual"})
            QDir(g_dataSaveDir().filePath(QLatin1String(sub))).removeRecursively();
        boxes.clear();
        retryAnswers.clear();
        onBox = nullptr;
    }

    QStringList texts(QMessageBox::Icon icon) const
    {
        QStringList out;
        for (const MessageBoxRequest &r : boxes) {
            if (r.icon == icon)
                out << r.text;
        }
        return out;
    }

    QList<MessageBoxRequest> boxes;
    QList<int> retryAnswers;
    std::function<void(const MessageBoxRequest &)> onBox;

private:
    QTranslator m_translator;
};

} // namespace fixture
