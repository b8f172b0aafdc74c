#pragma once

#include <QList>
#include <QString>

// A dotted version number, such as the iOS version a backup records, as its numeric parts.
class _IOSVersion
{
public:
    // Every run of decimal digits in `text` becomes one part, whatever separates the runs; a run
    // too large for an int becomes 0.
    explicit _IOSVersion(const QString &text);

    // The first difference of two parts at the same place (this minus other); when all shared
    // parts agree, the difference of the part counts. Not reduced to -1, 0 or 1.
    int compare(const _IOSVersion &other) const;
    // The parts joined with "."; empty without parts.
    QString toString() const;

    QList<int> parts;
};
