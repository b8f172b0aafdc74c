#include "EditContactForm.h"

#include "AddrEntitiesEditor.h"
#include "DateEntitiesEditor.h"
#include "GenericEntitiesEditor.h"
#include "IMEntitiesEditor.h"
#include "Logging.h"
#include "Ui_EditContactForm.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/LocalDb.h"
#include "shell/kit/Tips.h"

#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSet>

#include <exception>

namespace {

// The columns each kind's editor shows and gives back. An updated entry takes these from the editor
// and every other column from the stored entry, so what the editor cannot show survives a save.
QStringList editedColumns(int kind)
{
    switch (kind) {
    case pim::ENTITY_NAME:
        return {pim::NameKey::FullName,   pim::NameKey::GivenName, pim::NameKey::FamilyName,
                pim::NameKey::MiddleName, pim::NameKey::Prefix,    pim::NameKey::Suffix};
    case pim::ENTITY_PHOTO:
        return {pim::PhotoKey::Image, pim::PhotoKey::Hash};
    case pim::ENTITY_NICKNAME:
        // The editor has no sub-type field: a stored nickname keeps its own.
        return {pim::ValueKey::Value};
    case pim::ENTITY_NOTE:
        return {pim::NoteKey::Text};
    case pim::ENTITY_ORG:
        return {pim::OrgKey::Company, pim::OrgKey::JobTitle, pim::OrgKey::Department};
    case pim::ENTITY_IM:
        return {pim::ImKey::Account, pim::ImKey::SubType, pim::ImKey::Label, pim::ImKey::Protocol,
                pim::ImKey::CustomProtocol};
    case pim::ENTITY_ADDR:
        return {pim::AddrKey::Formatted, pim::AddrKey::SubType, pim::AddrKey::Label,
                pim::AddrKey::Street,    pim::AddrKey::City,    pim::AddrKey::State,
                pim::AddrKey::Postcode,  pim::AddrKey::Country};
    default:
        return {pim::ValueKey::Value, pim::ValueKey::SubType, pim::ValueKey::Label};
    }
}

pim::Entity overStored(int kind, const pim::Entity &edited, const pim::Entity &stored)
{
    pim::Entity out(edited.id, edited.srcId);
    out.values = stored.values;
    for (const QString &key : editedColumns(kind))
        out.values[key] = edited.values.value(key);
    return out;
}

// Kinds the editor shows only the first entry of; of the others it shows every entry.
bool firstOnly(int kind)
{
    return kind == pim::ENTITY_PHOTO || kind == pim::ENTITY_NICKNAME || kind == pim::ENTITY_NOTE ||
           kind == pim::ENTITY_ORG;
}

bool multiRow(int kind)
{
    switch (kind) {
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_IM:
    case pim::ENTITY_REL:
    case pim::ENTITY_ADDR:
    case pim::ENTITY_URL:
        return true;
    default:
        return false;
    }
}

QByteArray local8(const QVariant &value)
{
    return value.toString().toLocal8Bit();
}

} // namespace

EditContactForm::EditContactForm(const pim::_Contact *contact, LocalDb *db, QWidget *parent)
    : FramelessDialog(parent)
    , ui(std::make_unique<Ui_EditContactForm>())
    , localDb(db)
{
    ui->setupUi(this);
    makeFrameless();
    connect(ui->btnSave, &QPushButton::pressed, this, &EditContactForm::onBtnSavePressed);
    connect(ui->btnCancel, &QPushButton::pressed, this, &EditContactForm::onBtnCancelPressed);
    if (contact) {
        ui->wdEditContact->fillContact(contact);
        setWindowTitle(contact->fullName.isEmpty() ? tr("IDS_NEW_CONTACT")
                                                   : tr("IDS_EDIT_CONTACT_%1").arg(contact->fullName));
    }
    ui->lbTitle->setText(windowTitle());
}

EditContactForm::~EditContactForm() = default;

