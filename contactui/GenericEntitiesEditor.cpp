#include "GenericEntitiesEditor.h"

#include "EntryRowKit.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QToolButton>

GenericEntitiesEditor::GenericEntitiesEditor(QString title, QString placeholder, QMap<int, QString> typeMap,
                                             int defaultType, QWidget *parent)
    : QWidget(parent)
    , placeholder(std::move(placeholder))
    , typeMap(std::move(typeMap))
    , defaultType(defaultType)
    , gridLayout(new QGridLayout(this))
{
    gridLayout->setContentsMargins(0, 0, 0, 0);
    QToolButton *btnAdd = EntryRowKit::addTitleRow(this, gridLayout, title, 2);
    connect(btnAdd, &QToolButton::pressed, this, &GenericEntitiesEditor::add);
}

void GenericEntitiesEditor::addItem(quint64 id, QString srcId, int type, QString label, QString value)
{
    _Item item(id, std::move(srcId));
    item.cbType = EntryRowKit::makeCodeCombo(this, typeMap, 100);
    EntryRowKit::showTypeAndLabel(item.cbType, type, label);
    item.txtValue = new QLineEdit(this);
    item.txtValue->setPlaceholderText(placeholder);
    item.txtValue->setText(value);
    item.btnRemove = EntryRowKit::makeRemoveButton(this);
    connect(item.btnRemove, &QToolButton::pressed, this, &GenericEntitiesEditor::remove);

    const int row = nextRow++;
    gridLayout->addWidget(item.cbType, row, 0);
    gridLayout->addWidget(item.txtValue, row, 1);
    gridLayout->addWidget(item.btnRemove, row, 2);
    items.append(item);
}

void GenericEntitiesEditor::add()
{
    addItem(0, QString(), defaultType, QString(), QString());
}

void GenericEntitiesEditor::remove()
{
    const int i = EntryRowKit::rowOf(items, sender());
    if (i < 0)
        return;
    const _Item &item = items.at(i);
    EntryRowKit::dropWidgets(gridLayout, {item.cbType, item.txtValue, item.btnRemove});
    items.removeAt(i);
}

QList<pim::Entity> GenericEntitiesEditor::toEntityList(QString typeKey, QString labelKey, QString valueKey)
{
    QList<pim::Entity> out;
    for (const _Item &item : items) {
        pim::Entity e = EntryRowKit::entityOf(item, typeMap, typeKey, labelKey);
        e.values[valueKey] = item.txtValue->text().trimmed();
        out.append(e);
    }
    return out;
}
