#include "LocalDbPicker.h"

#include "DbFactory.h"
#include "LocalDbSelForm.h"
#include "shell/kit/Tips.h"

LocalDbPicker::LocalDbPicker(ItemModelMainTree &tree, QWidget *dialogParent)
    : m_tree(tree)
    , m_dialogParent(dialogParent)
{}

ItemModelMainTree::_DBItemNode *LocalDbPicker::pick(const QString &suggestedName, bool *created)
{
    if (created)
        *created = false;
    QString name;
    {
        LocalDbSelForm form(m_dialogParent, suggestedName);
        name = form.execGetDbName();
    }
    if (name.isEmpty())
        return nullptr;
    for (AbsTreeItemModel::_ItemNode *child : m_tree.rootLocalDb.childs) {
        if (child->name == name)
            return static_cast<ItemModelMainTree::_DBItemNode *>(child);
    }
    try {
        ItemModelMainTree::_DBItemNode *node = m_tree.addLocalDb(DbFactory::openOrCreateLocalDb(name), name);
        m_tree.contentsUpdate();
        if (created)
            *created = true;
        return node;
    } catch (const std::exception &e) {
        Tips::error(tr("IDS_CREATE_DB_FAIL_%1").arg(QString::fromUtf8(e.what())));
        return nullptr;
    }
}
