#pragma once

#include "model/ProgressSink.h"

#include <QString>

// A progress sink for benchmarks: drops the progress and keeps only how the worker ended.
class OutcomeSink : public ProgressSink
{
public:
    bool invokeUpdateProgress(QString, int, QString) override { return true; }
    bool invokeSucceed(QString) override
    {
        succeeded = true;
        return true;
    }
    bool invokeErrorOccurred(QString err) override
    {
        error = err;
        return true;
    }
    bool invokeTipsWait(QString) override { return true; }
    bool invokeSetCancelBtnText(const QString &) override { return true; }

    bool succeeded = false;
    QString error;
};
