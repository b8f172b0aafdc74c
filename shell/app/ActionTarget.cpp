#include "ActionTarget.h"

ActionTarget::ActionTarget(const ContactSelection::Node &currentNode)
    : current(currentNode.node)
    , node(currentNode.dbNode)
{
    if (!node)
        return;
    db = node->db;
    devId = node->devId;
    devType = node->devType;
}

bool ActionTarget::isEditable() const
{
    return node && db && (node->type == ItemModelMainTree::LOCALDB || isAndroid());
}

bool ActionTarget::isAndroid() const
{
    return node && node->type == ItemModelMainTree::DEVICE && devType == ItemModelMainTree::ANDROID;
}
