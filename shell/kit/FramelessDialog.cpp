#include "FramelessDialog.h"

#include "StyleSheet.h"

FramelessDialog::FramelessDialog(QWidget *parent)
    : QDialog(parent)
    , m_movable(this)
{}

void FramelessDialog::applyFrameless(QWidget *window, const QString &extraRules)
{
    window->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    window->setStyleSheet(getStyleSheet(QStringLiteral(":/res/style.css")) + extraRules);
}
