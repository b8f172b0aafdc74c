#include "ContactsPrinter.h"

#include "model/Entity.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/EventDate.h"
#include "model/TypeMaps.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>

namespace {

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

// One run of text on a card: a laid-out line of a label or of a value.
struct Piece
{
    QFont font;
    qreal x = 0; // from the text column's left edge
    qreal ascent = 0;
    QString text;
};

// A strip of the text column that is never split between two cards: one line of a label, of a
// value, or of both side by side.
struct Row
{
    qreal height = 0;
    bool startsEntry = false; // the gap between entries goes above it
    QList<Piece> pieces;
};

// Lays `text` out in lines no wider than `width`: breaks between words, inside a word only when it
// alone is wider than the column, and at the text's own line breaks.
QList<Piece> wrapped(const QString &text, const QFont &font, qreal x, qreal width, qreal *widest = nullptr)
{
    QString flat = text;
    flat.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    flat.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flat, font);
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    QList<Piece> lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max<qreal>(1, width));
        QString part = flat.mid(line.textStart(), line.textLength());
        part.remove(QChar::LineSeparator);
        lines.append(Piece{font, x, line.ascent(), part});
        if (widest)
            *widest = std::max(*widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return lines;
}

qreal lineHeight(const QFont &font)
{
    return QFontMetricsF(font).height();
}

// The rows of one entry: its label in bold italic and its value beside it, wrapped in the rest of
// the label's line, or below the label across the whole column when the label leaves too little
// room.
QList<Row> entryRows(QFont font, qreal width, const QString &label, const QString &value)
{
    font.setBold(true);
    font.setItalic(true);
    qreal labelWidth = 0;
    const QList<Piece> labelLines = wrapped(label, font, 0, width, &labelWidth);
    const qreal labelHeight = lineHeight(font);
    font.setBold(false);
    font.setItalic(false);
    const qreal valueHeight = lineHeight(font);

    QList<Row> rows;
    for (const Piece &p : labelLines)
        rows.append(Row{labelHeight, false, {p}});
    if (!value.isEmpty()) {
        const qreal left = labelWidth + 3;
        const bool beside = labelLines.size() == 1 && width - left >= width / 3;
        const QList<Piece> valueLines =
            beside ? wrapped(value, font, left, width - left) : wrapped(value, font, 0, width);
        int i = 0;
        if (beside && !valueLines.isEmpty()) {
            rows.first().pieces.append(valueLines.first());
            rows.first().height = std::max(labelHeight, valueHeight);
            i = 1;
        }
        for (; i < valueLines.size(); ++i)
            rows.append(Row{valueHeight, false, {valueLines.at(i)}});
    }
    if (!rows.isEmpty())
        rows.first().startsEntry = true;
    return rows;
}

QString phoneLabel(const pim::Entity &phone, const QMap<int, QString> &labels)
{
    const QString custom = phone.values.value(pim::ValueKey::Label).toString();
    return (custom.isEmpty() ? labels.value(phone.values.value(pim::ValueKey::SubType).toInt()) : custom) +
           QLatin1Char(':');
}

// Every line the contact's cards show, in order.
QList<Row> contactRows(const pim::_Contact &contact, const ContactsPrinter::CardLayout &card)
{
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, card.nameFontSize));
    const qreal width = card.textWidth;
    QList<Row> rows = entryRows(font, width, contact.fullName, QString());
    font.setPixelSize(std::max(1, card.fontSize));
    const auto add = [&](const QString &label, const QString &value) {
        rows.append(entryRows(font, width, label, value));
    };

    for (const pim::Entity &org : contact.entriesAt(pim::ENTITY_ORG)) {
        const QVariantMap &v = org.values;
        QString text = v.value(pim::OrgKey::JobTitle).toString();
        if (!v.value(pim::OrgKey::Department).toString().isEmpty())
            text += QLatin1Char(' ') + v.value(pim::OrgKey::Department).toString();
        if (!v.value(pim::OrgKey::Company).toString().isEmpty())
            text += QLatin1Char(' ') + v.value(pim::OrgKey::Company).toString();
        if (!text.trimmed().isEmpty())
            add(text.trimmed(), QString());
    }
    for (const pim::Entity &event : contact.entriesAt(pim::ENTITY_EVENT)) {
        if (event.values.value(pim::ValueKey::SubType).toInt() == pim::EVENT_BIRTHDAY) {
            add(QStringLiteral("Birthday:"),
                pim::EventDate::fromValue(event.values.value(pim::ValueKey::Value)).displayText());
            break;
        }
    }
    QList<pim::Entity> phones = contact.entities.value(pim::ENTITY_PHONE);
    std::stable_sort(phones.begin(), phones.end(), pim::comparePhoneLess);
    const QMap<int, QString> phoneLabels = pim::phoneTypeMap();
    for (const pim::Entity &phone : std::as_const(phones))
        add(phoneLabel(phone, phoneLabels), phone.values.value(pim::ValueKey::Value).toString());
    for (const pim::Entity &email : contact.entriesAt(pim::ENTITY_EMAIL))
        add(QStringLiteral("E-Mail:"), email.values.value(pim::ValueKey::Value).toString());
    for (const pim::Entity &addr : contact.entriesAt(pim::ENTITY_ADDR))
        add(QStringLiteral("Address:"), addr.shownAddr());
    return rows;
}

