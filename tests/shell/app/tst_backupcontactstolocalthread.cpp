#include "shell/app/BackupContactsToLocalThread.h"

#include "shell/kit/MessageBoxResponder.h"
#include "shell/kit/ProgressForm.h"
#include "platform/sqlite/Sqlite3DB.h"
#include "TestMain.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <memory>
#include <stdexcept>

#include <sqlite3.h>

namespace {

pim::_Contact person(const QString &first, const QString &last, const QString &phone)
{
    pim::_Contact c(0, QString(), (first + QLatin1Char(' ') + last).trimmed());
    pim::Entity name;
    name.values[QStringLiteral("data2")] = first;
    name.values[QStringLiteral("data3")] = last;
    name.values[QStringLiteral("data1")] = c.fullName;
    c.entities[pim::ENTITY_NAME] << name;
    pim::Entity number;
    number.values[QStringLiteral("data1")] = phone;
    number.values[QStringLiteral("data2")] = QStringLiteral("2");
    c.entities[pim::ENTITY_PHONE] << number;
    return c;
}

QList<pim::_Contact> people(int n)
{
    QList<pim::_Contact> list;
    for (int i = 0; i < n; ++i)
        list << person(QStringLiteral("First%1").arg(i, 5, 10, QLatin1Char('0')), QStringLiteral("Last"),
                       QString::number(5550000 + i));
    return list;
}

// A worker whose rollback fails as well, as when the database file is gone.
class BrokenRollbackThread : public BackupContactsToLocalThread
{
public:
    using BackupContactsToLocalThread::BackupContactsToLocalThread;
    bool rollbackCalled = false;

protected:
    void rollback() override
    {
        rollbackCalled = true;
        throw std::runtime_error("rollback broke too");
    }
};

// What one run under the progress dialog showed and how it ended.
struct Outcome
{
    int result = -1;
    bool canceled = false;
    QList<MessageBoxRequest> boxes;
    QList<int> values;
    QStringList details;
};

} // namespace

class TestBackupContactsToLocalThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void backsUp_data();
    void backsUp();
    void reportsProgressPerContact();
    void mergesIntoExistingDatabase();
    void cancelKeepsWhatWasMerged();
    void failureRollsBackEverything();
    void failedRollbackStillReportsFirstError();
    void unopenableDatabaseReportsError();

private:
    std::unique_ptr<LocalDb> newDb(const QString &fileName);
    QStringList storedNames(const QString &path);
    Outcome run(BackupContactsToLocalThread &worker, ProgressForm &form,
                const std::function<void(ProgressForm &)> &whileRunning = {});

    QTranslator translator;
    std::unique_ptr<QTemporaryDir> dir;
};

void TestBackupContactsToLocalThread::initTestCase()
{
    QVERIFY(translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&translator);
}

void TestBackupContactsToLocalThread::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

