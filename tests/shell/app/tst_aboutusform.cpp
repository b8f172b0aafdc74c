#include "shell/app/AboutUsForm.h"

#include "TestMain.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsView>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTranslator>

class TestAboutUsForm : public QObject
{
    Q_OBJECT

    QTranslator m_translator;

private slots:
    void initTestCase()
    {
        qunsetenv("TARNWICK_UPDATE_HOST");
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    void built()
    {
        AboutUsForm form;
        QCOMPARE(form.objectName(), QStringLiteral("AboutUsForm"));
        QCOMPARE(form.size(), QSize(400, 194));
        QCOMPARE(int(form.windowFlags() & (Qt::Dialog | Qt::FramelessWindowHint)), 0x803);
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lbProduct"))->text(),
                 QStringLiteral("Ferrovantis Tarnwick for Mac v3.1.13"));
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lbTitle"))->text(), QStringLiteral("About"));
        QVERIFY(form.findChild<QLabel *>(QStringLiteral("lbHomePage"))->openExternalLinks());
    }

    void iconFillsTheView()
    {
        AboutUsForm form;
        auto *view = form.findChild<QGraphicsView *>(QStringLiteral("picApp"));
        QVERIFY(view);
        QCOMPARE(view->geometry(), QRect(20, 40, 64, 64));
        QCOMPARE(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        const QList<QGraphicsItem *> items = view->scene()->items();
        QCOMPARE(items.size(), 1);
        const auto *pixmap = qgraphicsitem_cast<QGraphicsPixmapItem *>(items.first());
        QVERIFY(pixmap);
        QCOMPARE(pixmap->pixmap().size(), QSize(64, 64));
        // Scaled by picking pixels, not by smoothing them.
        const QImage expected =
            QPixmap(QStringLiteral(":/main_icon")).scaledToHeight(64, Qt::FastTransformation).toImage();
        QCOMPARE(pixmap->pixmap().toImage(), expected);
        QCOMPARE(view->styleSheet(), QStringLiteral("background:Transparent;border:0;"));
        QCOMPARE(view->rubberBandSelectionMode(), Qt::ContainsItemBoundingRect);
    }

    void homePageLink()
    {
        qputenv("TARNWICK_UPDATE_HOST", "www.example.invalid");
        AboutUsForm form;
        qunsetenv("TARNWICK_UPDATE_HOST");
        QCOMPARE(form.findChild<QLabel *>(QStringLiteral("lbHomePage"))->text(),
                 QStringLiteral("<a href=\"http://www.example.invalid/\">http://www.example.invalid/</a>"));
    }

    void okAccepts()
    {
        AboutUsForm form;
        QTimer::singleShot(0, &form, [&] {
            QTest::mousePress(form.findChild<QPushButton *>(QStringLiteral("btnOK")), Qt::LeftButton);
        });
        QCOMPARE(form.exec(), int(QDialog::Accepted));
    }
};

TARNWICK_TEST_MAIN(TestAboutUsForm)
#include "tst_aboutusform.moc"
