#include "ContactsPrinter.h"

#include "model/Entity.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/EventDate.h"
#include "model/TypeMaps.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace {

// Draws a label in bold italic and, when there is one, its value; returns the height taken. A value
// on its own line wraps within the text column, never past the card's edge.
int drawEntityVal(QPainter &painter, QFont &font, int x, int y, int width, const QString &label,
                  const QString &value, bool sameLine)
{
    font.setBold(true);
    font.setItalic(true);
    painter.setFont(font);
    const QRect labelRect = painter.boundingRect(QRect(x, y, width, 0), Qt::TextSingleLine, label);
    painter.drawText(labelRect, Qt::TextSingleLine, label);
    if (value.isEmpty())
        return labelRect.height();

    font.setBold(false);
    font.setItalic(false);
    painter.setFont(font);
    if (sameLine) {
        const QRect rest(QPoint(labelRect.right() + 3, labelRect.top()),
                         QPoint(labelRect.left() + width - 2, labelRect.bottom()));
        painter.drawText(rest, Qt::TextSingleLine, value);
        return labelRect.height();
    }
    const int left = labelRect.right() + 3;
    const QRectF box(left, y, std::max(1, x + width - left), 0);
    // Lines break between words; a word only when it alone is wider than the column.
    QTextOption wrap(Qt::AlignLeft | Qt::AlignTop);
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QRectF valueRect = painter.boundingRect(box, value, wrap);
    painter.drawText(QRectF(box.topLeft(), QSizeF(box.width(), valueRect.height())), value, wrap);
    return int(std::ceil(valueRect.height()));
}

QImage photoOf(const pim::_Contact &contact)
{
    const QList<pim::Entity> photos = contact.entities.value(pim::ENTITY_PHOTO);
    QImage image;
    if (!photos.isEmpty()) {
        const QByteArray bytes = photos.first().values.value(pim::PhotoKey::Image).toByteArray();
        image = QImage::fromData(bytes, "JPEG");
        if (image.isNull())
            image = QImage::fromData(bytes, "PNG");
    }
    if (image.isNull())
        image.load(QStringLiteral(":/res/empty_contact.png"));
    return image;
}

} // namespace

ContactsPrinter::PageLayout::PageLayout(int width)
    : gap(width / 41)
    , cardWidth((width - gap) / 2)
    , cardHeight(cardWidth * 10 / 16)
    , rowStep(width * 45 / 570 + cardHeight)
{}

ContactsPrinter::CardLayout::CardLayout(int width)
    : fontSize(width * 12 / 339)
    , nameFontSize(fontSize + fontSize / 7)
    , lineSep(width / 113)
    , pattern(width * 10 / 399)
    , borderW(width * 2 / 399)
    , photoSide(width / 3)
    , textLeft(width / 3 + pattern + lineSep)
    , textWidth(width - textLeft - 10)
{}

ContactsPrinter::ContactsPrinter(QObject *parent)
    : QObject(parent)
{}

ContactsPrinter::~ContactsPrinter() = default;

void ContactsPrinter::setUpPrinter(QPrinter &printer)
{
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
}

void ContactsPrinter::setContacts(const QList<pim::_Contact> &list)
{
    contacts = list;
}

int ContactsPrinter::printToPDF(const QList<pim::_Contact> &list, QString path)
{
    contacts = list;
    QPrinter printer(QPrinter::ScreenResolution);
    setUpPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    // A file that cannot be written must not be reported as exported.
    if (!onPaintRequested(&printer) || !QFileInfo(path).isFile() || QFileInfo(path).size() == 0)
        return -1;
    return cardCount;
}

