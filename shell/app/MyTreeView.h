#pragma once

#include <QItemSelection>
#include <QTreeView>

// The tree view of both lists of the main window: it tells its owner about selection changes and
// context-menu requests through signals, so the window can react in its own slots.
class MyTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit MyTreeView(QWidget *parent = nullptr);
    ~MyTreeView() override;

signals:
    void onSelectionChanged(QItemSelection selected, QItemSelection deselected);
    void createContextMenu();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;
};
