#include "AboutUsForm.h"

#include "shell/kit/ProductInfo.h"
#include "Ui_AboutUsForm.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QPixmap>

AboutUsForm::AboutUsForm(QWidget *parent)
    : FramelessDialog(parent)
    , ui(new Ui_AboutUsForm)
{
    ui->setupUi(this);
    makeFrameless();
    ui->lbProduct->setText(productLine());

    auto *scene = new QGraphicsScene(this);
    const QPixmap icon(QString::fromLatin1(ProductInfo::mainIconPath));
    if (!icon.isNull())
        scene->addPixmap(icon.scaledToHeight(64, Qt::FastTransformation));
    ui->picApp->setStyleSheet(QStringLiteral("background:Transparent;border:0;"));
    ui->picApp->setScene(scene);

    const QString home = ProductInfo::homePageUrl();
    ui->lbHomePage->setOpenExternalLinks(true);
    if (!home.isEmpty())
        ui->lbHomePage->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(home.toHtmlEscaped()));
}

AboutUsForm::~AboutUsForm()
{
    delete ui;
}

QString AboutUsForm::productLine()
{
    return QStringLiteral("%1 v%2").arg(ProductInfo::title(), QString::fromLatin1(ProductInfo::version));
}
