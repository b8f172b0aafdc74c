#pragma once

#include "AbsExport.h"

#include <QDir>
#include <QString>

// Turns one entry into the text that stands for it on the page (plain text, except the address,
// which is markup whose fields are already escaped).
using HtmlEntryFormat = QString (*)(const pim::Entity &);

// The contact writer behind the HTML and Word choices: one XHTML page (UTF-8, lines ended by CR LF)
// with a block per contact, and the photos as JPEG files in a "photos" folder beside the page.
// Every contact value is escaped, so a name like "<b>x" or a note holding a script shows as text.
// A picture that cannot be written whole makes initialize() or ct2Bytes() throw std::runtime_error
// naming the picture and the cause, so that the export fails instead of putting a page with broken
// pictures in place.
class HtmlExport : public AbsExport
{
public:
    // How each kind of entry is shown; the contact pane's formatters, handed in by the shell so
    // that the page shows a contact as the pane does. A null entry shows the entry's value.
    struct Formatters
    {
        HtmlEntryFormat phone = nullptr;
        HtmlEntryFormat email = nullptr;
        HtmlEntryFormat event = nullptr;
        HtmlEntryFormat im = nullptr;
        HtmlEntryFormat org = nullptr;
        HtmlEntryFormat rel = nullptr;
        // Returns markup; every other formatter returns plain text.
        HtmlEntryFormat addr = nullptr;
        HtmlEntryFormat url = nullptr;
        HtmlEntryFormat notes = nullptr;
    };

    // Makes the folder "photos" inside `dir` (and `dir` itself when missing).
    explicit HtmlExport(QDir dir);
    HtmlExport(QDir dir, Formatters formatters);
    ~HtmlExport() override = default;

    QByteArray initialize(const QList<pim::_Contact> &contacts) override;
    QByteArray ct2Bytes(const pim::_Contact &contact) override;
    QByteArray uninitialize() override;

    QDir photosDir;

private:
    // The picture file's name inside photosDir, after saving the contact's photo there.
    QString savePhoto(const pim::_Contact &contact) const;

    Formatters formatters;
};
