#include "HtmlExport.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>

#include <stdexcept>

namespace {

const QLatin1String kEol("\r\n");

QString tr(const char *text)
{
    return QCoreApplication::translate("HtmlExport", text);
}

// Writes a picture of the export whole or throws naming it and the cause: a picture cut short by a
// full disk must not pass for an export that worked.
void writeWhole(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir.filePath(name));
    const auto fail = [&] {
        const QString shown = QStringLiteral("photos/") + name;
        throw std::runtime_error(
            tr("IDS_PICTURE_NOT_WRITTEN_%1_%2").arg(shown, file.errorString()).toUtf8().toStdString());
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail();
    // A write that the disk cuts short carries no reason; the next one fails with it ("File too large",
    // "No space left on device").
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            fail();
        done += n;
    }
    file.close();
}

QString valueOf(const pim::Entity &e)
{
    return e.values.value(pim::ValueKey::Value).toString();
}

// Escaped text with its line breaks (a note's lines, an address's) shown as such.
QString withBreaks(QString escaped)
{
    static const QRegularExpression lineBreak(QStringLiteral("\\r\\n|\\r|\\n"));
    return escaped.replace(lineBreak, QStringLiteral("<br/>"));
}

// The text escaped, its line breaks shown as such.
QString escapedText(HtmlEntryFormat format, const pim::Entity &e)
{
    return withBreaks((format ? format(e) : valueOf(e)).toHtmlEscaped());
}

QString entitiesHtml(const QString &title, const QList<pim::Entity> &entities, HtmlEntryFormat format,
                     bool markup)
{
    QString out = QStringLiteral("<div style=\"margin-bottom:20px;\">") + kEol;
    out += QStringLiteral("<h2 class=\"ent_group\">") + title + QStringLiteral("</h2>") + kEol;
    out += QStringLiteral("<ul class=\"ent_list\">") + kEol;
    for (const pim::Entity &e : entities) {
        // The address formatter escapes its own fields; escaping again would show "&amp;amp;".
        const QString text = markup ? (format ? format(e) : withBreaks(e.shownAddr().toHtmlEscaped()))
                                    : escapedText(format, e);
        out += QStringLiteral("<li>") + text + QStringLiteral("</li>") + kEol;
    }
    out += QStringLiteral("</ul>") + kEol + QStringLiteral("</div>") + kEol;
    return out;
}

QString groupName(const pim::Entity &e)
{
    return e.values.value(pim::GroupKey::GroupName).toString();
}

} // namespace

HtmlExport::HtmlExport(QDir dir)
    : HtmlExport(dir, Formatters{})
{}

HtmlExport::HtmlExport(QDir dir, Formatters formatters)
    : photosDir(dir.absoluteFilePath(QStringLiteral("photos")))
    , formatters(formatters)
{
    photosDir.mkpath(QStringLiteral("."));
}

QByteArray HtmlExport::initialize(const QList<pim::_Contact> &)
{
    // Written rather than copied: a copy would keep the resource's read-only permissions.
    const QString placeholder = QStringLiteral("contact.png");
    QFile picture(QStringLiteral(":/res/empty_contact.png"));
    if (!QFileInfo::exists(photosDir.filePath(placeholder)) && picture.open(QIODevice::ReadOnly))
        writeWhole(photosDir, placeholder, picture.readAll());

    const QString title =
        QCoreApplication::translate("QObject", "Ferrovantis Tarnwick for Mac").toHtmlEscaped();
    const QStringList head{
        QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                       "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"),
        QStringLiteral("<html xmlns=\"http://www.w3.org/1999/xhtml\">"),
        QStringLiteral("<head>"),
        QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"),
        QStringLiteral("<title>%1</title>").arg(title),
        QStringLiteral("<style type=\"text/css\">"),
        QStringLiteral(".photo{float:left;margin:5px;border:1px solid #A9A9A9;}"),
        QStringLiteral(".ct_name{font-size:24px;font-weight:bold;font-style:italic;margin-bottom:20px;}"),
        QStringLiteral(".ent_group{padding:0;margin:0;font-size:20px; font-weight:bold; font-style:italic}"),
        QStringLiteral(".ent_list{margin:0; padding:0; list-style:none; font-size:18px}"),
        QStringLiteral("</style></head>"),
        QStringLiteral("<body style=\"background-color:#F1F5FB\">"),
    };
    return (head.join(kEol) + kEol).toUtf8();
}

