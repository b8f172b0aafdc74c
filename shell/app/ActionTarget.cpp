#include "ActionTarget.h"

ActionTarget ActionTarget::of(ItemModelMainTree::_ItemNode *current)
{
    ActionTarget target;
    if (!current)
        return target;
    ItemModelMainTree::_ItemNode *dbItem =
        current->type == ItemModelMainTree::GROUP ? current->parent : current;
    if (!dbItem || (dbItem->type != ItemModelMainTree::DEVICE && dbItem->type != ItemModelMainTree::LOCALDB))
        return target;
    auto *node = static_cast<ItemModelMainTree::_DBItemNode *>(dbItem);
    target.node = node;
    target.db = node->db;
    target.devId = node->devId;
    target.devType = node->devType;
    return target;
}

bool ActionTarget::isEditable() const
{
    return node && db && (node->type == ItemModelMainTree::LOCALDB || isAndroid());
}

bool ActionTarget::isAndroid() const
{
    return node && node->type == ItemModelMainTree::DEVICE && devType == ItemModelMainTree::ANDROID;
}

bool ActionTarget::isLive(const ItemModelMainTree &tree) const
{
    return node && tree.contains(node) && node->db == db;
}
