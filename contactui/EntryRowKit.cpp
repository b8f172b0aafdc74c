#include "EntryRowKit.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QToolButton>

namespace {

// Every row's button shows the same picture: decoded once, not once per row (a contact of thousands
// of entries has thousands of rows). Dropped when the application ends, while pictures still can be.
QIcon sharedIcon(const QString &path)
{
    static QHash<QString, QIcon> icons;
    if (icons.isEmpty())
        qAddPostRoutine([] { icons.clear(); });
    auto it = icons.constFind(path);
    if (it == icons.cend())
        it = icons.insert(path, QIcon(path));
    return *it;
}

QToolButton *iconButton(QWidget *editor, const QString &icon)
{
    auto *button = new QToolButton(editor);
    button->setIcon(sharedIcon(icon));
    button->setIconSize(QSize(16, 16));
    return button;
}

} // namespace

QToolButton *EntryRowKit::addTitleRow(QWidget *editor, QGridLayout *grid, const QString &title, int addColumn)
{
    auto *label = new QLabel(title, editor);
    QToolButton *add = iconButton(editor, QStringLiteral(":res/add.png"));
    grid->addWidget(label, 0, 0);
    grid->addWidget(add, 0, addColumn);
    return add;
}

QToolButton *EntryRowKit::makeRemoveButton(QWidget *editor)
{
    return iconButton(editor, QStringLiteral(":res/remove.png"));
}

QComboBox *EntryRowKit::makeCodeCombo(QWidget *editor, const QMap<int, QString> &table, int width)
{
    auto *combo = new QComboBox(editor);
    // Sized before it becomes editable, so every row's combo has the same height.
    combo->setFixedSize(width, combo->sizeHint().height());
    combo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // Filled before it becomes editable: the list that an editable combo attaches to its items
    // restarts a timer for every item added, and with thousands of rows pending at once each restart
    // searches all their timers.
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        combo->addItem(it.value(), it.key());
    combo->setEditable(true);
    return combo;
}

void EntryRowKit::selectCode(QComboBox *combo, int code)
{
    const int index = combo->findData(code);
    combo->setCurrentIndex(index >= 0 ? index : 0);
}

void EntryRowKit::showTypeAndLabel(QComboBox *combo, int type, const QString &label)
{
    selectCode(combo, label.isEmpty() ? type : 0);
    if (!label.isEmpty())
        combo->setEditText(label);
}

void EntryRowKit::readCodeAndLabel(const QComboBox *combo, const QMap<int, QString> &table, int &code,
                                   QString &label)
{
    const QString text = combo->currentText().trimmed();
    // Only the table's own items count: a text the user typed and confirmed with Return is a
    // label, even when the combo appended it as an item.
    for (int i = 0; i < combo->count(); ++i) {
        const QVariant data = combo->itemData(i);
        if (!data.isValid() || !table.contains(data.toInt()) ||
            table.value(data.toInt()) != combo->itemText(i))
            continue;
        if (combo->itemText(i) == text) {
            code = data.toInt();
            label = QString();
            return;
        }
    }
    code = 0;
    label = text;
}

void EntryRowKit::codeAndLabelShown(const QMap<int, QString> &table, int type, const QString &label,
                                    int &code, QString &shownLabel)
{
    // The combo shows the label over the code-0 item, else the item of `type`, else its first item.
    QString text = label;
    if (text.isEmpty() && !table.isEmpty()) {
        const auto it = table.constFind(type);
        text = it != table.cend() ? it.value() : table.first();
    }
    text = lineEditText(text).trimmed();
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (it.value() == text) {
            code = it.key();
            shownLabel = QString();
            return;
        }
    }
    code = 0;
    shownLabel = text;
}

QString EntryRowKit::lineEditText(const QString &text)
{
    // QLineEdit's default maxLength.
    constexpr qsizetype kLineEditLimit = 32767;
    return text.size() > kLineEditLimit ? text.left(kLineEditLimit) : text;
}

QRect EntryRowKit::shownPart(const QWidget *widget)
{
    if (!widget->isVisible())
        return QRect();
    QRect part = widget->rect();
    QPoint origin; // the widget's top left in the coordinates of the parent reached so far
    for (const QWidget *w = widget; !w->isWindow() && w->parentWidget(); w = w->parentWidget()) {
        origin += w->pos();
        part &= w->parentWidget()->rect().translated(-origin);
    }
    return part;
}

void EntryRowKit::dropWidgets(QGridLayout *grid, const QList<QWidget *> &widgets)
{
    for (QWidget *w : widgets) {
        grid->removeWidget(w);
        w->hide();
        w->deleteLater();
    }
}

pim::Entity EntryRowKit::entityOf(const Row &row, const QMap<int, QString> &table, const QString &typeKey,
                                  const QString &labelKey)
{
    pim::Entity e(row.id, row.srcId);
    int code = 0;
    QString label;
    readCodeAndLabel(row.cbType, table, code, label);
    e.values[typeKey] = code;
    e.values[labelKey] = label;
    return e;
}
