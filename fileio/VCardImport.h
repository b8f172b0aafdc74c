#pragma once

#include "AbsImport.h"
#include "QVCardParser.h"

#include <QList>

// Reads a vCard file (2.1, 3.0 or 4.0) and hands its cards out as contacts, one per card.
class VCardImport : public AbsImport
{
public:
    VCardImport() = default;

    void initialize(QString path) override;
    int total() override;
    bool hasNext() override;
    pim::_Contact nextContact() override;
    void uninitialize() override;

    // One card as a contact.
    static pim::_Contact toContact(const QList<QVCardParser::_Property> &card);

private:
    QList<QList<QVCardParser::_Property>> cards;
    qsizetype cursor = 0;
};
