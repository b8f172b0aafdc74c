#pragma once

#include <QFileDialog>
#include <QString>

#include <memory>

// The program's only way to the standard file choosers, so that code running without a user
// (tests) can answer them. The default implementation calls the QFileDialog statics.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;

    virtual QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter, QString *selectedFilter,
                                 QFileDialog::Options options);
    virtual QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter, QString *selectedFilter,
                                 QFileDialog::Options options);
    virtual QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir,
                                      QFileDialog::Options options);

    // Shorthands with QFileDialog's defaults, going through the current implementation.
    static QString getOpenFileName(QWidget *parent = nullptr, const QString &caption = QString(),
                                   const QString &dir = QString(), const QString &filter = QString(),
                                   QString *selectedFilter = nullptr,
                                   QFileDialog::Options options = QFileDialog::Options());
    static QString getSaveFileName(QWidget *parent = nullptr, const QString &caption = QString(),
                                   const QString &dir = QString(), const QString &filter = QString(),
                                   QString *selectedFilter = nullptr,
                                   QFileDialog::Options options = QFileDialog::Options());
    static QString getExistingDirectory(QWidget *parent = nullptr, const QString &caption = QString(),
                                        const QString &dir = QString(),
                                        QFileDialog::Options options = QFileDialog::ShowDirsOnly);

    static FileDialogs &instance();
    // Replaces the implementation (null restores the default) and returns the one it replaces.
    static std::unique_ptr<FileDialogs> install(std::unique_ptr<FileDialogs> impl);
};
