#pragma once

#include "AbsExport.h"

// Writes each contact as one vCard 3.0 card, in the words the vCard reader maps back: standard
// name order, a label line for every sub-type the TYPE words cannot carry, escapes where the
// reader undoes them.
class VCardExport : public AbsExport
{
public:
    VCardExport() = default;

    QByteArray initialize(const QList<pim::_Contact> &contacts) override;
    QByteArray ct2Bytes(const pim::_Contact &contact) override;
    QByteArray uninitialize() override;
};
