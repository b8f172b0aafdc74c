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
    // The edit holds a calendar day only. Kept in UTC it is never converted into the local zone, and
    // no day lacks the midnight it starts with, so no local clock can move the day shown.
    item.dteDate->setTimeSpec(Qt::UTC);
    item.dteDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    // The day the text names, in the text's own zone or offset.
    const bool fits = value.isValid() && value.date() >= item.dteDate->minimumDate() &&
                      value.date() <= item.dteDate->maximumDate();
    if (fits) {
        item.dteDate->setDate(value.date());
        item.given = value;
    }
    item.shownDate = item.dteDate->date();
    item.storedText = std::move(storedText);
    // A text the edit cannot hold must not be overwritten with the edit's stand-in day; a date alone
    // is written out with its midnight on every save.
    item.keepsStored = !fits || (!item.storedText.isEmpty() && !isDateAlone(item.storedText));
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
        const QDate day = item.dteDate->date();
        e.values[valueKey] = item.keepsStored && day == item.shownDate ? item.storedText : textOf(item, day);
        out.append(e);
    }
    return out;
}

bool DateEntitiesEditor::isDateAlone(const QString &text)
{
    return text.size() == 10 && QDate::fromString(text, Qt::ISODate).isValid();
}

QString DateEntitiesEditor::textOf(const _Item &item, QDate day)
{
    const QString dayText = day.toString(Qt::ISODate);
    if (!item.given.isValid())
        return dayText + QStringLiteral("T00:00:00");
    // The rest of the stored text after its day is its time of day and zone as written: "T00:00:00Z"
    // stays "Z", "+02:00" stays an offset, a time without seconds stays without them.
    const QString givenDay = item.given.date().toString(Qt::ISODate);
    if (item.storedText.size() > givenDay.size() && item.storedText.startsWith(givenDay) &&
        item.storedText.at(givenDay.size()) == QLatin1Char('T'))
        return dayText + item.storedText.mid(givenDay.size());
    return dayText + item.given.toString(Qt::ISODate).mid(givenDay.size());
}
