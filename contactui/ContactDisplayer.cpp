#include "ContactDisplayer.h"

#include "Logging.h"
#include "shell/kit/FileDialogs.h"
#include "shell/kit/Tips.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/EventDate.h"
#include "model/TypeMaps.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QVBoxLayout>

#include <exception>

namespace {

const char kPhotoName[] = "imgPhoto";

QString text(const pim::Entity &e, const QString &key)
{
    return e.values.value(key).toString();
}

// A code column: its number, or the decimal value of its text; anything else counts as 0.
int code(const pim::Entity &e, const QString &key)
{
    bool ok = false;
    const int value = e.values.value(key).toString().trimmed().toInt(&ok);
    return ok ? value : 0;
}

// A non-empty custom label wins over the table's label for the sub-type.
QString label(const pim::Entity &e, const QMap<int, QString> &table)
{
    const QString custom = text(e, pim::ValueKey::Label);
    if (!custom.isEmpty())
        return custom;
    return table.value(code(e, pim::ValueKey::SubType));
}

// Label and value are joined by concatenation, so a "%1" inside either stays as it is.
QString labelled(const pim::Entity &e, const QMap<int, QString> &table, const QString &value)
{
    return label(e, table) + QLatin1Char(':') + value;
}

QLabel *makeSelectableLabel(const QString &text, Qt::TextFormat format, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(format);
    label->setText(text);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

} // namespace

ContactDisplayer::ContactDisplayer(QWidget *parent)
    : QScrollArea(parent)
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    clear();
}

ContactDisplayer::~ContactDisplayer() = default;

void ContactDisplayer::installContent(QWidget *newContent)
{
    // The old content may be the sender of the event being handled; it goes at the next turn of the
    // event loop instead of at once.
    if (QWidget *old = takeWidget()) {
        old->hide();
        old->deleteLater();
    }
    content = newContent;
    setWidget(content);
    fitContentWidth();
}

void ContactDisplayer::clear()
{
    contact.reset();
    contentLayout = nullptr;
    installContent(new QWidget(this));
}

void ContactDisplayer::showContact(const pim::_Contact *shown)
{
    if (!shown) {
        clear();
        return;
    }
    contact = *shown;
    const pim::_Contact &c = *contact;

    auto *newContent = new QWidget(this);
    contentLayout = new QVBoxLayout(newContent);
    contentLayout->setContentsMargins(15, 0, 15, 15);

    auto *header = new QWidget(newContent);
    auto *headerLayout = new QHBoxLayout(header);

    auto *photo = new QLabel(header);
    photo->setAccessibleName(QLatin1String(kPhotoName));
    photo->setFixedSize(128, 128);
    photo->setStyleSheet(QStringLiteral("border:1px solid #A9A9A9;"));
    QImage image;
    const QList<pim::Entity> photos = c.entities.value(pim::ENTITY_PHOTO);
    if (!photos.isEmpty()) {
        const QByteArray bytes = photos.first().values.value(pim::PhotoKey::Image).toByteArray();
        if (!image.loadFromData(bytes, "JPEG"))
            image.loadFromData(bytes, "PNG");
    }
    if (!image.isNull()) {
        photo->setPixmap(QPixmap::fromImage(image.scaledToWidth(128, Qt::FastTransformation)));
        photo->installEventFilter(this);
        photo->setCursor(Qt::PointingHandCursor);
    } else {
        photo->setPixmap(QPixmap(QStringLiteral(":/res/empty_contact.png")));
    }
    headerLayout->addWidget(photo, 0, Qt::AlignTop);

    // Names come from phones and files: shown as written, never read as markup.
    auto *name = makeSelectableLabel(nameBlockText(c), Qt::PlainText, header);
    name->setStyleSheet(QStringLiteral("font-size:21px;font-weight:bold;font-style:italic"));
    headerLayout->addWidget(name, 0, Qt::AlignTop);
    contentLayout->addWidget(header, 0, Qt::AlignTop);

    struct Section
    {
        int type;
        const char *title;
        EntityDisplayFunc format;
    };
    static const Section sections[] = {
        {pim::ENTITY_PHONE, "Phone:", &ContactDisplayer::g_phoneDisplay},
        {pim::ENTITY_EMAIL, "E-Mail:", &ContactDisplayer::g_emailDisplay},
        {pim::ENTITY_EVENT, "Date:", &ContactDisplayer::g_eventDisplay},
        {pim::ENTITY_IM, "IM:", &ContactDisplayer::g_imDisplay},
        {pim::ENTITY_ORG, "Organization:", &ContactDisplayer::g_orgDisplay},
        {pim::ENTITY_REL, "Relationship:", &ContactDisplayer::g_relDisplay},
        {pim::ENTITY_ADDR, "Address:", &ContactDisplayer::g_addrDisplay},
        {pim::ENTITY_URL, "Website:", &ContactDisplayer::g_urlDisplay},
        {pim::ENTITY_NOTE, "Notes:", &ContactDisplayer::g_notesDisplay},
    };
    for (const Section &section : sections) {
        QList<pim::Entity> list = c.entities.value(section.type);
        // The first organisation already stands in the name block.
        if (section.type == pim::ENTITY_ORG)
            list = list.mid(1);
        if (!list.isEmpty())
            showEntities(QLatin1String(section.title), list, section.format);
    }

    installContent(newContent);
}

