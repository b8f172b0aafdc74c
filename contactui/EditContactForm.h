#pragma once

#include "model/AbsContactCombineRule.h"
#include "model/Contact.h"
#include "model/ContactChanges.h"
#include "shell/kit/FramelessDialog.h"

#include <QList>
#include <memory>

class LocalDb;
class Ui_EditContactForm;
class QKeyEvent;

// The modal dialog in which the user creates or edits one contact, and the place where the edit
// becomes a change list. It writes nothing: the caller runs exec() and, only after it returned 1,
// asks getChanges() for the additions, updates and deletions and applies them itself. With a
// database, Apply refuses a full name that the database already holds (new contacts only).
class EditContactForm : public FramelessDialog, public ContactChanges
{
    Q_OBJECT

public:
    EditContactForm(const pim::_Contact *contact, LocalDb *db, QWidget *parent);
    ~EditContactForm() override;

    // The changes between `unedited` and what the editor holds now: the name first, then additions
    // and updates by ascending kind in row order, then deletions by ascending kind in stored order.
    // Only entries the editor was loaded with can be deleted; an updated entry keeps the stored
    // columns the editor does not show. Reads the editor only; throws nothing.
    QList<_ChangeData> getChanges(AbsContactCombineRule *rule, const pim::_Contact &unedited);

    Ui_EditContactForm *form() const { return ui.get(); }

protected slots:
    void onBtnSavePressed();
    void onBtnCancelPressed();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::unique_ptr<Ui_EditContactForm> ui;
    LocalDb *localDb;
};
