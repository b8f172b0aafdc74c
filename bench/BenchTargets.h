#pragma once

// The targets one benchmark program checks. Every target is a ratio of two figures measured in the
// same run (ours against a floor, the large case against the small one), never an absolute time, so
// that a busy or slow machine moves both sides alike.
//
// finish() prints the program's targets as a table, appends them to the summary file that
// run-benchmarks names in TARNWICK_BENCH_SUMMARY (one tab-separated line each: benchmark, figure,
// value, target, met or MISSED), and gives the program's exit status: 0 only when every target was
// met. A measurement that could not be taken is recorded as a missed target, never left out.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

class BenchTargets
{
public:
    explicit BenchTargets(QString bench)
        : m_bench(std::move(bench))
    {}

    // `value` must not exceed `limit`; both are ratios, shown with `unit` ("x" by default).
    bool atMost(const QString &figure, double value, double limit, const QString &unit = QStringLiteral("x"))
    {
        const bool met = value <= limit;
        add(figure, number(value, unit), QStringLiteral("<= ") + number(limit, unit), met);
        return met;
    }

    // `value` must reach `limit` at least.
    bool atLeast(const QString &figure, double value, double limit, const QString &unit = QStringLiteral("x"))
    {
        const bool met = value >= limit;
        add(figure, number(value, unit), QStringLiteral(">= ") + number(limit, unit), met);
        return met;
    }

    // A target that could not be measured (the run failed, or gave a wrong result): missed.
    void failed(const QString &figure, const QString &why)
    {
        add(figure, why.simplified(), QStringLiteral("measured"), false);
    }

    bool allMet() const
    {
        return std::all_of(m_rows.cbegin(), m_rows.cend(), [](const Row &r) { return r.met; });
    }

    // Prints the table, hands the rows to run-benchmarks and returns the exit status.
    int finish()
    {
        int figureWidth = 6;
        int valueWidth = 5;
        for (const Row &r : std::as_const(m_rows)) {
            figureWidth = std::max(figureWidth, int(r.figure.size()));
            valueWidth = std::max(valueWidth, int(r.value.size()));
        }
        std::printf("\n%s targets:\n", qPrintable(m_bench));
        for (const Row &r : std::as_const(m_rows))
            std::printf("  %-*s  %*s  %-12s %s\n", figureWidth, qPrintable(r.figure), valueWidth,
                        qPrintable(r.value), qPrintable(r.target), r.met ? "met" : "MISSED");
        std::fflush(stdout);

        const QByteArray summary = qgetenv("TARNWICK_BENCH_SUMMARY");
        if (!summary.isEmpty()) {
            QFile file(QString::fromLocal8Bit(summary));
            if (file.open(QIODevice::Append | QIODevice::Text)) {
                for (const Row &r : std::as_const(m_rows))
                    file.write(QStringList{m_bench, r.figure, r.value, r.target,
                                           r.met ? QStringLiteral("met") : QStringLiteral("MISSED")}
                                   .join(QLatin1Char('\t'))
                                   .toUtf8() +
                               '\n');
            } else {
                std::fprintf(stderr, "%s: cannot write the summary file %s\n", qPrintable(m_bench),
                             summary.constData());
                return 1;
            }
        }
        return allMet() ? 0 : 1;
    }

private:
    struct Row
    {
        QString figure;
        QString value;
        QString target;
        bool met;
    };

    static QString number(double value, const QString &unit) { return QString::number(value, 'f', 2) + unit; }

    void add(const QString &figure, const QString &value, const QString &target, bool met)
    {
        // A tab or line break would split the summary line, a semicolon the runner's list of cells.
        const auto clean = [](QString s) {
            return s.replace(QLatin1Char('\t'), QLatin1Char(' '))
                .replace(QLatin1Char(';'), QLatin1Char(','))
                .simplified();
        };
        m_rows.append({clean(figure), clean(value), clean(target), met});
    }

    QString m_bench;
    QList<Row> m_rows;
};
