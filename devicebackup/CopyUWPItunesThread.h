#pragma once

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QString>
#include <QThread>

class ProgressSink;

// Copies one folder tree of iTunes data into "ferrovantis_itunes" under the home folder, reporting
// each file to the progress dialog, and leaves the marker file "__CopyUWPItunesThread" in the copy
// once everything was copied, so that a later run can see the copy is complete. Files already in
// the copy are kept. Links to files are copied as files; a link to a folder is followed unless it
// leads back into the tree being copied (or above it); anything that is neither a file nor a folder
// stops the copy with an error, so that an incomplete copy never gets its marker.
class CopyUWPItunesThread : public QThread
{
    Q_OBJECT
public:
    CopyUWPItunesThread(QString srcDir, bool cleanFirst, ProgressSink &progress, QObject *parent = nullptr);
    ~CopyUWPItunesThread() override;

    // Where the copy of `srcDir` lives.
    static QDir uwpItunesSaveDir(QString srcDir);
    // Whether an earlier copy into `saveDir` completed.
    static bool isUWPItunesCopied(QDir saveDir);

    bool copyFiles(const QFileInfo &src, QDir dest, QString &error);

protected:
    void run() override;

private:
    static QDir copyRoot();
    // The source with trailing separators dropped.
    static QString cleanSource(const QString &srcDir);

    QString srcDir;
    bool cleanFirst;
    ProgressSink &progress;
    // Canonical paths of the folders being copied, from the source down to the current one.
    QSet<QString> m_walking;
    QString m_sourceRoot;
};
