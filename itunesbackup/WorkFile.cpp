#include "WorkFile.h"

#include "Logging.h"

#include <QFile>

WorkFile::WorkFile(QString path)
    : m_path(std::move(path))
{}

WorkFile::~WorkFile()
{
    QFile file(m_path);
    if (file.exists() && !file.remove())
        qCWarning(lcITunesBackup) << "cannot remove" << m_path << file.errorString();
}
