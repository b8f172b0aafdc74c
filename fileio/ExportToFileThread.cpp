#include "ExportToFileThread.h"

#include "CSVExport.h"
#include "Logging.h"
#include "StagedExportFolder.h"
#include "TxtExport.h"
#include "VCardExport.h"

#include "model/ProgressSink.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

class Canceled
{};

// Contacts' bytes go to the file in pieces of about this size: one write per contact would be a
// system call every few kilobytes (a card with a photo, a row) and cost as much as the copying.
constexpr qsizetype kWritePiece = 1 << 20;

void writeChecked(QSaveFile &file, const QByteArray &bytes)
{
    if (file.write(bytes) != bytes.size())
        throw std::runtime_error(file.errorString().toUtf8().toStdString());
}

} // namespace

ExportToFileThread::ExportToFileThread(const QList<pim::_Contact> &contacts, TYPE type, QString path,
                                       ProgressSink *progress, QObject *parent)
    : QThread(parent)
    , contacts(contacts)
    , type(type)
    , path(std::move(path))
    , progress(progress)
    , outputFactory([](const QString &p) { return std::make_unique<QSaveFile>(p); })
{}

ExportToFileThread::~ExportToFileThread() = default;

void ExportToFileThread::setHtmlFormatters(const HtmlExport::Formatters &formatters)
{
    htmlFormatters = formatters;
}

void ExportToFileThread::setOutputFactory(OutputFactory factory)
{
    outputFactory = std::move(factory);
}

QString ExportToFileThread::outputPath() const
{
    if (type != TYPE_HTML)
        return path;
    return QDir(path).absoluteFilePath(QFileInfo(path).fileName());
}

int ExportToFileThread::percent(int number, int total)
{
    return total > 0 ? int(double(number) / double(total) * 100.0) : 100;
}

void ExportToFileThread::run()
{
    std::unique_ptr<AbsExport> writer;
    QIODevice::OpenMode mode = QIODevice::WriteOnly;
    switch (type) {
    case TYPE_VCARD:
        writer = std::make_unique<VCardExport>();
        break;
    case TYPE_CSV:
        writer = std::make_unique<CSVExport>();
        break;
    case TYPE_TXT:
        writer = std::make_unique<TxtExport>();
        mode |= QIODevice::Text;
        break;
    case TYPE_HTML:
        break;
    }
    // The page and its pictures are built beside the chosen path and replace what stands there
    // only once complete.
    std::unique_ptr<StagedExportFolder> staged;
    if (type == TYPE_HTML) {
        try {
            staged = std::make_unique<StagedExportFolder>(path);
        } catch (const std::exception &e) {
            qCWarning(lcFileIo) << "export to" << path << "failed:" << e.what();
            progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
            return;
        }
        writer = std::make_unique<HtmlExport>(QDir(staged->path()), htmlFormatters);
    }
    if (!writer) {
        progress->invokeErrorOccurred(QString());
        return;
    }

    const QString pageName = QFileInfo(path).fileName();
    const std::unique_ptr<QSaveFile> file =
        outputFactory(staged ? QDir(staged->path()).filePath(pageName) : outputPath());
    try {
        if (!file->open(mode))
            throw std::runtime_error(file->errorString().toUtf8().toStdString());
        writeAll(*writer, *file);
        // The success report goes out only once every byte is on disk under its final name. The
        // buffer is flushed here, not left to commit(): commit() lets a short or failed final write
        // pass and would put a truncated file in place.
        if (!file->flush()) {
            // A short final write carries no reason of its own ("Unknown error"): name the file.
            throw std::runtime_error(tr("IDS_FILE_NOT_WRITTEN_IN_FULL_%1_%2")
                                         .arg(QDir::toNativeSeparators(outputPath()), file->errorString())
                                         .toUtf8()
                                         .toStdString());
        }
        if (!file->commit())
            throw std::runtime_error(file->errorString().toUtf8().toStdString());
        if (staged)
            staged->commit(pageName);
        progress->invokeSucceed(tr("IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE").arg(contacts.size()));
    } catch (const Canceled &) {
        file->cancelWriting();
    } catch (const std::exception &e) {
        qCWarning(lcFileIo) << "export to" << outputPath() << "failed:" << e.what();
        file->cancelWriting();
        progress->invokeErrorOccurred(QString::fromUtf8(e.what()));
    }
}

void ExportToFileThread::writeAll(AbsExport &writer, QSaveFile &file)
{
    const int count = int(contacts.size());
    const QByteArray header = writer.initialize(contacts);
    if (!header.isEmpty())
        writeChecked(file, header);
    int n = 0;
    int shown = -1;
    QByteArray piece;
    piece.reserve(kWritePiece + (64 << 10));
    for (const pim::_Contact &contact : std::as_const(contacts)) {
        if (progress->canceled)
            throw Canceled();
        ++n;
        // The bar moves in whole percents: on a long list a report for every contact would cost
        // the dialog more than the writing itself and show nothing more.
        const int pct = percent(n, count);
        if (pct != shown) {
            shown = pct;
            progress->invokeUpdateProgress(tr("IDS_EXPORTING_CONTACTS_TO_FILE"), pct,
                                           tr("Contacts:%1/%2").arg(n).arg(count));
        }
        piece += writer.ct2Bytes(contact);
        if (piece.size() >= kWritePiece) {
            writeChecked(file, piece);
            piece.resize(0);
        }
    }
    if (!piece.isEmpty())
        writeChecked(file, piece);
    const QByteArray footer = writer.uninitialize();
    if (!footer.isEmpty())
        writeChecked(file, footer);
}
