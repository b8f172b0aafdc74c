#pragma once

#include "HtmlExport.h"

#include "model/Contact.h"

#include <QList>
#include <QSaveFile>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

class AbsExport;
class ProgressSink;

// Writes a list of contacts into one file (vCard, CSV, text, or an HTML page inside a folder named
// like the chosen file), reporting through the progress sink. The bytes go to a temporary file
// beside the target that replaces it only once everything was written and flushed: a cancelled or
// failed export leaves no partial file and never damages one that was already there.
class ExportToFileThread : public QThread
{
    Q_OBJECT

public:
    enum TYPE { TYPE_VCARD = 1, TYPE_CSV = 2, TYPE_TXT = 3, TYPE_HTML = 4 };

    // Makes the output for the path; the default is a QSaveFile on it. Tests hand in a device that
    // fails on demand.
    using OutputFactory = std::function<std::unique_ptr<QSaveFile>(const QString &path)>;

    ExportToFileThread(const QList<pim::_Contact> &contacts, TYPE type, QString path, ProgressSink *progress,
                       QObject *parent = nullptr);
    ~ExportToFileThread() override;

    // The contact pane's formatters for the HTML page.
    void setHtmlFormatters(const HtmlExport::Formatters &formatters);
    void setOutputFactory(OutputFactory factory);

    // The file actually written: for TYPE_HTML the page inside the folder, else the chosen path.
    QString outputPath() const;

    // The percentage shown for contact `number` of `total`.
    static int percent(int number, int total);

protected:
    void run() override;

private:
    void writeAll(AbsExport &writer, QSaveFile &file);

    QList<pim::_Contact> contacts;
    TYPE type;
    QString path;
    ProgressSink *progress;
    HtmlExport::Formatters htmlFormatters;
    OutputFactory outputFactory;
};
