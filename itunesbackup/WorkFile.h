#pragma once

#include <QString>

// A file made only for the time of one operation: removed however the scope is left. A failure to
// remove it is only logged, the caller having a failure of its own to report.
class WorkFile
{
public:
    explicit WorkFile(QString path);
    ~WorkFile();
    WorkFile(const WorkFile &) = delete;
    WorkFile &operator=(const WorkFile &) = delete;

    const QString &path() const { return m_path; }

private:
    QString m_path;
};
