#include "BackupPath.h"

BackupPath::BackupPath(QString relative, QString absolute, QString resolved)
    : m_relative(std::move(relative))
    , m_absolute(std::move(absolute))
    , m_resolved(std::move(resolved))
{}

QString BackupPath::fileName() const
{
    return m_relative.mid(m_relative.lastIndexOf(QLatin1Char('/')) + 1);
}

bool BackupPath::isWithin(const BackupPath &other) const
{
    const QString &base = other.m_resolved;
    return m_resolved == base ||
           m_resolved.startsWith(base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/'));
}
