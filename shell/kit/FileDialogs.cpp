#include "FileDialogs.h"

namespace {
std::unique_ptr<FileDialogs> &current()
{
    static std::unique_ptr<FileDialogs> impl = std::make_unique<FileDialogs>();
    return impl;
}
} // namespace

QString FileDialogs::openFileName(QWidget *parent, const QString &caption, const QString &dir,
                                  const QString &filter, QString *selectedFilter,
                                  QFileDialog::Options options)
{
    return QFileDialog::getOpenFileName(parent, caption, dir, filter, selectedFilter, options);
}

QString FileDialogs::saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                  const QString &filter, QString *selectedFilter,
                                  QFileDialog::Options options)
{
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, selectedFilter, options);
}

QString FileDialogs::existingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                                       QFileDialog::Options options)
{
    return QFileDialog::getExistingDirectory(parent, caption, dir, options);
}

QString FileDialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter, QString *selectedFilter,
                                     QFileDialog::Options options)
{
    return instance().openFileName(parent, caption, dir, filter, selectedFilter, options);
}

QString FileDialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter, QString *selectedFilter,
                                     QFileDialog::Options options)
{
    return instance().saveFileName(parent, caption, dir, filter, selectedFilter, options);
}

QString FileDialogs::getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                                          QFileDialog::Options options)
{
    return instance().existingDirectory(parent, caption, dir, options);
}

FileDialogs &FileDialogs::instance()
{
    return *current();
}

std::unique_ptr<FileDialogs> FileDialogs::install(std::unique_ptr<FileDialogs> impl)
{
    std::unique_ptr<FileDialogs> previous = std::move(current());
    current() = impl ? std::move(impl) : std::make_unique<FileDialogs>();
    return previous;
}
