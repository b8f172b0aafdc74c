#pragma once

#include "shell/kit/FileDialogs.h"

#include <QString>

// Answers the open and save dialogs with a fixed path and filter, and keeps what it was asked.
class ScriptedFileDialogs : public FileDialogs
{
public:
    QString path;
    QString filter;
    QString askedDir;
    QString askedFilters;

    QString openFileName(QWidget *, const QString &, const QString &dir, const QString &filters,
                         QString *selectedFilter, QFileDialog::Options) override
    {
        return answer(dir, filters, selectedFilter);
    }
    QString saveFileName(QWidget *, const QString &, const QString &dir, const QString &filters,
                         QString *selectedFilter, QFileDialog::Options) override
    {
        return answer(dir, filters, selectedFilter);
    }

private:
    QString answer(const QString &dir, const QString &filters, QString *selectedFilter)
    {
        askedDir = dir;
        askedFilters = filters;
        if (selectedFilter)
            *selectedFilter = filter;
        return path;
    }
};
