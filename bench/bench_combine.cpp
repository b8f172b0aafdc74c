// Merging generated contacts through LocalDb::combineContact, against the floor of writing the
// same rows straight into a file of the same schema.
//
// For N = 1,000, 10,000 and 50,000: (a) merge into an empty database, (b) merge the same N again
// into the database that (a) filled, each inside one edit bracket; the floor writes the rows of the
// N contacts with one prepared statement per table inside one transaction. Runs of 1,000 and
// 10,000 are repeated and the best time of each kind is reported.

#include "ContactGenerator.h"
#include "FloorWriter.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using pim::_Contact;
using pim::Entity;

namespace {

double mergeAll(LocalDb &db, const QList<_Contact> &contacts)
{
    QElapsedTimer timer;
    timer.start();
    db.beginEdit();
    for (const _Contact &c : contacts) {
        _Contact out;
        bool existed = false;
        db.combineContact(c, out, existed);
    }
    db.endEdit(true);
    return double(timer.nsecsElapsed()) / 1e9;
}

// The same rows written straight: one prepared statement per table, one transaction.
double floorWrite(const QString &path, const QList<_Contact> &contacts)
{
    QElapsedTimer timer;
    timer.start();
    FloorWriter floor(path);
    for (int g = 0; g < 12; ++g)
        floor.group(QStringLiteral("Group %1").arg(g));
    QStringList keys;
    for (int col = 1; col <= 11; ++col)
        keys << QStringLiteral("data%1").arg(col);
    for (const _Contact &c : contacts) {
        const sqlite3_int64 id = floor.contact(QString(), c.fullName);
        for (auto it = c.entities.constBegin(); it != c.entities.constEnd(); ++it) {
            for (const Entity &e : it.value()) {
                QStringList columns;
                for (const QString &key : keys)
                    columns << e.values.value(key).toString();
                floor.data(id, it.key(), QString(), columns);
            }
        }
    }
    floor.commit();
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    std::printf("bench_combine: merging N contacts with LocalDb::combineContact\n");
    std::printf("%8s %14s %14s %8s %14s %8s %14s\n", "N", "floor c/s", "(a) empty c/s", "(a)/fl",
                "(b) again c/s", "(b)/fl", "contacts");
    double perContactA1k = 0;
    double perContactB1k = 0;
    bool ok = true;
    for (const int n : {1000, 10000, 50000}) {
        const QList<_Contact> contacts = benchgen::generate(n);

        // Short runs are repeated and the best kept: a single commit of 1,000 contacts is at the
        // mercy of the disk.
        const int runs = n <= 1000 ? 7 : n <= 10000 ? 3 : 1;
        double floorTime = 1e9;
        double a = 1e9;
        double b = 1e9;
        int stored = 0;
        for (int run = 0; run < runs; ++run) {
            const QString floorPath = dir.filePath(QStringLiteral("floor%1-%2.db").arg(n).arg(run));
            QFile::copy(QStringLiteral(":res/db.db"), floorPath);
            QFile::setPermissions(floorPath, QFile::ReadUser | QFile::WriteUser);
            floorTime = std::min(floorTime, floorWrite(floorPath, contacts));

            LocalDb db(dir.filePath(QStringLiteral("merge%1-%2.db").arg(n).arg(run)),
                       QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
            db.create();
            a = std::min(a, mergeAll(db, contacts));
            b = std::min(b, mergeAll(db, contacts));
            stored = int(db.contacts(0, QString()).size());
            db.removeDB();
            QFile::remove(floorPath);
        }

        std::printf("%8d %14.0f %14.0f %8.2f %14.0f %8.2f %14d\n", n, n / floorTime, n / a, a / floorTime,
                    n / b, b / floorTime, stored);
        if (a / floorTime > 3.0 || b / floorTime > 5.0)
            ok = false;
        if (n == 1000) {
            perContactA1k = a / n;
            perContactB1k = b / n;
        } else if (n == 50000) {
            const double growthA = (a / n) / perContactA1k;
            const double growthB = (b / n) / perContactB1k;
            std::printf("cost per contact at 50,000 against 1,000: (a) %.2fx, (b) %.2fx (target <= 1.5x)\n",
                        growthA, growthB);
            if (growthA > 1.5 || growthB > 1.5)
                ok = false;
        }
        std::fflush(stdout);
    }
    std::printf("targets: (a) within 3x of the floor, (b) within 5x: %s\n", ok ? "met" : "NOT met");
    return 0;
}
