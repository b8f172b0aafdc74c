#include "DateEntitiesEditor.h"

#include "EntryRowKit.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QToolButton>

DateEntitiesEditor::DateEntitiesEditor(QString title, QMap<int, QString> typeMap, int defaultType,
                                       QWidget *parent)
    : QWidget(parent)
    , typeMap(std::move(typeMap))
    , defaultType(defaultType)
    , gridLayout(new QGridLayout(this))
{
    gridLayout->setContentsMargins(0, 0, 0, 0);
    QToolButton *btnAdd = EntryRowKit::addTitleRow(this, gridLayout, title, 2);
    connect(btnAdd, &QToolButton::pressed, this, &DateEntitiesEditor::add);
}

void DateEntitiesEditor::addItem(quint64 id, QString srcId, int type, QString label, QDateTime value,
                                 QString storedText)
{
    _Item item(id, std::move(srcId));
    item.cbType = EntryRowKit::makeCodeCombo(this, typeMap, 100);
    EntryRowKit::showTypeAndLabel(item.cbType, type, label);
    item.dteDate = new QDateTimeEdit(this);
    item.dteDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    const bool fits = value.isValid() && value.date() >= item.dteDate->minimumDate() &&
                      value.date() <= item.dteDate->maximumDate();
    if (fits) {
        item.dteDate->setDateTime(value);
    } else if (!storedText.isEmpty()) {
        // Saving must not write the edit's stand-in date over a text it could not show.
        item.keptText = storedText;
        item.shownInstead = item.dteDate->dateTime();
    }
    item.btnRemove = EntryRowKit::makeRemoveButton(this);
    connect(item.btnRemove, &QToolButton::pressed, this, &DateEntitiesEditor::remove);

    const int row = nextRow++;
    gridLayout->addWidget(item.cbType, row, 0);
    gridLayout->addWidget(item.dteDate, row, 1);
    gridLayout->addWidget(item.btnRemove, row, 2);
    items.append(item);
}

void DateEntitiesEditor::add()
{
    addItem(0, QString(), defaultType, QString(), QDateTime(QDate::currentDate(), QTime(0, 0)));
}

void DateEntitiesEditor::remove()
{
    const int i = EntryRowKit::rowOf(items, sender());
    if (i < 0)
        return;
    const _Item &item = items.at(i);
    EntryRowKit::dropWidgets(gridLayout, {item.cbType, item.dteDate, item.btnRemove});
    items.removeAt(i);
}

QList<pim::Entity> DateEntitiesEditor::toEntityList(QString typeKey, QString labelKey, QString valueKey)
{
    QList<pim::Entity> out;
    for (const _Item &item : items) {
        pim::Entity e = EntryRowKit::entityOf(item, typeMap, typeKey, labelKey);
        const QDateTime shown = item.dteDate->dateTime();
        if (!item.keptText.isEmpty() && shown == item.shownInstead)
            e.values[valueKey] = item.keptText;
        else
            e.values[valueKey] = shown.toString(Qt::ISODate);
        out.append(e);
    }
    return out;
}
