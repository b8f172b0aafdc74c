#pragma once

#include "shell/kit/FramelessDialog.h"

#include <QString>
#include <memory>

class LocalDb;
class Ui_GroupForm;

// The modal dialog in which the user picks one of a database's groups, types the name of a new one,
// or leaves the name empty to take the selected contacts out of their group. It changes nothing:
// after exec() returned 1 the caller reads groupId (0 when no listed group has the name exactly)
// and groupName (trimmed; empty means no group).
class GroupForm : public FramelessDialog
{
    Q_OBJECT

public:
    GroupForm(LocalDb *db, QWidget *parent);
    ~GroupForm() override;

    // 0 at once, without showing anything, when the groups could not be read.
    int exec() override;

    Ui_GroupForm *form() const { return ui.get(); }

    quint64 groupId = 0;
    QString groupName;

public slots:
    void onBtnOKPressed();

private:
    std::unique_ptr<Ui_GroupForm> ui;
    LocalDb *localDb;
    bool listed = false;
};
