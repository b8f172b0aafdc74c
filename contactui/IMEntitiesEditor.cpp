#include "IMEntitiesEditor.h"

#include "EntryRowKit.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QToolButton>

IMEntitiesEditor::IMEntitiesEditor(QString title, int defaultType, int defaultProtocol, QWidget *parent)
    : QWidget(parent)
    , defaultType(defaultType)
    , defaultProtocol(defaultProtocol)
    , gridLayout(new QGridLayout(this))
{
    gridLayout->setContentsMargins(0, 0, 0, 0);
    QToolButton *btnAdd = EntryRowKit::addTitleRow(this, gridLayout, title, 3);
    connect(btnAdd, &QToolButton::pressed, this, &IMEntitiesEditor::add);
}

void IMEntitiesEditor::addItem(const pim::Entity &entity)
{
    _Item item(entity.id, entity.srcId);
    item.cbType = EntryRowKit::makeCodeCombo(this, pim::imTypeMap(), 60);
    EntryRowKit::showTypeAndLabel(item.cbType, entity.values.value(pim::ImKey::SubType).toInt(),
                                  entity.values.value(pim::ImKey::Label).toString());
    item.cbProtocol = EntryRowKit::makeCodeCombo(this, pim::imProtocolMap(), 100);
    // A protocol name of the user's own is shown over the item of the stored code.
    EntryRowKit::selectCode(item.cbProtocol, entity.values.value(pim::ImKey::Protocol).toInt());
    const QString protocolName = entity.values.value(pim::ImKey::CustomProtocol).toString();
    if (!protocolName.isEmpty())
        item.cbProtocol->setEditText(protocolName);
    item.txtAccount = new QLineEdit(this);
    item.txtAccount->setText(entity.values.value(pim::ImKey::Account).toString());
    item.btnRemove = EntryRowKit::makeRemoveButton(this);
    connect(item.btnRemove, &QToolButton::pressed, this, &IMEntitiesEditor::remove);

    const int row = nextRow++;
    gridLayout->addWidget(item.cbType, row, 0);
    gridLayout->addWidget(item.cbProtocol, row, 1);
    gridLayout->addWidget(item.txtAccount, row, 2);
    gridLayout->addWidget(item.btnRemove, row, 3);
    items.append(item);
}

void IMEntitiesEditor::add()
{
    pim::Entity e;
    e.values[pim::ImKey::SubType] = defaultType;
    e.values[pim::ImKey::Protocol] = defaultProtocol;
    addItem(e);
}

void IMEntitiesEditor::remove()
{
    const int i = EntryRowKit::rowOf(items, sender());
    if (i < 0)
        return;
    const _Item &item = items.at(i);
    EntryRowKit::dropWidgets(gridLayout, {item.cbType, item.cbProtocol, item.txtAccount, item.btnRemove});
    items.removeAt(i);
}

QList<pim::Entity> IMEntitiesEditor::toEntityList()
{
    QList<pim::Entity> out;
    for (const _Item &item : items) {
        pim::Entity e = EntryRowKit::entityOf(item, pim::imTypeMap(), pim::ImKey::SubType, pim::ImKey::Label);
        int code = 0;
        QString label;
        EntryRowKit::readCodeAndLabel(item.cbProtocol, pim::imProtocolMap(), code, label);
        e.values[pim::ImKey::Protocol] = code;
        e.values[pim::ImKey::CustomProtocol] = label;
        e.values[pim::ImKey::Account] = item.txtAccount->text().trimmed();
        out.append(e);
    }
    return out;
}
