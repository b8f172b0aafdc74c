#include "GroupForm.h"

#include "Ui_GroupForm.h"
#include "model/LocalDb.h"
#include "shell/kit/Tips.h"

#include <QLineEdit>

#include <exception>

GroupForm::GroupForm(LocalDb *db, QWidget *parent)
    : FramelessDialog(parent)
    , ui(std::make_unique<Ui_GroupForm>())
    , localDb(db)
{
    ui->setupUi(this);
    makeFrameless();
    connect(ui->btnOK, &QPushButton::pressed, this, &GroupForm::onBtnOKPressed);
    try {
        for (const pim::_Group &group : localDb->groups())
            ui->cbGroups->addItem(group.name, QVariant::fromValue<quint64>(group.id));
        listed = true;
    } catch (const std::exception &e) {
        Tips::error(QString::fromUtf8(e.what()));
    }
}

GroupForm::~GroupForm() = default;

int GroupForm::exec()
{
    if (!listed) {
        setResult(QDialog::Rejected);
        return QDialog::Rejected;
    }
    return FramelessDialog::exec();
}

void GroupForm::onBtnOKPressed()
{
    groupName = ui->cbGroups->lineEdit()->text().trimmed();
    if (groupName.isEmpty()) {
        if (Tips::question(tr("IDS_CONFIRM_UNGROUP_CONTACTS"))) {
            groupId = 0;
            accept();
        }
        return;
    }
    const int index =
        ui->cbGroups->findData(groupName, Qt::DisplayRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        groupId = ui->cbGroups->itemData(index).value<quint64>();
    accept();
}