std::unique_ptr<LocalDb> TestBackupContactsToLocalThread::newDb(const QString &fileName)
{
    auto db = std::make_unique<LocalDb>(dir->filePath(fileName),
                                        QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    db->create();
    return db;
}

QStringList TestBackupContactsToLocalThread::storedNames(const QString &path)
{
    // A connection of its own: sees only what was committed.
    LocalDb reader(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    QStringList names;
    for (const pim::_Contact &c : reader.contacts(0, QString()))
        names << c.fullName;
    return names;
}

Outcome TestBackupContactsToLocalThread::run(BackupContactsToLocalThread &worker, ProgressForm &form,
                                             const std::function<void(ProgressForm &)> &whileRunning)
{
    Outcome outcome;
    MessageBoxResponder::Scope responder([&outcome](const MessageBoxRequest &r) {
        outcome.boxes << r;
        // The cancel question is answered Yes, every other box with OK.
        return int(r.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    });
    auto *bar = form.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    auto *detail = form.findChild<QLabel *>(QStringLiteral("lbProgress"));
    QObject::connect(bar, &QProgressBar::valueChanged, &form, [&outcome](int v) { outcome.values << v; });
    QTimer detailWatch;
    QString lastDetail;
    QObject::connect(&detailWatch, &QTimer::timeout, &form, [&] {
        if (detail->text() != lastDetail) {
            lastDetail = detail->text();
            outcome.details << lastDetail;
            if (whileRunning)
                whileRunning(form);
        }
    });
    detailWatch.start(0);

    worker.start(QThread::InheritPriority);
    outcome.result = form.exec();
    worker.wait();
    outcome.canceled = form.canceled;
    return outcome;
}

void TestBackupContactsToLocalThread::backsUp_data()
{
    QTest::addColumn<QList<pim::_Contact>>("contacts");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("stored");

    QTest::newRow("none") << QList<pim::_Contact>() << "Successfully backup 0 contacts to Local Database."
                          << 0;
    QTest::newRow("three") << people(3) << "Successfully backup 3 contacts to Local Database." << 3;
    QTest::newRow("duplicate pair")
        << QList<pim::_Contact>{person("Ann", "Lee", "1"), person("Ann", "Lee", "2")}
        << "Successfully backup 1 contacts to Local Database;1 repeated contacts merged." << 1;
    QTest::newRow("duplicate ignoring case")
        << QList<pim::_Contact>{person("Ann", "Lee", "1"), person("Bob", "Ray", "2"),
                                person("ann", "lee", "3")}
        << "Successfully backup 2 contacts to Local Database;1 repeated contacts merged." << 2;
}

void TestBackupContactsToLocalThread::backsUp()
{
    QFETCH(QList<pim::_Contact>, contacts);
    QFETCH(QString, message);
    QFETCH(int, stored);

    auto db = newDb(QStringLiteral("target.db"));
    ProgressForm form{QString()};
    BackupContactsToLocalThread worker(contacts, db.get(), &form);
    const Outcome outcome = run(worker, form);

    QCOMPARE(outcome.result, 1);
    QVERIFY(!outcome.canceled);
    QCOMPARE(outcome.boxes.size(), 1);
    QCOMPARE(outcome.boxes[0].icon, QMessageBox::Information);
    QCOMPARE(outcome.boxes[0].text, message);
    QCOMPARE(storedNames(db->path).size(), stored);
}

void TestBackupContactsToLocalThread::reportsProgressPerContact()
{
    auto db = newDb(QStringLiteral("progress.db"));
    ProgressForm form{QString()};
    BackupContactsToLocalThread worker(people(3), db.get(), &form);
    const Outcome outcome = run(worker, form);

    QCOMPARE(outcome.result, 1);
    QCOMPARE(outcome.values, (QList<int>{33, 66, 100}));
    QVERIFY(outcome.details.contains(QStringLiteral("Contacts:3/3")));
    auto *status = form.findChild<QLabel *>(QStringLiteral("lbStatus"));
    QCOMPARE(status->text(), QStringLiteral("Backing up contacts to Local Database"));
}

void TestBackupContactsToLocalThread::mergesIntoExistingDatabase()
{
    auto db = newDb(QStringLiteral("existing.db"));
    {
        ProgressForm form{QString()};
        BackupContactsToLocalThread first(QList<pim::_Contact>{person("Ann", "Lee", "1")}, db.get(), &form);
        QCOMPARE(run(first, form).result, 1);
    }
    ProgressForm form{QString()};
    BackupContactsToLocalThread second(
        QList<pim::_Contact>{person("Ann", "Lee", "2"), person("Cy", "Po", "3")}, db.get(), &form);
    const Outcome outcome = run(second, form);
    QCOMPARE(outcome.result, 1);
    QCOMPARE(outcome.boxes.value(0).text,
             QStringLiteral("Successfully backup 1 contacts to Local Database;1 repeated contacts merged."));
    QCOMPARE(storedNames(db->path), (QStringList{"Ann Lee", "Cy Po"}));

    // The merged contact gained the second number.
    LocalDb reader(db->path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    const QList<pim::_Contact> stored = reader.contacts(0, QStringLiteral("Ann"));
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored[0].entities.value(pim::ENTITY_PHONE).size(), 2);
}

void TestBackupContactsToLocalThread::cancelKeepsWhatWasMerged()
{
    const QList<pim::_Contact> contacts = people(50);
    auto db = newDb(QStringLiteral("cancel.db"));
    db->open_check();

    // The worker's first new contact row waits, inside its merge, until the user has confirmed the
    // cancel: the flag is then set while that contact is being merged. (A lock held by another
    // connection would hold the worker up before its first merge, as its bracket takes the write
    // lock first.)
    std::atomic<bool> released{false};
    const auto holdUntilReleased = [](sqlite3_context *context, int, sqlite3_value **) {
        const auto *flag = static_cast<std::atomic<bool> *>(sqlite3_user_data(context));
        QDeadlineTimer deadline(60000);
        while (!*flag && !deadline.hasExpired())
            QThread::msleep(2);
    };
    QCOMPARE(sqlite3_create_function_v2(db->db.handle(), "hold_until_released", 0, SQLITE_UTF8, &released,
                                        holdUntilReleased, nullptr, nullptr, nullptr),
             SQLITE_OK);
    db->db.executeThrow(Sqlite3Sql("create temp trigger hold_first_merge after insert on contact "
                                   "when new._id=1 begin select hold_until_released(); end"));

    ProgressForm form{QString()};
    BackupContactsToLocalThread worker(contacts, db.get(), &form);
    const Outcome outcome = run(worker, form, [&released](ProgressForm &f) {
        if (released)
            return;
        QTest::mousePress(f.findChild<QPushButton *>(QStringLiteral("btnCancel")), Qt::LeftButton);
        released = true;
    });

    QCOMPARE(outcome.result, 0);
    QVERIFY(outcome.canceled);
    QCOMPARE(outcome.details.value(0), QStringLiteral("Contacts:1/50"));
    // Only the cancel question was shown: no success text, no error.
    QCOMPARE(outcome.boxes.size(), 1);
    QCOMPARE(outcome.boxes[0].icon, QMessageBox::Question);

    // The contact being merged when the user confirmed is completed and committed; nothing after it.
    QCOMPARE(storedNames(db->path), QStringList{contacts[0].fullName});
}

void TestBackupContactsToLocalThread::failureRollsBackEverything()
{
    auto db = newDb(QStringLiteral("failing.db"));
    {
        // An earlier contact stays; the failed backup adds nothing to it.
        ProgressForm form{QString()};
        BackupContactsToLocalThread first(QList<pim::_Contact>{person("Old", "One", "0")}, db.get(), &form);
        QCOMPARE(run(first, form).result, 1);
    }
    {
        Sqlite3DB raw;
        raw.openThrow(db->path, Sqlite3DB::ReadWrite);
        raw.executeThrow(
            Sqlite3Sql("create trigger boom before insert on contact when new.full_name = 'Boom Now' "
                       "begin select raise(abort, 'the disk said no'); end"));
    }
    ProgressForm form{QString()};
    BackupContactsToLocalThread worker(
        QList<pim::_Contact>{person("Ann", "Lee", "1"), person("Bob", "Ray", "2"), person("Boom", "Now", "3"),
                             person("Cy", "Po", "4")},
        db.get(), &form);
    const Outcome outcome = run(worker, form);

    QCOMPARE(outcome.result, 0);
    QVERIFY(outcome.canceled);
    QCOMPARE(outcome.boxes.size(), 1);
    QCOMPARE(outcome.boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(outcome.boxes[0].text.contains(QStringLiteral("the disk said no")),
             qPrintable(outcome.boxes[0].text));
    QCOMPARE(storedNames(db->path), QStringList{"Old One"});

    // The database is usable afterwards: no transaction was left open.
    ProgressForm again{QString()};
    BackupContactsToLocalThread next(QList<pim::_Contact>{person("Dee", "Ex", "5")}, db.get(), &again);
    QCOMPARE(run(next, again).result, 1);
    QCOMPARE(storedNames(db->path), (QStringList{"Dee Ex", "Old One"}));
}

void TestBackupContactsToLocalThread::failedRollbackStillReportsFirstError()
{
    auto db = newDb(QStringLiteral("rollback.db"));
    {
        Sqlite3DB raw;
        raw.openThrow(db->path, Sqlite3DB::ReadWrite);
        raw.executeThrow(Sqlite3Sql("create trigger boom before insert on contact "
                                    "begin select raise(abort, 'first failure'); end"));
    }
    ProgressForm form{QString()};
    BrokenRollbackThread worker(QList<pim::_Contact>{person("Ann", "Lee", "1")}, db.get(), &form);
    const Outcome outcome = run(worker, form);

    QVERIFY(worker.rollbackCalled);
    QCOMPARE(outcome.result, 0);
    QCOMPARE(outcome.boxes.size(), 1);
    QCOMPARE(outcome.boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(outcome.boxes[0].text.contains(QStringLiteral("first failure")),
             qPrintable(outcome.boxes[0].text));
    QVERIFY(!outcome.boxes[0].text.contains(QStringLiteral("rollback broke")));
    // The real rollback must still end the open transaction.
    db->endEdit(false);
    QVERIFY(storedNames(db->path).isEmpty());
}

void TestBackupContactsToLocalThread::unopenableDatabaseReportsError()
{
    // A path with no file: the database is never created by the worker.
    LocalDb missing(dir->filePath(QStringLiteral("absent/none.db")),
                    QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    ProgressForm form{QString()};
    BackupContactsToLocalThread worker(people(2), &missing, &form);
    const Outcome outcome = run(worker, form);

    QCOMPARE(outcome.result, 0);
    QCOMPARE(outcome.boxes.size(), 1);
    QCOMPARE(outcome.boxes[0].icon, QMessageBox::Critical);
    QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("absent/none.db"))));
}

TARNWICK_TEST_MAIN(TestBackupContactsToLocalThread)
#include "tst_backupcontactstolocalthread.moc"
