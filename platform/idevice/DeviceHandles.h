#pragma once

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/property_list_service.h>
#include <plist/plist.h>

#include <cstdlib>
#include <memory>

// Owning handles for the objects of the device library (libimobiledevice) and of libplist, so that
// every early return and every exception releases what was opened, in the right order.

struct PlistNodeDeleter
{
    void operator()(plist_t node) const { plist_free(node); }
};
// A libplist node with its whole subtree.
using UniquePlist = std::unique_ptr<void, PlistNodeDeleter>;

struct MallocDeleter
{
    void operator()(void *p) const { std::free(p); }
};
// A text that libplist or the device library allocated with malloc.
using UniqueCString = std::unique_ptr<char, MallocDeleter>;

struct LockdownClientDeleter
{
    void operator()(lockdownd_client_t client) const { lockdownd_client_free(client); }
};
using UniqueLockdownClient = std::unique_ptr<lockdownd_client_private, LockdownClientDeleter>;

struct ServiceDescriptorDeleter
{
    void operator()(lockdownd_service_descriptor_t service) const
    {
        lockdownd_service_descriptor_free(service);
    }
};
using UniqueServiceDescriptor = std::unique_ptr<lockdownd_service_descriptor, ServiceDescriptorDeleter>;

// The device handle is shared: a service connection keeps using the handle it was opened on (for TLS
// and for the device's identifier), so every client made from it holds a reference until it is freed.
using SharedIDevice = std::shared_ptr<idevice_private>;

// Takes over a handle returned by idevice_new_with_options; null stays null.
inline SharedIDevice adoptIDevice(idevice_t device)
{
    if (!device)
        return {};
    return SharedIDevice(device, [](idevice_t d) { idevice_free(d); });
}
