// Exporting 10,000 generated contacts (a 6 KB JPEG photo on every second) through the export worker
// under a real progress dialog, from start() to the success report, as vCard and as CSV; against
// the floor of the work any exporter of these contacts must do, measured in the same run (see
// essentialMs). Target: at most 3x each.
//
// Writing the very bytes the export produced with one QFile::write, alone and followed by the
// flush to the disk the worker makes before the file replaces the target, is printed beside it:
// it does no formatting at all, so no writer can come near it.

#include "BenchTargets.h"
#include "ContactGenerator.h"
#include "OutcomeSink.h"
#include "fileio/CSVExport.h"
#include "fileio/ExportToFileThread.h"
#include "fileio/VCardExport.h"
#include "model/EntryKeys.h"
#include "shell/kit/MessageBoxResponder.h"
#include "shell/kit/ProgressForm.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {

constexpr int kContacts = 10000;
constexpr int kRuns = 3;
constexpr int kPhotoBytes = 6 * 1024;

// A JPEG of about 6 KB: a noisy picture whose side is grown until the file reaches the size.
QByteArray photo()
{
    QByteArray best;
    for (int side = 16; side <= 256; side += 2) {
        QImage image(side, side, QImage::Format_RGB32);
        QRandomGenerator noise(side);
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x)
                image.setPixel(x, y, qRgb(x * 255 / side, y * 255 / side, int(noise.bounded(256))));
        }
        QByteArray bytes;
        QBuffer out(&bytes);
        out.open(QIODevice::WriteOnly);
        image.save(&out, "JPEG", 80);
        best = bytes;
        if (bytes.size() >= kPhotoBytes)
            break;
    }
    return best;
}

QList<pim::_Contact> contactsWithPhotos()
{
    QList<pim::_Contact> contacts = benchgen::generate(kContacts);
    const QByteArray jpeg = photo();
    std::printf("photo: %lld bytes of JPEG on every second contact\n", static_cast<long long>(jpeg.size()));
    for (int i = 0; i < contacts.size(); i += 2) {
        pim::Entity e;
        e.values.insert(pim::PhotoKey::Image, jpeg);
        contacts[i].entities[pim::ENTITY_PHOTO] << e;
    }
    return contacts;
}

// Milliseconds from start() to the success report, or -1 when the export did not succeed.
double exportMs(const QList<pim::_Contact> &contacts, ExportToFileThread::TYPE type, const QString &path)
{
    QElapsedTimer timer;
    double reportedAt = -1;
    MessageBoxResponder::Scope answer([&](const MessageBoxRequest &request) {
        if (request.icon != QMessageBox::Critical && reportedAt < 0)
            reportedAt = double(timer.nsecsElapsed()) / 1e6;
        else
            std::fprintf(stderr, "export failed: %s\n", qPrintable(request.text));
        return int(QMessageBox::Ok);
    });
    ProgressForm progress(QStringLiteral("Exporting"));
    ExportToFileThread worker(contacts, type, path, &progress);
    // A new file, as the floors write one: replacing the last run's would add the freeing of its
    // blocks to our side alone.
    QFile::remove(path);
    timer.start();
    const bool ok = progress.runWorker(worker);
    return ok ? reportedAt : -1;
}

