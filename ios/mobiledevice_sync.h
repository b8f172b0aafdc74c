#pragma once

#include "PlistCFType.h"
#include "_mobiledevice_sync_ctx.h"
#include "mobiledevice_sync_client.h"

#include <QString>

// The steps of one session with an iPhone's contact sync service. Each function turns a failing
// call into a std::runtime_error whose text names the call and its return code; while the record
// has no client every function but the start does nothing (or gives its empty result).
//
// Device to computer: start, start_recv_all_records, then record_next until it returns false.
// Computer to device: start, start_send_to_device, send once per batch, send_finish.

// Opens the device, starts the sync service under the label "FERROVANTIS" into `client.client`
// (which stays set once the service started, even when the session start then fails) and starts a
// session for ctx.dataClass with the anchors of `ctx` and data-class version 106.
void mobiledevice_sync_start_throw(QString udid, const _mobiledevice_sync_ctx &ctx,
                                   mobiledevice_sync_client &client);
// Asks the device for every record of the session's data class.
void mobiledevice_sync_start_recv_all_records_throw(mobiledevice_sync_client &client);
// Tells the device that the computer will now send changes.
void mobiledevice_sync_start_send_to_device_throw(mobiledevice_sync_client &client);
// Receives one batch into `entities` (an owning handle) and acknowledges it; the device's actions go
// to *actions when `actions` is not null. True while more batches follow; false with the batch the
// device marked last, and at once (touching nothing) without client.
bool mobiledevice_sync_record_next_throw(mobiledevice_sync_client &client, PlistCFType &entities,
                                         PlistCFType *actions);
// Sends one batch (marked last when `isLast`, with `actions` when that handle has a node) and returns
// the device's identifier remapping (an owning handle; over no node when the device sent none).
// Without client: a handle without node.
PlistCFType mobiledevice_sync_send_throw(mobiledevice_sync_client &client, PlistCFType entities, bool isLast,
                                         PlistCFType actions);
// Ends a sending session; a device that could not commit the changes makes it throw.
void mobiledevice_sync_send_finish_throw(mobiledevice_sync_client &client);
// Writes {"DisableTethered": disable} under `key` (a data class such as "Contacts") in the lockdown
// domain "com.apple.mobile.tethered_sync"; true when the device accepted it. Never throws.
bool mobiledevice_sync_set_tethered_throw(QString udid, QString key, bool disable);
