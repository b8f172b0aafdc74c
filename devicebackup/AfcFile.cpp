#include "AfcFile.h"

AfcFile::~AfcFile()
{
    close();
}

int AfcFile::read(char *buf, int len)
{
    if (!client || handle == 0)
        return -1;
    uint32_t count = 0;
    if (afc_file_read(client, handle, buf, uint32_t(len), &count) != AFC_E_SUCCESS)
        return -1;
    return int(count);
}

int AfcFile::write(const char *buf, int len)
{
    if (!client || handle == 0)
        return -1;
    uint32_t count = 0;
    if (afc_file_write(client, handle, buf, uint32_t(len), &count) != AFC_E_SUCCESS)
        return -1;
    return int(count);
}

int AfcFile::lock(afc_lock_op_t op)
{
    if (!client || handle == 0)
        return 1;
    return afc_file_lock(client, handle, op);
}

void AfcFile::close()
{
    if (client && handle != 0) {
        afc_file_close(client, handle);
        handle = 0;
    }
}
