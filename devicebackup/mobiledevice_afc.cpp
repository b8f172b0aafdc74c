#include "mobiledevice_afc.h"

#include "Logging.h"

#include <QBuffer>
#include <QDir>

namespace {

// A null-terminated list of texts from the file service, freed with it.
struct AfcList
{
    ~AfcList() { afc_dictionary_free(items); }
    char **items = nullptr;
};

} // namespace

mobiledevice_afc::mobiledevice_afc(QString udid)
    : iDevice(std::move(udid))
{}

mobiledevice_afc::~mobiledevice_afc()
{
    closeService();
}

bool mobiledevice_afc::startService(QString)
{
    if (!open())
        return false;
    lockdownd_service_descriptor_t raw = nullptr;
    if (lockdownd_start_service(lockdownClientHandle(), AFC_SERVICE_NAME, &raw) != LOCKDOWN_E_SUCCESS)
        return false;
    const UniqueServiceDescriptor descriptor(raw);
    return afc_client_new(deviceHandle(), descriptor.get(), &afcClient) == AFC_E_SUCCESS;
}

void mobiledevice_afc::closeService()
{
    if (afcClient) {
        afc_client_free(afcClient);
        afcClient = nullptr;
    }
}

_AfcFileInfo mobiledevice_afc::fileInfo(QString path)
{
    if (!afcClient)
        return _AfcFileInfo();
    AfcList info;
    if (afc_get_file_info(afcClient, path.toUtf8().constData(), &info.items) != AFC_E_SUCCESS || !info.items)
        return _AfcFileInfo();
    _AfcFileInfo record(path);
    for (char **pair = info.items; pair[0] && pair[1]; pair += 2) {
        const QByteArray key(pair[0]);
        const QByteArray value(pair[1]);
        if (key == "st_ifmt") {
            record.type = QString::fromLatin1(value);
        } else if (key == "st_size") {
            record.size = value.toLongLong();
        } else if (key == "st_mtime") {
            // Integer division: nanoseconds since 1970 exceed a double's exact range, and
            // rounding through one could land a millisecond early.
            record.mtime = QDateTime::fromMSecsSinceEpoch(value.toLongLong() / 1000000);
        }
    }
    return record;
}

QStringList mobiledevice_afc::ls(QString path, bool skipDots)
{
    QStringList names;
    if (!afcClient)
        return names;
    AfcList list;
    if (afc_read_directory(afcClient, path.toUtf8().constData(), &list.items) != AFC_E_SUCCESS || !list.items)
        return names;
    for (char **name = list.items; *name; ++name) {
        if (skipDots && (qstrcmp(*name, ".") == 0 || qstrcmp(*name, "..") == 0))
            continue;
        names << QString::fromUtf8(*name);
    }
    return names;
}

QList<_AfcFileInfo> mobiledevice_afc::ls_finfo(QString path)
{
    QList<_AfcFileInfo> infos;
    for (const QString &name : ls(path, true)) {
        const _AfcFileInfo info = fileInfo(QDir(path).absoluteFilePath(name));
        if (info.isValid())
            infos << info;
    }
    return infos;
}

bool mobiledevice_afc::mkdir(QString path)
{
    return afcClient && afc_make_directory(afcClient, path.toUtf8().constData()) == AFC_E_SUCCESS;
}

bool mobiledevice_afc::del(QString path)
{
    return afcClient && afc_remove_path_and_contents(afcClient, path.toUtf8().constData()) == AFC_E_SUCCESS;
}

bool mobiledevice_afc::rename(QString from, QString to)
{
    return afcClient &&
           afc_rename_path(afcClient, from.toUtf8().constData(), to.toUtf8().constData()) == AFC_E_SUCCESS;
}

bool mobiledevice_afc::openFile(QString path, afc_file_mode_t mode, AfcFile &file)
{
    if (!afcClient)
        return false;
    if (afc_file_open(afcClient, path.toUtf8().constData(), mode, &file.handle) != AFC_E_SUCCESS)
        return false;
    file.client = afcClient;
    return true;
}

bool mobiledevice_afc::readFile(QString path, AfcFile &file)
{
    return openFile(path, AFC_FOPEN_RDONLY, file);
}

bool mobiledevice_afc::writeFile(QString path, AfcFile &file)
{
    return openFile(path, AFC_FOPEN_WRONLY, file);
}

bool mobiledevice_afc::readWriteFile(QString path, AfcFile &file)
{
    return openFile(path, AFC_FOPEN_RW, file);
}

bool mobiledevice_afc::readFileContent(QString path, QIODevice &out)
{
    AfcFile file;
    if (!readFile(path, file))
        return false;
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    for (;;) {
        const int n = file.read(buffer.data(), chunkSize);
        if (n == 0)
            return true;
        if (n < 0) {
            qCWarning(lcDeviceBackup) << "reading" << path << "from the phone failed";
            return false;
        }
        if (out.write(buffer.constData(), n) != n) {
            qCWarning(lcDeviceBackup) << "writing a copy of" << path << "failed:" << out.errorString();
            return false;
        }
    }
}

QByteArray mobiledevice_afc::readFileContent(QString path, bool *ok)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const bool copied = readFileContent(path, buffer);
    if (ok)
        *ok = copied;
    return buffer.data();
}

bool mobiledevice_afc::writeFileContent(QString path, QIODevice &in)
{
    AfcFile file;
    if (!writeFile(path, file))
        return false;
    QByteArray buffer(chunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), chunkSize);
        if (n == 0)
            return true;
        if (n < 0)
            return false;
        // A chunk goes out whole or the copy stops: a hole in the middle of a file is worse than a
        // file that is reported short.
        qint64 done = 0;
        while (done < n) {
            const int written = file.write(buffer.constData() + done, int(n - done));
            if (written <= 0) {
                qCWarning(lcDeviceBackup) << "writing" << path << "to the phone failed";
                return false;
            }
            done += written;
        }
    }
}

bool mobiledevice_afc::writeFileContent(QString path, QByteArray data)
{
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return writeFileContent(path, buffer);
}
