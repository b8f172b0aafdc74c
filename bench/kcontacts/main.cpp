// bench_vcard_kcontacts <file> <runs>: prints the best time in milliseconds of parsing the file with
// KContacts::VCardConverter::parseVCards.
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
    QFile f(QString::fromLocal8Bit(argv[1]));
    if (!f.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = f.readAll();
    const int runs = atoi(argv[2]);
    qint64 best = -1;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
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
