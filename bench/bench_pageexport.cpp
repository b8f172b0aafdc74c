// Exporting 1,000 and 10,000 generated contacts (a JPEG photo of about 3 KB on every second) to a PDF file of
// cards and to an HTML page with its pictures. Target: the time per contact at 10,000 is at most
// 1.5x the time per contact at 1,000 (the export is linear in the count), and writing the PDF of
// 10,000 takes no more memory at its peak than 1.5x that of 1,000 plus 16 MB.

#include "BenchTargets.h"
#include "ContactGenerator.h"
#include "OutcomeSink.h"
#include "fileio/ContactsPrinter.h"
#include "fileio/ExportToFileThread.h"
#include "model/EntryKeys.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kSmall = 1000;
constexpr int kLarge = 10000;
constexpr int kRuns = 3;

QByteArray photo()
{
    QImage image(96, 96, QImage::Format_RGB32);
    QRandomGenerator noise(96);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 2, y * 2, int(noise.bounded(256))));
    }
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    image.save(&out, "JPEG", 80);
    return bytes;
}

QList<pim::_Contact> contactsWithPhotos(int n, const QByteArray &jpeg)
{
    QList<pim::_Contact> contacts = benchgen::generate(n);
    for (int i = 0; i < contacts.size(); i += 2) {
        pim::Entity e;
        e.values.insert(pim::PhotoKey::Image, jpeg);
        contacts[i].entities[pim::ENTITY_PHOTO] << e;
    }
    return contacts;
}

// The process's peak resident memory so far, in MB.
double peakMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

// Clears the peak so that the next reading shows what came after.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

double pdfMs(const QList<pim::_Contact> &contacts, const QString &path)
{
    QFile::remove(path);
    QElapsedTimer timer;
    timer.start();
    ContactsPrinter printer;
    if (printer.printToPDF(contacts, path) != contacts.size())
        return -1;
    return double(timer.nsecsElapsed()) / 1e6;
}

double htmlMs(const QList<pim::_Contact> &contacts, const QString &path)
{
    OutcomeSink sink;
    ExportToFileThread worker(contacts, ExportToFileThread::TYPE_HTML, path, &sink);
    QElapsedTimer timer;
    timer.start();
    worker.start();
    worker.wait();
    if (!sink.succeeded)
        std::fprintf(stderr, "HTML export failed: %s\n", qPrintable(sink.error));
    return sink.succeeded ? double(timer.nsecsElapsed()) / 1e6 : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QByteArray jpeg = photo();
    const QList<pim::_Contact> small = contactsWithPhotos(kSmall, jpeg);
    const QList<pim::_Contact> large = contactsWithPhotos(kLarge, jpeg);
    std::printf("photo: %lld bytes of JPEG on every second contact\n", static_cast<long long>(jpeg.size()));

    BenchTargets targets(QStringLiteral("bench_pageexport"));
    const auto report = [&](const char *what, double smallMs, double largeMs) {
        const double ratio = (largeMs / kLarge) / (smallMs / kSmall);
        std::printf("%-4s %d contacts %.0f ms (%.3f ms each), %d contacts %.0f ms (%.3f ms each)\n", what,
                    kSmall, smallMs, smallMs / kSmall, kLarge, largeMs, largeMs / kLarge);
        std::fflush(stdout);
        targets.atMost(
            QStringLiteral("%1 time per contact, %2 / %3").arg(QLatin1String(what)).arg(kLarge).arg(kSmall),
            ratio, 1.5);
    };

    const QString pdf = dir.filePath(QStringLiteral("cards.pdf"));
    double pdfSmall = 1e18;
    double pdfLarge = 1e18;
    double peakSmall = 0;
    double peakLarge = 0;
    for (int run = 0; run < kRuns; ++run) {
        resetPeak();
        const double before = peakMb();
        const double s = pdfMs(small, pdf);
        peakSmall = std::max(peakSmall, peakMb() - before);
        resetPeak();
        const double before2 = peakMb();
        const double l = pdfMs(large, pdf);
        peakLarge = std::max(peakLarge, peakMb() - before2);
        if (s < 0 || l < 0) {
            targets.failed(QStringLiteral("PDF cards"), QStringLiteral("the PDF was not written"));
            return targets.finish();
        }
        pdfSmall = std::min(pdfSmall, s);
        pdfLarge = std::min(pdfLarge, l);
    }
    report("PDF", pdfSmall, pdfLarge);
    std::printf("PDF  memory at its peak above the start: %.1f MB for %d, %.1f MB for %d\n", peakSmall,
                kSmall, peakLarge, kLarge);
    // Memory must not grow with the count: the large run may take half as much again as the small
    // one, plus room for the allocator's own slack.
    targets.atMost(QStringLiteral("PDF peak memory at %1 (MB; 1.5 x at %2 + 16)").arg(kLarge).arg(kSmall),
                   peakLarge, 1.5 * peakSmall + 16, QStringLiteral(" MB"));

    double htmlSmall = 1e18;
    double htmlLarge = 1e18;
    for (int run = 0; run < kRuns; ++run) {
        const double s = htmlMs(small, dir.filePath(QStringLiteral("small.html")));
        const double l = htmlMs(large, dir.filePath(QStringLiteral("large.html")));
        if (s < 0 || l < 0) {
            targets.failed(QStringLiteral("HTML page"), QStringLiteral("the page was not written"));
            return targets.finish();
        }
        htmlSmall = std::min(htmlSmall, s);
        htmlLarge = std::min(htmlLarge, l);
    }
    report("HTML", htmlSmall, htmlLarge);
    return targets.finish();
}