// Draws the white card with its border.
void drawBlank(QPainter &painter, int w, int h, const ContactsPrinter::CardLayout &card)
{
    painter.setClipRect(QRect(0, 0, w, h));
    painter.fillRect(QRect(0, 0, w, h), QColor(255, 255, 255));
    painter.setPen(QPen(QColor(185, 185, 187), card.borderW, Qt::SolidLine));
    painter.drawRect(QRect(QPoint(card.borderW / 2, card.borderW / 2),
                           QPoint(w - 1 - card.borderW, h - 1 - card.borderW)));
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
    return contactCount;
}

bool ContactsPrinter::onPaintRequested(QPrinter *printer)
{
    contactCount = 0;
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
        // A contact's continuation cards take the places after its first card.
        for (const QPicture &card : printContact(page.cardWidth, page.cardHeight, contact)) {
            const int i = cardCount;
            if (i > 0 && i % 8 == 0) {
                printer->newPage();
                y = y0;
            }
            if (i % 2 == 0) {
                painter.drawPicture(x0, y, card);
            } else {
                painter.drawPicture(x0 + page.gap + page.cardWidth, y, card);
                y += page.rowStep;
            }
            ++cardCount;
        }
        ++contactCount;
    }
    return painter.end();
}

QList<QPicture> ContactsPrinter::printContact(int w, int h, const pim::_Contact &contact)
{
    const CardLayout card(w);
    const QList<Row> rows = contactRows(contact, card);
    // The rows stand between the top inset and the same inset above the bottom edge; what does not
    // fit goes on to a continuation card, so no value is cut off.
    const qreal bottom = h - card.pattern;
    QList<QPicture> cards;
    int next = 0;
    do {
        QPicture picture;
        QPainter painter(&picture);
        drawBlank(painter, w, h, card);
        const bool first = cards.isEmpty();
        if (first) {
            const QImage photo = photoOf(contact).scaled(card.photoSide, card.photoSide, Qt::KeepAspectRatio,
                                                         Qt::FastTransformation);
            painter.drawImage(card.pattern, card.pattern, photo);
        }
        painter.setPen(QColor(0, 0, 0));
        if (!first) {
            // Where the photo was, the name of whose card this continues.
            QFont font = QGuiApplication::font();
            font.setPixelSize(std::max(1, card.fontSize));
            font.setItalic(true);
            painter.setFont(font);
            const QString name =
                QFontMetrics(font).elidedText(contact.fullName, Qt::ElideRight, card.photoSide);
            painter.drawText(QRect(card.pattern, card.pattern, card.photoSide, card.photoSide),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere,
                             name + QLatin1Char('\n') + tr("IDS_CARD_CONTINUED"));
        }
        qreal y = card.pattern;
        bool placed = false;
        for (; next < rows.size(); ++next) {
            const Row &row = rows.at(next);
            const qreal top = y + (row.startsEntry && placed ? card.lineSep : 0);
            // A row taller than a whole card still goes on it rather than nowhere.
            if (placed && top + row.height > bottom)
                break;
            for (const Piece &p : row.pieces) {
                painter.setFont(p.font);
                painter.drawText(QPointF(card.textLeft + p.x, top + p.ascent), p.text);
            }
            y = top + row.height;
            placed = true;
        }
        painter.end();
        cards.append(picture);
    } while (next < rows.size());
    return cards;
}