QString HtmlExport::savePhoto(const pim::_Contact &contact) const
{
    const QList<pim::Entity> photos = contact.entities.value(pim::ENTITY_PHOTO);
    if (photos.isEmpty())
        return QStringLiteral("contact.png");
    const QByteArray bytes = photos.first().values.value(pim::PhotoKey::Image).toByteArray();
    QImage image = QImage::fromData(bytes, "JPEG");
    if (image.isNull())
        image = QImage::fromData(bytes, "PNG");
    if (image.isNull())
        return QStringLiteral("contact.png");
    const QString name = QString::number(contact.id) + QStringLiteral(".jpg");
    // Encoded in memory, so that the file's own write is the one checked.
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG"))
        return QStringLiteral("contact.png");
    writeWhole(photosDir, name, jpeg);
    return name;
}

QByteArray HtmlExport::ct2Bytes(const pim::_Contact &contact)
{
    QString out = QStringLiteral("<div style=\"margin-bottom:50px;\">") + kEol;
    out += QStringLiteral("<img class=\"photo\" src=\"photos/%1\" width=\"128\" />").arg(savePhoto(contact)) +
           kEol;

    QString name = contact.fullName.toHtmlEscaped();
    for (const pim::Entity &nickname : contact.entriesAt(pim::ENTITY_NICKNAME)) {
        if (!valueOf(nickname).isEmpty())
            name +=
                QStringLiteral("<br/>&quot;") + valueOf(nickname).toHtmlEscaped() + QStringLiteral("&quot;");
    }
    const QList<pim::Entity> orgs = contact.entities.value(pim::ENTITY_ORG);
    if (!orgs.isEmpty()) {
        const auto part = [&orgs](const QString &key) {
            return orgs.first().values.value(key).toString().toHtmlEscaped();
        };
        const QString title = part(pim::OrgKey::JobTitle);
        const QString department = part(pim::OrgKey::Department);
        // Without a job title the department takes a line of its own instead of running on from
        // the name or the nickname.
        if (!title.isEmpty())
            name += QStringLiteral("<br/>") + title;
        if (!department.isEmpty())
            name += (title.isEmpty() ? QStringLiteral("<br/>") : QStringLiteral(" - ")) + department;
        if (!part(pim::OrgKey::Company).isEmpty())
            name += QStringLiteral("<br/>") + part(pim::OrgKey::Company);
    }
    out += QStringLiteral("<div class=\"ct_name\">") + kEol + name + kEol +
           QStringLiteral("</div><div style=\"clear:both\"></div>") + kEol;

    struct Section
    {
        const char *title;
        int type;
        HtmlEntryFormat format;
        bool markup;
    };
    const Section sections[] = {
        {"Phone:", pim::ENTITY_PHONE, formatters.phone, false},
        {"E-Mail:", pim::ENTITY_EMAIL, formatters.email, false},
        {"Date:", pim::ENTITY_EVENT, formatters.event, false},
        {"IM:", pim::ENTITY_IM, formatters.im, false},
        {"Organization:", pim::ENTITY_ORG, formatters.org, false},
        {"Relationship:", pim::ENTITY_REL, formatters.rel, false},
        {"Address:", pim::ENTITY_ADDR, formatters.addr, true},
        {"Website:", pim::ENTITY_URL, formatters.url, false},
        {"Notes:", pim::ENTITY_NOTE, formatters.notes, false},
    };
    for (const Section &s : sections) {
        QList<pim::Entity> entries = contact.entities.value(s.type);
        // The first organisation is already in the name block.
        if (s.type == pim::ENTITY_ORG && !entries.isEmpty())
            entries.removeFirst();
        if (!entries.isEmpty())
            out += entitiesHtml(QLatin1String(s.title), entries, s.format, s.markup);
    }
    // The groups a contact belongs to, by name.
    QList<pim::Entity> groups;
    for (const pim::Entity &g : contact.entriesAt(pim::ENTITY_GROUP)) {
        if (!g.values.value(pim::GroupKey::GroupName).toString().isEmpty())
            groups << g;
    }
    if (!groups.isEmpty())
        out += entitiesHtml(QStringLiteral("Groups:"), groups, &groupName, false);
    out += QStringLiteral("</div>") + kEol;
    return out.toUtf8();
}

QByteArray HtmlExport::uninitialize()
{
    return QByteArrayLiteral("</body></html>");
}
