#pragma once

// Checks shared by the tests of every merge rule: what any caller of AbsContactCombineRule may rely
// on, whatever the rule's own key lists are.

#include "model/AbsContactCombineRule.h"

#include <QSet>
#include <QtTest>

namespace tarnwick::test {

using RuleLists = QList<QStringList>;

// The four lists of one type, asking validFields with `single` preset to `preset`.
inline RuleLists ruleLists(AbsContactCombineRule &rule, int type, bool preset, bool *single)
{
    bool flag = preset;
    RuleLists lists{rule.checkEmptyFields(type), rule.checkEqualFieldsMin(type),
                    rule.checkEqualFieldsFull(type), rule.validFields(type, flag)};
    *single = flag;
    return lists;
}

// Verifies the contract for one type code; call from a test slot and return when it failed.
inline void verifyRuleContract(AbsContactCombineRule &rule, int type)
{
    bool singleFromFalse = false;
    bool singleFromTrue = true;
    const RuleLists first = ruleLists(rule, type, false, &singleFromFalse);
    const RuleLists second = ruleLists(rule, type, true, &singleFromTrue);

    // validFields always writes the flag, and the lists do not depend on call order or count.
    QCOMPARE(singleFromFalse, singleFromTrue);
    QCOMPARE(first, second);

    for (const QStringList &keys : first) {
        QCOMPARE(QSet<QString>(keys.begin(), keys.end()).size(), keys.size());
        for (const QString &key : keys) {
            bool ok = false;
            const int n = key.mid(4).toInt(&ok);
            QVERIFY2(key.startsWith(QLatin1String("data")) && ok && n >= 1 && n <= 15, qPrintable(key));
        }
    }

    if (type < 1 || type > 13) {
        for (const QStringList &keys : first)
            QVERIFY(keys.isEmpty());
        QCOMPARE(singleFromTrue, false);
    }

    // Names are handled by the database itself and never by a rule's lists.
    if (type == 1) {
        for (const QStringList &keys : first)
            QVERIFY(keys.isEmpty());
    }

    // A returned list belongs to the caller: changing it leaves the next answer as it was.
    QStringList mine = rule.checkEqualFieldsFull(type);
    mine << QStringLiteral("data99");
    QCOMPARE(rule.checkEqualFieldsFull(type), first.at(2));
}

// Columns of a table that gives a rule's four lists and single flag for each type code.
inline void addRuleListColumns()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("empty");
    QTest::addColumn<QStringList>("min");
    QTest::addColumn<QStringList>("full");
    QTest::addColumn<QStringList>("valid");
    QTest::addColumn<bool>("single");
}

// Verifies the current row of such a table; call from a test slot and return when it failed.
inline void verifyRuleLists(AbsContactCombineRule &rule)
{
    QFETCH(int, type);
    QFETCH(QStringList, empty);
    QFETCH(QStringList, min);
    QFETCH(QStringList, full);
    QFETCH(QStringList, valid);
    QFETCH(bool, single);

    QCOMPARE(rule.checkEmptyFields(type), empty);
    QCOMPARE(rule.checkEqualFieldsMin(type), min);
    QCOMPARE(rule.checkEqualFieldsFull(type), full);
    for (bool preset : {false, true}) {
        bool flag = preset;
        QCOMPARE(rule.validFields(type, flag), valid);
        QCOMPARE(flag, single);
    }
}

} // namespace tarnwick::test
