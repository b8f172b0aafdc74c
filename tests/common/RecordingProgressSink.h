#pragma once

#include "model/ProgressSink.h"

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>

// A progress sink for worker tests: keeps every report, in order, as one line each
// ("progress|status|value|text", "succeed|text", "error|text", "tips|text", "cancelText|text").
// Tests set `canceled` themselves to play the user's Cancel.
class RecordingProgressSink : public ProgressSink
{
public:
    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override
    {
        return record(QStringLiteral("progress|%1|%2|%3").arg(status).arg(curProgress).arg(progressText));
    }
    bool invokeSucceed(QString tipsStr) override { return record(QStringLiteral("succeed|") + tipsStr); }
    bool invokeErrorOccurred(QString err) override { return record(QStringLiteral("error|") + err); }
    bool invokeTipsWait(QString info) override { return record(QStringLiteral("tips|") + info); }
    bool invokeSetCancelBtnText(const QString &text) override
    {
        return record(QStringLiteral("cancelText|") + text);
    }

    QStringList reports() const
    {
        QMutexLocker lock(&m_mutex);
        return m_reports;
    }
    // The text of the last success or error report, with its kind ("succeed|…", "error|…"); empty
    // while the worker has not ended.
    QString outcome() const
    {
        QMutexLocker lock(&m_mutex);
        for (auto it = m_reports.crbegin(); it != m_reports.crend(); ++it)
            if (it->startsWith(QLatin1String("succeed|")) || it->startsWith(QLatin1String("error|")))
                return *it;
        return {};
    }

private:
    bool record(const QString &line)
    {
        QMutexLocker lock(&m_mutex);
        m_reports << line;
        return true;
    }

    mutable QMutex m_mutex;
    QStringList m_reports;
};
