#include "DataSourceSelForm.h"

#include "shell/kit/Tips.h"
#include "Logging.h"
#include "ui_DataSourceSelForm.h"

#include <QDebug>
#include <QIcon>

#include <exception>
#include <utility>

DataSourceSelForm::_SelItem::_SelItem(QString iconPath, QString text, void *data)
    : iconPath(std::move(iconPath))
    , text(std::move(text))
    , data(data)
{}

DataSourceSelForm::DataSourceSelForm(QWidget *parent)
    : FramelessDialog(parent)
    , ui(new Ui_DataSourceSelForm)
{
    ui->setupUi(this);
    makeFrameless();
    connect(ui->btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
}

DataSourceSelForm::~DataSourceSelForm()
{
    delete ui;
}

void *DataSourceSelForm::execSel(QString title, QList<DataSourceSelForm::_SelItem> items)
{
    ui->btnOpenOther->hide();
    ui->lbSelDevice->setText(title);
    for (const _SelItem &item : std::as_const(items)) {
        // The pointer travels as a 64-bit number in the item data.
        ui->cbDevice->addItem(QIcon(item.iconPath), item.text,
                              QVariant::fromValue<quint64>(reinterpret_cast<quintptr>(item.data)));
    }
    if (exec() != QDialog::Accepted)
        return nullptr;
    const int index = ui->cbDevice->currentIndex();
    if (index < 0)
        return nullptr;
    return reinterpret_cast<void *>(
        static_cast<quintptr>(ui->cbDevice->itemData(index, Qt::UserRole).value<quint64>()));
}

void DataSourceSelForm::onBtnOkPressed()
{
    // A slot: nothing may leave it.
    try {
        if (ui->cbDevice->currentIndex() != -1) {
            accept();
            return;
        }
        Tips::warning(tr("IDS_PLEASE_SELECT_ONE_DATASOURCE"));
    } catch (const std::exception &e) {
        qCWarning(lcApp) << "target chooser:" << e.what();
    }
}