void EditContactForm::keyPressEvent(QKeyEvent *event)
{
    // Neither Escape nor the keypad's Enter may end an edit unasked.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Enter)
        return;
    QDialog::keyPressEvent(event);
}

void EditContactForm::onBtnSavePressed()
{
    const ContactEditor::_NameEdit &name = ui->wdEditContact->nameEdit;
    if (name.txtFirstName->text().trimmed().isEmpty() && name.txtLastName->text().trimmed().isEmpty()) {
        Tips::warning(tr("IDS_ENTER_FIRSTNAME_OR_LASTNAME"));
        return;
    }
    if (localDb) {
        const QString fullName = name.toEntity().fullName();
        try {
            if (localDb->isContactBaseExist(fullName) != 0) {
                Tips::warning(tr("IDS_CONTACT_NAME_%1_EXIST").arg(fullName));
                return;
            }
        } catch (const std::exception &e) {
            // Without an answer the name cannot be let through; the edit stays open so nothing typed
            // is lost.
            Tips::error(QString::fromUtf8(e.what()));
            return;
        }
    }
    accept();
}

void EditContactForm::onBtnCancelPressed()
{
    if (Tips::question(tr("IDS_CANCEL_EDIT_CONTACT_WILL_LOST_CHANGES_CONTINUE")))
        reject();
}

