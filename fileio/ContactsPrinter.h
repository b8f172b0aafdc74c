#pragma once

#include "model/Contact.h"

#include <QList>
#include <QObject>
#include <QPicture>
#include <QString>

class QPrinter;

// Lays contacts out as cards, eight to an A4 portrait page in two columns, onto a printer: the
// print preview's printer (the dialog lives in the shell) or a PDF file. A card shows the name,
// the organisations, the birthday, every phone number, e-mail address and postal address; values
// wrap between words, and what does not fit one card goes on to continuation cards in the next
// places, so nothing is cut off.
class ContactsPrinter : public QObject
{
    Q_OBJECT

public:
    // The page's arithmetic for a text width W (device pixels between the margins).
    struct PageLayout
    {
        explicit PageLayout(int width);
        int gap;
        int cardWidth;
        int cardHeight;
        int rowStep;
    };

    // The card's arithmetic for a card width. Computed for every card, so a later printout with
    // another page set-up gets sizes that fit it.
    struct CardLayout
    {
        explicit CardLayout(int width);
        int fontSize;
        int nameFontSize;
        int lineSep;
        int pattern;
        int borderW;
        int photoSide;
        int textLeft;
        int textWidth;
    };

    explicit ContactsPrinter(QObject *parent = nullptr);
    ~ContactsPrinter() override;

    // A printer set up for cards: screen resolution, portrait A4, margins of 20 points.
    static void setUpPrinter(QPrinter &printer);

    // Writes every card to the PDF file; the number of contacts printed, or -1 when the file could
    // not be written.
    int printToPDF(const QList<pim::_Contact> &contacts, QString path);

    // Stores the contacts for the preview's paint requests.
    void setContacts(const QList<pim::_Contact> &contacts);
    // Of the last paint request: the cards drawn, continuation cards included.
    int cards() const { return cardCount; }

    // A contact's cards of the given size, the first with the photo, then as many continuation
    // cards as its lines need; each recorded as drawing commands so that a PDF keeps its text.
    static QList<QPicture> printContact(int width, int height, const pim::_Contact &contact);

public slots:
    // Draws all stored contacts onto the printer; false when no painter could be opened on it.
    bool onPaintRequested(QPrinter *printer);

private:
    QList<pim::_Contact> contacts;
    int contactCount = 0;
    int cardCount = 0;
};