void ContactDisplayer::showEntities(QString title, const QList<pim::Entity> &entities,
                                    EntityDisplayFunc format)
{
    if (!contentLayout || !format)
        return;
    QWidget *parent = contentLayout->parentWidget();
    auto *section = new QWidget(parent);
    section->setStyleSheet(QStringLiteral("font-size:16px;"));
    auto *layout = new QVBoxLayout(section);

    auto *titleLabel = new QLabel(title, section);
    titleLabel->setTextFormat(Qt::PlainText);
    titleLabel->setStyleSheet(QStringLiteral("font-size:18px;font-style:italic;font-weight:bold;"));
    layout->addWidget(titleLabel, 0, Qt::AlignTop);

    // Only the address formatter produces markup (with its fields escaped); every other text is shown
    // as written, so a value that merely looks like a tag is not swallowed.
    const Qt::TextFormat textFormat =
        format == &ContactDisplayer::g_addrDisplay ? Qt::RichText : Qt::PlainText;
    for (const pim::Entity &e : entities)
        layout->addWidget(makeSelectableLabel(format(e), textFormat, section), 0, Qt::AlignTop);

    contentLayout->addWidget(section, 0, Qt::AlignTop);
}

QString ContactDisplayer::nameBlockText(const pim::_Contact &c)
{
    QString result = c.fullName;
    const QList<pim::Entity> nicknames = c.entities.value(pim::ENTITY_NICKNAME);
    if (!nicknames.isEmpty()) {
        const QString nickname = text(nicknames.first(), pim::ValueKey::Value);
        if (!nickname.isEmpty())
            result += QStringLiteral("\n\"") + nickname + QLatin1Char('"');
    }
    const QList<pim::Entity> orgs = c.entities.value(pim::ENTITY_ORG);
    if (!orgs.isEmpty()) {
        const pim::Entity &org = orgs.first();
        const QString title = text(org, pim::OrgKey::JobTitle);
        const QString department = text(org, pim::OrgKey::Department);
        const QString company = text(org, pim::OrgKey::Company);
        // The department joins the job title's line; without a title it takes a line of its own
        // instead of running on from the name.
        if (!title.isEmpty())
            result += QLatin1Char('\n') + title;
        if (!department.isEmpty())
            result += (title.isEmpty() ? QStringLiteral("\n") : QStringLiteral(" - ")) + department;
        if (!company.isEmpty())
            result += QLatin1Char('\n') + company;
    }
    return result;
}

bool ContactDisplayer::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (widget && event->type() == QEvent::MouseButtonPress &&
        widget->accessibleName() == QLatin1String(kPhotoName)) {
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            // An event handler: nothing may leave it.
            try {
                savePhoto();
            } catch (const std::exception &e) {
                qCWarning(lcContactUi) << "saving the contact photo failed:" << e.what();
            }
        }
        return true;
    }
    return QScrollArea::eventFilter(watched, event);
}

