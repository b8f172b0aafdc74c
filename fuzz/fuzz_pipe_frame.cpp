// Bytes arriving on the response pipe of the request channel, read frame by frame until the channel
// breaks or runs dry.
#include "devicebackup/mobiledevice_pipe.h"

#include <cstddef>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A pipe holds 64 KiB; more would block the writer, which is this same thread.
    if (size > 60000)
        size = 60000;
    mobiledevice_pipe pipe(1);
    if (!pipe.create())
        return 0;
    if (size > 0 && ::write(pipe.peerWriteFd.toInt(), data, size) != ssize_t(size))
        return 0;
    for (int i = 0; i < 64 && !pipe.isBroken(); ++i)
        (void)pipe.readReponse();
    return 0;
}
