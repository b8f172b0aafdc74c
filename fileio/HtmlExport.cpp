#include "HtmlExport.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QRegularExpression>

namespace {

const QLatin1String kEol("\r\n");

QString valueOf(const pim::Entity &e)
{
    return e.values.value(pim::ValueKey::Value).toString();
}

// The text escaped, its line breaks (a note's lines) shown as such.
QString escapedText(HtmlEntryFormat format, const pim::Entity &e)
{
    QString text = (format ? format(e) : valueOf(e)).toHtmlEscaped();
    static const QRegularExpression lineBreak(QStringLiteral("\\r\\n|\\r|\\n"));
    return text.replace(lineBreak, QStringLiteral("<br/>"));
}

QString entitiesHtml(const QString &title, const QList<pim::Entity> &entities, HtmlEntryFormat format,
                     bool markup)
{
    QString out = QStringLiteral("<div style=\"margin-bottom:20px;\">") + kEol;
    out += QStringLiteral("<h2 class=\"ent_group\">") + title + QStringLiteral("</h2>") + kEol;
    out += QStringLiteral("<ul class=\"ent_list\">") + kEol;
    for (const pim::Entity &e : entities) {
        // The address formatter escapes its own fields; escaping again would show "&amp;amp;".
        const QString text =
            markup ? (format ? format(e) : valueOf(e).toHtmlEscaped()) : escapedText(format, e);
        out += QStringLiteral("<li>") + text + QStringLiteral("</li>") + kEol;
    }
    out += QStringLiteral("</ul>") + kEol + QStringLiteral("</div>") + kEol;
    return out;
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
    QFile target(photosDir.filePath(QStringLiteral("contact.png")));
    QFile picture(QStringLiteral(":/res/empty_contact.png"));
    if (!target.exists() && picture.open(QIODevice::ReadOnly) && target.open(QIODevice::NewOnly))
        target.write(picture.readAll());

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
    image.save(photosDir.filePath(name), "JPEG");
    return name;
}

QByteArray HtmlExport::ct2Bytes(const pim::_Contact &contact)
{
    QString out = QStringLiteral("<div style=\"margin-bottom:50px;\">") + kEol;
    out += QStringLiteral("<img class=\"photo\" src=\"photos/%1\" width=\"128\" />").arg(savePhoto(contact)) +
           kEol;

    QString name = contact.fullName.toHtmlEscaped();
    const QList<pim::Entity> nicknames = contact.entities.value(pim::ENTITY_NICKNAME);
    if (!nicknames.isEmpty() && !valueOf(nicknames.first()).isEmpty())
        name += QStringLiteral("<br/>&quot;") + valueOf(nicknames.first()).toHtmlEscaped() +
                QStringLiteral("&quot;");
    const QList<pim::Entity> orgs = contact.entities.value(pim::ENTITY_ORG);
    if (!orgs.isEmpty()) {
        const auto part = [&orgs](const QString &key) {
            return orgs.first().values.value(key).toString().toHtmlEscaped();
        };
        if (!part(pim::OrgKey::JobTitle).isEmpty())
            name += QStringLiteral("<br/>") + part(pim::OrgKey::JobTitle);
        if (!part(pim::OrgKey::Department).isEmpty())
            name += QStringLiteral(" - ") + part(pim::OrgKey::Department);
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
    out += QStringLiteral("</div>") + kEol;
    return out.toUtf8();
}

QByteArray HtmlExport::uninitialize()
{
    return QByteArrayLiteral("</body></html>");
}