// The same export with no dialog to report to: what the progress reports cost is the difference.
double silentMs(const QList<pim::_Contact> &contacts, ExportToFileThread::TYPE type, const QString &path)
{
    OutcomeSink sink;
    ExportToFileThread worker(contacts, type, path, &sink);
    QFile::remove(path);
    QElapsedTimer timer;
    timer.start();
    worker.start();
    worker.wait();
    return sink.succeeded ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

// The writer alone: every contact's bytes made in memory, nothing written.
double writerMs(const QList<pim::_Contact> &contacts, ExportToFileThread::TYPE type)
{
    std::unique_ptr<AbsExport> writer;
    if (type == ExportToFileThread::TYPE_VCARD)
        writer = std::make_unique<VCardExport>();
    else
        writer = std::make_unique<CSVExport>();
    QElapsedTimer timer;
    timer.start();
    qint64 size = writer->initialize(contacts).size();
    for (const pim::_Contact &c : contacts)
        size += writer->ct2Bytes(c).size();
    size += writer->uninitialize().size();
    return size > 0 ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

// One QFile::write of the bytes into a new file; with `sync` also flushed to the disk.
double floorMs(const QByteArray &bytes, const QString &path, bool sync)
{
    QFile::remove(path);
    QElapsedTimer timer;
    timer.start();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        return -1;
    if (sync)
        ::fsync(file.handle());
    file.close();
    return double(timer.nsecsElapsed()) / 1e6;
}

// The floor of the target: what any exporter of these contacts must do, whatever its format. Every
// text value of every contact is converted to UTF-8 once and, for a vCard, every photo is put into
// Base64 once (the CSV table carries no photos); the bytes are appended into one buffer; then the
// bytes of the file the export made are written with one write and flushed to the disk. What a
// format adds on top (property names and parameters, escapes, quoting, folding, the table's
// columns) is what the target allows three times this for. The buffer is `room`, made and touched
// once before the runs: a writer that goes card by card reuses its memory, so the first touch of
// tens of megabytes of fresh pages is no work it must do.
double essentialMs(const QList<pim::_Contact> &contacts, bool photos, const QByteArray &exported,
                   const QString &path, QByteArray &room)
{
    QByteArray &values = room;
    values.resize(0);
    QElapsedTimer timer;
    timer.start();
    for (const pim::_Contact &c : contacts) {
        values += c.fullName.toUtf8();
        for (const QList<pim::Entity> &entries : c.entities) {
            for (const pim::Entity &e : entries) {
                for (const QVariant &value : e.values) {
                    if (value.typeId() != QMetaType::QByteArray)
                        values += value.toString().toUtf8();
                    else if (photos)
                        values += value.toByteArray().toBase64();
                }
            }
        }
    }
    const double made = double(timer.nsecsElapsed()) / 1e6;
    if (values.isEmpty())
        return -1;
    const double written = floorMs(exported, path, true);
    return written < 0 ? -1 : made + written;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchTargets targets(QStringLiteral("bench_export"));
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QList<pim::_Contact> contacts = contactsWithPhotos();

    struct Format
    {
        const char *name;
        ExportToFileThread::TYPE type;
        const char *file;
    };
    const Format formats[] = {{"vCard", ExportToFileThread::TYPE_VCARD, "out.vcf"},
                              {"CSV", ExportToFileThread::TYPE_CSV, "out.csv"}};
    for (const Format &f : formats) {
        const QString path = dir.filePath(QString::fromLatin1(f.file));
        double ours = 1e18;
        for (int run = 0; run < kRuns; ++run) {
            const double ms = exportMs(contacts, f.type, path);
            if (ms < 0) {
                targets.failed(QStringLiteral("%1 export").arg(QLatin1String(f.name)),
                               QStringLiteral("failed"));
                return targets.finish();
            }
            ours = std::min(ours, ms);
        }
        double silent = 1e18;
        double alone = 1e18;
        for (int run = 0; run < kRuns; ++run) {
            silent = std::min(silent, silentMs(contacts, f.type, path));
            alone = std::min(alone, writerMs(contacts, f.type));
        }
        const QByteArray bytes = readAll(path);
        const QString floorPath = dir.filePath(QStringLiteral("floor"));
        const bool photos = f.type == ExportToFileThread::TYPE_VCARD;
        double plain = 1e18;
        double synced = 1e18;
        double essential = 1e18;
        // The values take less than the file they are written into: no growing inside the runs.
        QByteArray room(bytes.size(), '\0');
        for (int run = 0; run < kRuns; ++run) {
            plain = std::min(plain, floorMs(bytes, floorPath, false));
            synced = std::min(synced, floorMs(bytes, floorPath, true));
            essential = std::min(essential, essentialMs(contacts, photos, bytes, floorPath, room));
        }
        if (plain < 0 || synced < 0 || essential < 0)
            return 1;
        const QString floorName = photos
                                      ? QStringLiteral("UTF-8 and Base64 of its values, one write and flush")
                                      : QStringLiteral("UTF-8 of its values, one write and flush");
        std::printf("%-5s export of %d contacts, %.1f MB: worker %.0f ms; %s %.0f ms (ratio %.2f); "
                    "best of %d; target <= 3\n",
                    f.name, kContacts, double(bytes.size()) / 1e6, ours, qPrintable(floorName), essential,
                    ours / essential, kRuns);
        std::printf(
            "      for information: one write %.0f ms (ratio %.2f), one write and flush to disk %.0f ms "
            "(ratio %.2f)\n",
            plain, ours / plain, synced, ours / synced);
        std::printf("      of which: without the dialog %.0f ms, the writer alone in memory %.0f ms\n",
                    silent, alone);
        std::fflush(stdout);
        targets.atMost(QStringLiteral("%1 export / %2").arg(QLatin1String(f.name), floorName),
                       ours / essential, 3.0);
    }
    return targets.finish();
}
