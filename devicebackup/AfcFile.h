#pragma once

#include <libimobiledevice/afc.h>

#include <cstdint>

// One open file of the phone's file service. Closed when destroyed; never copied. The client
// belongs to the mobiledevice_afc that opened the file, which must outlive it.
class AfcFile
{
public:
    AfcFile() = default;
    ~AfcFile();
    AfcFile(const AfcFile &) = delete;
    AfcFile &operator=(const AfcFile &) = delete;

    // Bytes read (0 at the end) or -1.
    int read(char *buf, int len);
    // Bytes written or -1.
    int write(const char *buf, int len);
    // The library's code (0 on success); 1 for a file that is not open.
    int lock(afc_lock_op_t op);
    void close();

    afc_client_t client = nullptr;
    uint64_t handle = 0;
};