bool ContactsPrinter::onPaintRequested(QPrinter *printer)
{
    cardCount = 0;
    const QMarginsF margins = printer->pageLayout().margins(QPageLayout::Point);
    const int pageWidth = int(printer->pageRect(QPrinter::DevicePixel).width());
    const int width = int(pageWidth - margins.left() - margins.right());
    const int x0 = int(margins.left());
    const int y0 = int(margins.top());

    QPainter painter;
    if (!painter.begin(printer))
        return false;
    painter.setFont(QGuiApplication::font());
    const PageLayout page(width);
    int y = y0;
    for (const pim::_Contact &contact : std::as_const(contacts)) {
        const int i = cardCount;
        if (i > 0 && i % 8 == 0) {
            printer->newPage();
            y = y0;
        }
        const QPicture card = printContact(page.cardWidth, page.cardHeight, contact);
        if (i % 2 == 0) {
            painter.drawPicture(x0, y, card);
        } else {
            painter.drawPicture(x0 + page.gap + page.cardWidth, y, card);
            y += page.rowStep;
        }
        ++cardCount;
    }
    return painter.end();
}

QPicture ContactsPrinter::printContact(int w, int h, const pim::_Contact &contact)
{
    const CardLayout card(w);
    QPicture picture;
    QPainter painter(&picture);
    painter.setClipRect(QRect(0, 0, w, h));
    painter.fillRect(QRect(0, 0, w, h), QColor(255, 255, 255));

    painter.setPen(QPen(QColor(185, 185, 187), card.borderW, Qt::SolidLine));
    painter.drawRect(QRect(QPoint(card.borderW / 2, card.borderW / 2),
                           QPoint(w - 1 - card.borderW, h - 1 - card.borderW)));

    const QImage photo =
        photoOf(contact).scaled(card.photoSide, card.photoSide, Qt::KeepAspectRatio, Qt::FastTransformation);
    painter.drawImage(card.pattern, card.pattern, photo);

    painter.setPen(QColor(0, 0, 0));
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, card.nameFontSize));
    int y = card.pattern;
    const auto line = [&](const QString &label, const QString &value, bool sameLine) {
        y += drawEntityVal(painter, font, card.textLeft, y, card.textWidth, label, value, sameLine) +
             card.lineSep;
    };
    line(contact.fullName, QString(), true);
    font.setPixelSize(std::max(1, card.fontSize));

    const QList<pim::Entity> orgs = contact.entities.value(pim::ENTITY_ORG);
    if (!orgs.isEmpty()) {
        const QVariantMap &v = orgs.first().values;
        QString text = v.value(pim::OrgKey::JobTitle).toString();
        if (!v.value(pim::OrgKey::Department).toString().isEmpty())
            text += QLatin1Char(' ') + v.value(pim::OrgKey::Department).toString();
        if (!v.value(pim::OrgKey::Company).toString().isEmpty())
            text += QLatin1Char(' ') + v.value(pim::OrgKey::Company).toString();
        line(text.trimmed(), QString(), true);
    }
    for (const pim::Entity &event : contact.entities.value(pim::ENTITY_EVENT)) {
        if (event.values.value(pim::ValueKey::SubType).toInt() == pim::EVENT_BIRTHDAY) {
            line(QStringLiteral("Birthday:"),
                 pim::EventDate::fromValue(event.values.value(pim::ValueKey::Value)).displayText(), false);
            break;
        }
    }
    QList<pim::Entity> phones = contact.entities.value(pim::ENTITY_PHONE);
    std::stable_sort(phones.begin(), phones.end(), pim::comparePhoneLess);
    const QMap<int, QString> phoneLabels = pim::phoneTypeMap();
    for (int i = 0; i < std::min<qsizetype>(4, phones.size()); ++i) {
        const QVariantMap &v = phones.at(i).values;
        line(phoneLabels.value(v.value(pim::ValueKey::SubType).toInt()) + QLatin1Char(':'),
             v.value(pim::ValueKey::Value).toString(), true);
    }
    const QList<pim::Entity> emails = contact.entities.value(pim::ENTITY_EMAIL);
    if (!emails.isEmpty())
        line(QStringLiteral("E-Mail:"), emails.first().values.value(pim::ValueKey::Value).toString(), true);
    const QList<pim::Entity> addrs = contact.entities.value(pim::ENTITY_ADDR);
    if (!addrs.isEmpty())
        line(QStringLiteral("Address:"), addrs.first().formattedAddr(), false);
    painter.end();
    return picture;
}
