#include "model/EntityType.h"
#include "model/UnloadedPhoto.h"
#include "ImageBytes.h"
#include "shell/app/ItemModelContacts.h"
#include "shell/app/MyTreeView.h"
#include "TestMain.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QContextMenuEvent>
#include <QSignalSpy>
#include <QStandardItemModel>

using tarnwick::test::imageBytes;

namespace {

pim::Entity entry(const QString &data1, const QVariant &data2 = QVariant())
{
    pim::Entity e;
    e.values.insert(QStringLiteral("data1"), data1);
    if (data2.isValid())
        e.values.insert(QStringLiteral("data2"), data2);
    return e;
}

pim::_Contact contact(const QString &name)
{
    pim::_Contact c(0, QString(), name);
    c.entities[pim::ENTITY_NAME].append(entry(name));
    return c;
}

} // namespace

class TestItemModelContacts : public QObject
{
    Q_OBJECT

private slots:
    void emptyModelHeaders()
    {
        ItemModelContacts model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 4);
        const QStringList expected{"Name", "Phone", "E-Mail", "Address"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(model.headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(), expected.at(i));
        QVERIFY(!model.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
        QVERIFY(!model.headerData(4, Qt::Horizontal, Qt::DisplayRole).isValid());
        QVERIFY(!model.indexOfPos(0).isValid());
    }

    void phoneColumn_data()
    {
        QTest::addColumn<QList<int>>("subTypes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("second entry is the first mobile") << QList<int>{1, 2, 2} << QStringLiteral("n1");
        QTest::newRow("no mobile: first entry") << QList<int>{1, 3} << QStringLiteral("n0");
        QTest::newRow("no phone: empty cell") << QList<int>{} << QString();
    }

    void phoneColumn()
    {
        QFETCH(QList<int>, subTypes);
        QFETCH(QString, shown);
        pim::_Contact c = contact(QStringLiteral("A"));
        for (int i = 0; i < subTypes.size(); ++i)
            c.entities[pim::ENTITY_PHONE].append(
                entry(QStringLiteral("n%1").arg(i), QString::number(subTypes.at(i))));
        ItemModelContacts model;
        model.loadContacts({c});
        const QVariant v = model.data(model.index(0, 1), Qt::DisplayRole);
        QCOMPARE(v.isValid(), !shown.isEmpty());
        QCOMPARE(v.toString(), shown);
        QCOMPARE(model.data(model.index(0, 1), Qt::ToolTipRole).toString(), shown);
    }

    void firstEmailAndAddressOnly()
    {
        pim::_Contact c = contact(QStringLiteral("A"));
        c.entities[pim::ENTITY_EMAIL] = {entry("a@x"), entry("b@x")};
        c.entities[pim::ENTITY_ADDR] = {entry("1 Road\nTown"), entry("2 Lane")};
        c.entities[pim::ENTITY_PHONE]; // an empty list is no entry
        ItemModelContacts model;
        model.loadContacts({c});
        QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("A"));
        QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("a@x"));
        QCOMPARE(model.data(model.index(0, 3)).toString(), QStringLiteral("1 Road\nTown"));
        QVERIFY(!model.data(model.index(0, 1)).isValid());
        QVERIFY(!model.data(model.index(0, 1), Qt::DecorationRole).isValid());
        QVERIFY(!model.data(model.index(0, 0), 14).isValid());
    }

