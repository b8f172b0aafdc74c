#pragma once

// What the main window's actions look at to decide whether they are offered and whether they can
// run: the kind of the current tree node, whether it is a group, how many Android phones the tree
// holds and how many contact rows are selected. A plain value, so that the rules can be checked
// without a window.
struct ActionFacts
{
    enum class Node { None, DevicesRoot, LocalDbsRoot, Ios, Android, OtherDevice, LocalDb };

    Node node = Node::None;
    // The current node is a group of the database node (`node` then names that database).
    bool group = false;
    int androids = 0;
    int selectedRows = 0;

    bool hasDb() const
    {
        return node == Node::Ios || node == Node::Android || node == Node::OtherDevice ||
               node == Node::LocalDb;
    }
    bool isDevice() const { return node == Node::Ios || node == Node::Android || node == Node::OtherDevice; }
    bool isIos() const { return node == Node::Ios; }
    bool isAndroid() const { return node == Node::Android; }
    bool isLocalDb() const { return node == Node::LocalDb; }
    // Local databases and Android phones take edits, deletions and groups; iPhones do not.
    bool isEditable() const { return isLocalDb() || isAndroid(); }
};
