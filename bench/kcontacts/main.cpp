// bench_vcard_kcontacts <file> <runs>: prints the best time in milliseconds of parsing the file with
// KContacts::VCardConverter::parseVCards, file reading included.
#include <KContacts/VCardConverter>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int runs = atoi(argv[2]);
    qint64 best = -1;
    for (int i = 0; i < runs; ++i) {
        // Reading the file is timed too, as the other reader's time includes it.
        QElapsedTimer timer;
        timer.start();
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return 1;
        const QByteArray bytes = f.readAll();
        KContacts::VCardConverter converter;
        const KContacts::Addressee::List list = converter.parseVCards(bytes);
        const qint64 ms = timer.elapsed();
        if (list.isEmpty())
            return 1;
        best = best < 0 ? ms : qMin(best, ms);
    }
    std::printf("%lld\n", best);
    return 0;
}