    void photoDecoration_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("decoded");
        QTest::newRow("jpeg") << imageBytes("JPEG", QSize(40, 40), Qt::red) << true;
        QTest::newRow("png") << imageBytes("PNG", QSize(40, 40), Qt::red) << true;
        QTest::newRow("garbage") << QByteArray("not a picture") << false;
    }

    void photoDecoration()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, decoded);
        pim::_Contact c = contact(QStringLiteral("A"));
        pim::Entity photo;
        photo.values.insert(QStringLiteral("data15"), bytes);
        c.entities[pim::ENTITY_PHOTO].append(photo);
        ItemModelContacts model;
        model.loadContacts({c, contact(QStringLiteral("B"))});
        const QPixmap pix = model.data(model.index(0, 0), Qt::DecorationRole).value<QPixmap>();
        const QPixmap placeholder = model.data(model.index(1, 0), Qt::DecorationRole).value<QPixmap>();
        if (decoded) {
            QCOMPARE(pix.width(), 18);
            QVERIFY(pix.toImage().pixelColor(5, 5).red() > 240); // JPEG is lossy
            QVERIFY(pix.toImage().pixelColor(5, 5).green() < 15);
        } else {
            QCOMPARE(pix.toImage(), placeholder.toImage());
        }
        if (!placeholder.isNull())
            QCOMPARE(placeholder.width(), 18);
    }

    // A row whose photo bytes stayed in the database gets its small photo through the reader, read
    // once until the list is replaced; without bytes to decode it shows the placeholder.
    void photoLeftInTheDatabase_data()
    {
        QTest::addColumn<QString>("reader"); // "bytes", "garbage", "throws" or "none"
        QTest::addColumn<bool>("decoded");
        QTest::newRow("read") << "bytes" << true;
        QTest::newRow("undecodable") << "garbage" << false;
        QTest::newRow("reader fails") << "throws" << false;
        QTest::newRow("no reader") << "none" << false;
    }

    void photoLeftInTheDatabase()
    {
        QFETCH(QString, reader);
        QFETCH(bool, decoded);
        pim::_Contact c = contact(QStringLiteral("A"));
        pim::Entity photo(7, QString());
        photo.values.insert(QStringLiteral("data4"), QStringLiteral("hash"));
        photo.values.insert(QStringLiteral("data15"), pim::UnloadedPhoto::value());
        c.entities[pim::ENTITY_PHOTO].append(photo);
        ItemModelContacts model;
        QList<quint64> asked;
        if (reader != "none") {
            model.setPhotoReader([&](const pim::Entity &e) {
                asked << e.id;
                if (reader == "throws")
                    throw std::runtime_error("gone");
                return reader == "bytes" ? imageBytes("PNG", QSize(40, 40), Qt::red) : QByteArray("junk");
            });
        }
        model.loadContacts({c, contact(QStringLiteral("B"))});
        const QPixmap placeholder = model.data(model.index(1, 0), Qt::DecorationRole).value<QPixmap>();
        for (int paint = 0; paint < 3; ++paint) {
            const QImage pix = model.data(model.index(0, 0), Qt::DecorationRole).value<QPixmap>().toImage();
            if (decoded)
                QCOMPARE(pix.pixelColor(5, 5), QColor(Qt::red));
            else
                QCOMPARE(pix, placeholder.toImage());
        }
        QCOMPARE(asked, reader == "none" ? QList<quint64>{} : QList<quint64>{7});
        model.loadContacts({c});
        model.data(model.index(0, 0), Qt::DecorationRole);
        QCOMPARE(asked.size(), reader == "none" ? 0 : 2);
    }

    void shadingAndHeight()
    {
        ItemModelContacts model;
        model.loadContacts({contact("A"), contact("B")});
        QCOMPARE(model.data(model.index(0, 2), Qt::BackgroundRole).value<QBrush>().color(),
                 QColor(250, 250, 250, 255));
        QCOMPARE(model.data(model.index(1, 0), Qt::BackgroundRole).value<QBrush>().color(),
                 QColor(255, 255, 255, 255));
        QCOMPARE(model.data(model.index(1, 3), Qt::SizeHintRole).toSize(), QSize(0, 25));
    }

    void indexesAndRows()
    {
        ItemModelContacts model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.loadContacts({contact("A"), contact("B"), contact("C")});
        QVERIFY(!model.indexOfPos(-1).isValid());
        QVERIFY(!model.indexOfPos(3).isValid());
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);
        QVERIFY(!model.parent(model.index(1, 0)).isValid());
        QVERIFY(model.contactOf(model.index(1, 0)));
        QVERIFY(!model.contactOf(model.index(1, 2)));
        QVERIFY(!model.index(3, 0).isValid());
        QVERIFY(!model.index(0, 4).isValid());
    }

    // An index taken before the list grows still names its own contact afterwards: a QList append may
    // move every element, so an element address in the index would dangle.
    void insertContactAnnouncesRowAndKeepsIndexesUsable()
    {
        ItemModelContacts model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.loadContacts({contact("A"), contact("B"), contact("C")});
        const QPersistentModelIndex second(model.index(1, 0));
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        for (int i = 0; i < 50; ++i)
            model.insertContact(contact(QStringLiteral("N%1").arg(i)));
        QCOMPARE(inserted.count(), 50);
        QCOMPARE(inserted.first().at(1).toInt(), 3);
        QCOMPARE(inserted.first().at(2).toInt(), 3);
        QCOMPARE(model.indexOfPos(3).data().toString(), QStringLiteral("N0"));
        QCOMPARE(model.contactOf(second)->fullName, QStringLiteral("B"));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(!second.isValid());
    }

    void treeViewSignals()
    {
        QStandardItemModel model(3, 1);
        MyTreeView view;
        view.setModel(&model);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        QSignalSpy sel(&view, &MyTreeView::onSelectionChanged);
        view.selectionModel()->select(model.index(1, 0), QItemSelectionModel::Select);
        QCOMPARE(sel.count(), 1);
        const auto selected = sel.first().at(0).value<QItemSelection>();
        QCOMPARE(selected.indexes().size(), 1);
        QCOMPARE(selected.indexes().first().row(), 1);

        QSignalSpy menu(&view, &MyTreeView::createContextMenu);
        QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 5));
        QCoreApplication::sendEvent(view.viewport(), &ev);
        QCOMPARE(menu.count(), 1);
        QVERIFY(!ev.isAccepted());
    }
};

TARNWICK_TEST_MAIN(TestItemModelContacts)
#include "tst_itemmodelcontacts.moc"
