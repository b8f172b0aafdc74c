#pragma once

// How the device tests of the main window find the phones' nodes and the progress dialog.

#include "shell/app/ItemModelMainTree.h"
#include "shell/app/MainWindow.h"
#include "shell/kit/ProgressForm.h"

#include <QApplication>
#include <QList>
#include <QString>

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

} // namespace fixture