QList<ContactChanges::_ChangeData> EditContactForm::getChanges(AbsContactCombineRule *rule,
                                                               const pim::_Contact &unedited)
{
    ContactEditor *editor = ui->wdEditContact;
    QList<_ChangeData> out;

    // 1. The name, compared on the parts the user edits.
    const pim::Entity name = editor->nameEdit.toEntity();
    const QList<pim::Entity> storedNames = unedited.entities.value(pim::ENTITY_NAME);
    if (storedNames.isEmpty()) {
        qCDebug(lcContactUi, "action=ACTION_ADDED, type=pim::ENTITY_NAME, fullName=%s",
                name.fullName().toLocal8Bit().constData());
        out.append(_ChangeData(pim::ENTITY_NAME, ACTION_ADDED, name));
    } else {
        const QStringList nameKeys{pim::NameKey::Prefix, pim::NameKey::GivenName, pim::NameKey::MiddleName,
                                   pim::NameKey::FamilyName, pim::NameKey::Suffix};
        if (!AbsContactCombineRule::isEntityEqual(name, storedNames.first(), nameKeys)) {
            qCDebug(lcContactUi, "action=ACTION_UPDATED, type=pim::ENTITY_NAME, fullName=%s",
                    name.fullName().toLocal8Bit().constData());
            out.append(_ChangeData(pim::ENTITY_NAME, ACTION_UPDATED,
                                   overStored(pim::ENTITY_NAME, name, storedNames.first())));
        }
    }

    // 2. What the editor holds now, by kind.
    QMap<int, QList<pim::Entity>> edited;
    // A stored photo without picture bytes stays until the user deletes it.
    const ContactEditor::_PhotoEdit &photo = editor->photoEdit;
    if (!photo.photoData.isEmpty() || (photo.id != 0 && !photo.deleted))
        edited[pim::ENTITY_PHOTO] = {photo.toEntity()};
    const QString typeKey = pim::ValueKey::SubType;
    const QString labelKey = pim::ValueKey::Label;
    const QString valueKey = pim::ValueKey::Value;
    edited[pim::ENTITY_PHONE] = editor->phoneEditor->toEntityList(typeKey, labelKey, valueKey);
    edited[pim::ENTITY_EMAIL] = editor->emailEditor->toEntityList(typeKey, labelKey, valueKey);
    edited[pim::ENTITY_NICKNAME] = {editor->nicknameEdit.toEntity()};
    edited[pim::ENTITY_EVENT] = editor->eventEditor->toEntityList(typeKey, labelKey, valueKey);
    edited[pim::ENTITY_IM] = editor->imEditor->toEntityList();
    edited[pim::ENTITY_NOTE] = {editor->notesEdit.toEntity()};
    edited[pim::ENTITY_ORG] = {editor->orgEdit.toEntity()};
    edited[pim::ENTITY_REL] = editor->relEditor->toEntityList(typeKey, labelKey, valueKey);
    edited[pim::ENTITY_ADDR] = editor->addrEditor->toEntityList();
    edited[pim::ENTITY_URL] = editor->urlEditor->toEntityList(typeKey, labelKey, valueKey);

    // 3. Additions and updates.
    QSet<quint64> seen;
    for (auto it = edited.cbegin(); it != edited.cend(); ++it) {
        const int kind = it.key();
        const QStringList empty = rule->checkEmptyFields(kind);
        const QStringList full = rule->checkEqualFieldsFull(kind);
        const QList<pim::Entity> stored = unedited.entities.value(kind);
        // Each row finds its stored entry by id in one look-up: a contact may hold thousands.
        QHash<quint64, qsizetype> storedAt;
        storedAt.reserve(stored.size());
        for (qsizetype i = stored.size() - 1; i >= 0; --i)
            storedAt.insert(stored.at(i).id, i);
        for (const pim::Entity &x : it.value()) {
            const qsizetype at = x.id == 0 ? -1 : storedAt.value(x.id, -1);
            const auto found = at < 0 ? stored.cend() : stored.cbegin() + at;
            // An empty row stands for an erased entry, unless the entry was stored with nothing its
            // row shows: that row comes back empty without the user touching it, and the entry stays.
            const bool storedEmpty =
                found != stored.cend() && AbsContactCombineRule::isEntityEmpty(*found, empty);
            if (AbsContactCombineRule::isEntityEmpty(x, empty) && !storedEmpty) {
                qCDebug(lcContactUi, "EditContactForm::getChanges, Empty Entity: type=%d, _id=%d, srcId=%s",
                        kind, int(x.id), x.srcId.toLocal8Bit().constData());
                continue;
            }
            seen.insert(x.id);
            if (x.id == 0) {
                qCDebug(lcContactUi, "action=ACTION_ADDED, type=%d", kind);
                out.append(_ChangeData(kind, ACTION_ADDED, x));
                continue;
            }
            if (found == stored.cend())
                continue;
            const pim::Entity updated = overStored(kind, x, *found);
            if (AbsContactCombineRule::isEntityEqual(updated, *found, full))
                continue;
            qCDebug(lcContactUi, "action=ACTION_UPDATED, type=%d {", kind);
            for (const QString &key : full) {
                qCDebug(lcContactUi, "%s(cur)=%s", key.toLocal8Bit().constData(),
                        local8(updated.values.value(key)).constData());
                qCDebug(lcContactUi, "%s(src)=%s", key.toLocal8Bit().constData(),
                        local8(found->values.value(key)).constData());
            }
            qCDebug(lcContactUi, "}");
            out.append(_ChangeData(kind, ACTION_UPDATED, updated));
        }
    }

    // 4. Deletions: only of entries the editor was loaded with. Group memberships, the entries after
    // the first of a single-entry kind and unknown kinds never reached the editor, so their absence
    // from it says nothing.
    for (auto it = unedited.entities.cbegin(); it != unedited.entities.cend(); ++it) {
        const int kind = it.key();
        if (!firstOnly(kind) && !multiRow(kind))
            continue;
        const QList<pim::Entity> &stored = it.value();
        const int loaded = firstOnly(kind) ? qMin<int>(1, stored.size()) : stored.size();
        for (int i = 0; i < loaded; ++i) {
            const pim::Entity &s = stored.at(i);
            if (seen.contains(s.id))
                continue;
            qCDebug(lcContactUi, "action=ACTION_DELETED, type=%d, _id=%d, srcId=%s", kind, int(s.id),
                    s.srcId.toLocal8Bit().constData());
            out.append(_ChangeData(kind, ACTION_DELETED, s));
        }
    }
    return out;
}
