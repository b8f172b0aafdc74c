#pragma once

#include "model/Contact.h"

#include <QString>

// A contact-file reader. The import worker calls initialize() once, then total(), then
// hasNext()/nextContact() while contacts remain, then uninitialize(), and destroys it.
class AbsImport
{
public:
    virtual ~AbsImport() = default;

    // Loads the whole file; a failure throws a std::exception with UTF-8 text.
    virtual void initialize(QString path) = 0;
    // How many contacts hasNext()/nextContact() deliver.
    virtual int total() = 0;
    virtual bool hasNext() = 0;
    // The next contact; one with an empty full name is skipped by the worker.
    virtual pim::_Contact nextContact() = 0;
    virtual void uninitialize() = 0;

protected:
    AbsImport() = default;
    AbsImport(const AbsImport &) = delete;
    AbsImport &operator=(const AbsImport &) = delete;
};
