#include "AddrEntitiesEditor.h"

#include "EntryRowKit.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QTextEdit>
#include <QToolButton>

AddrEntitiesEditor::AddrEntitiesEditor(QString title, int defaultType, QWidget *parent)
    : QWidget(parent)
    , defaultType(defaultType)
    , gridLayout(new QGridLayout(this))
{
    gridLayout->setContentsMargins(0, 0, 0, 0);
    QToolButton *btnAdd = EntryRowKit::addTitleRow(this, gridLayout, title, 3);
    connect(btnAdd, &QToolButton::pressed, this, &AddrEntitiesEditor::add);
}

void AddrEntitiesEditor::addItem(pim::Entity entity)
{
    const auto text = [&entity](const QString &key) { return entity.values.value(key).toString(); };
    const auto lineEdit = [this](const QString &placeholder, const QString &value) {
        auto *edit = new QLineEdit(this);
        edit->setPlaceholderText(placeholder);
        edit->setText(value);
        return edit;
    };

    _Item item(entity.id, entity.srcId);
    item.cbType = EntryRowKit::makeCodeCombo(this, pim::addrTypeMap(), 60);
    EntryRowKit::showTypeAndLabel(item.cbType, entity.values.value(pim::AddrKey::SubType).toInt(),
                                  text(pim::AddrKey::Label));
    item.txtCountry = lineEdit(tr("Country"), text(pim::AddrKey::Country));
    item.txtState = lineEdit(tr("State"), text(pim::AddrKey::State));
    item.txtState->setFixedWidth(60);
    item.txtState->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    item.txtCity = lineEdit(tr("City"), text(pim::AddrKey::City));
    item.txtStreet = new QTextEdit(this);
    item.txtStreet->setAcceptRichText(false);
    // Plain text, so a street that looks like markup keeps its characters.
    const QString formatted = text(pim::AddrKey::Formatted);
    item.showsFreeText = entity.formattedAddr().isEmpty() && !entity.shownAddr().isEmpty();
    item.txtStreet->setPlainText(item.showsFreeText ? formatted : text(pim::AddrKey::Street));
    item.txtStreet->setMaximumHeight(60);
    item.txtStreet->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    item.txtPostcode = lineEdit(tr("Postcode"), text(pim::AddrKey::Postcode));
    item.btnRemove = EntryRowKit::makeRemoveButton(this);
    item.btnRemove->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(item.btnRemove, &QToolButton::pressed, this, &AddrEntitiesEditor::remove);
    if (item.showsFreeText) {
        item.freeText = formatted;
        item.shownFields = fieldsOf(item);
    }

    const int r = nextRow;
    nextRow += 4;
    gridLayout->addWidget(item.cbType, r, 0);
    gridLayout->addWidget(item.txtCountry, r, 1, 1, 2);
    gridLayout->addWidget(item.txtState, r + 1, 1);
    gridLayout->addWidget(item.txtCity, r + 1, 2);
    gridLayout->addWidget(item.txtStreet, r + 2, 1, 1, 2);
    gridLayout->addWidget(item.txtPostcode, r + 3, 1, 1, 2);
    gridLayout->addWidget(item.btnRemove, r, 3);
    items.append(item);
}

void AddrEntitiesEditor::add()
{
    pim::Entity e;
    e.values[pim::AddrKey::SubType] = defaultType;
    addItem(e);
}

void AddrEntitiesEditor::remove()
{
    const int i = EntryRowKit::rowOf(items, sender());
    if (i < 0)
        return;
    const _Item &item = items.at(i);
    EntryRowKit::dropWidgets(gridLayout, {item.cbType, item.txtCountry, item.txtState, item.txtCity,
                                          item.txtStreet, item.txtPostcode, item.btnRemove});
    items.removeAt(i);
}

QList<pim::Entity> AddrEntitiesEditor::toEntityList()
{
    QList<pim::Entity> out;
    for (const _Item &item : items) {
        pim::Entity e =
            EntryRowKit::entityOf(item, pim::addrTypeMap(), pim::AddrKey::SubType, pim::AddrKey::Label);
        e.values[pim::AddrKey::Country] = item.txtCountry->text().trimmed();
        e.values[pim::AddrKey::State] = item.txtState->text().trimmed();
        e.values[pim::AddrKey::City] = item.txtCity->text().trimmed();
        e.values[pim::AddrKey::Street] = item.txtStreet->toPlainText().trimmed();
        e.values[pim::AddrKey::Postcode] = item.txtPostcode->text().trimmed();
        if (item.showsFreeText && fieldsOf(item) == item.shownFields) {
            e.values[pim::AddrKey::Street] = QString();
            e.values[pim::AddrKey::Formatted] = item.freeText;
        } else {
            e.values[pim::AddrKey::Formatted] = e.formattedAddr();
        }
        out.append(e);
    }
    return out;
}

QStringList AddrEntitiesEditor::fieldsOf(const _Item &item)
{
    return {item.txtCountry->text(), item.txtState->text(), item.txtCity->text(),
            item.txtStreet->toPlainText(), item.txtPostcode->text()};
}