void ContactDisplayer::savePhoto()
{
    if (!contact)
        return;
    const QList<pim::Entity> photos = contact->entities.value(pim::ENTITY_PHOTO);
    if (photos.isEmpty())
        return;
    // A slash in the name would make the proposal point into another folder.
    QString proposal = contact->fullName + QStringLiteral(".jpg");
    proposal.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString path =
        FileDialogs::getSaveFileName(nullptr, QString(), QDir::home().absoluteFilePath(proposal));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        Tips::warning(file.errorString());
        return;
    }
    file.write(photos.first().values.value(pim::PhotoKey::Image).toByteArray());
    file.close();
}

void ContactDisplayer::resizeEvent(QResizeEvent *event)
{
    // The base keeps the scroll bars in step with the viewport; the content then takes the pane's
    // whole width.
    QScrollArea::resizeEvent(event);
    fitContentWidth();
}

void ContactDisplayer::fitContentWidth()
{
    if (!content)
        return;
    const int w = width();
    int h = content->height();
    // Word-wrapped lines need more height when the pane is narrower than the content's natural width.
    if (content->layout() && content->layout()->hasHeightForWidth())
        h = qMax(h, content->layout()->totalHeightForWidth(w));
    else if (content->layout())
        h = qMax(h, content->sizeHint().height());
    content->resize(w, h);
}

// ---- entry formatters -------------------------------------------------------------------------

QString ContactDisplayer::g_phoneDisplay(const pim::Entity &e)
{
    return labelled(e, pim::phoneTypeMap(), text(e, pim::ValueKey::Value));
}

QString ContactDisplayer::g_emailDisplay(const pim::Entity &e)
{
    return labelled(e, pim::emailTypeMap(), text(e, pim::ValueKey::Value));
}

QString ContactDisplayer::g_eventDisplay(const pim::Entity &e)
{
    return labelled(e, pim::eventTypeMap(),
                    pim::EventDate::fromValue(e.values.value(pim::ValueKey::Value)).displayText());
}

QString ContactDisplayer::g_imDisplay(const pim::Entity &e)
{
    QString protocol = text(e, pim::ImKey::CustomProtocol);
    if (protocol.isEmpty())
        protocol = pim::imProtocolMap().value(code(e, pim::ImKey::Protocol));
    return labelled(e, pim::imTypeMap(), text(e, pim::ImKey::Account)) + QLatin1Char('(') + protocol + QLatin1Char(')');
}

QString ContactDisplayer::g_orgDisplay(const pim::Entity &e)
{
    QString value = text(e, pim::OrgKey::JobTitle);
    const QString department = text(e, pim::OrgKey::Department);
    const QString company = text(e, pim::OrgKey::Company);
    if (!department.isEmpty())
        value += QLatin1Char(' ') + department;
    if (!company.isEmpty())
        value += QLatin1Char(' ') + company;
    return labelled(e, pim::orgTypeMap(), value.trimmed());
}

QString ContactDisplayer::g_relDisplay(const pim::Entity &e)
{
    return labelled(e, pim::relTypeMap(), text(e, pim::ValueKey::Value));
}

QString ContactDisplayer::g_addrDisplay(const pim::Entity &e)
{
    // Markup built from data that came from phones and files: every field is escaped, so the page and
    // the pane show the text the user typed and nothing in it can act as a tag. An address a phone
    // kept as one typed text shows that text.
    QString lines = e.shownAddr().toHtmlEscaped();
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lines.replace(QLatin1Char('\n'), QStringLiteral("<br/>"));
    return QStringLiteral("<b>") + label(e, pim::addrTypeMap()).toHtmlEscaped() +
           QStringLiteral("</b><br/>") + lines;
}

QString ContactDisplayer::g_urlDisplay(const pim::Entity &e)
{
    return labelled(e, pim::urlTypeMap(), text(e, pim::ValueKey::Value));
}

QString ContactDisplayer::g_notesDisplay(const pim::Entity &e)
{
    return text(e, pim::NoteKey::Text);
}
