#pragma once

// The vCard file both vCard readers are measured on: 10,000 cards, 3.0 and 2.1 quoted-printable in
// turn, every fifth with a 6 KB photo folded as phones write it.

#include <QByteArray>
#include <QString>

namespace bench {

inline QByteArray foldedBase64(const QByteArray &bytes, int width)
{
    const QByteArray text = bytes.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); i += width) {
        if (i)
            out += "\r\n ";
        out += text.mid(i, width);
    }
    return out;
}

inline QByteArray vcardFile(int cards)
{
    QByteArray photo(6 * 1024, '\0');
    for (int i = 0; i < photo.size(); ++i)
        photo[i] = char((i * 131 + 7) & 0xFF);
    const QByteArray photoText = foldedBase64(photo, 74);
    QByteArray out;
    out.reserve(cards * 600);
    for (int i = 0; i < cards; ++i) {
        const QByteArray n = QByteArray::number(i);
        if (i % 2 == 0) {
            out += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lastname" + n +
                   ";Firstname;Q.;;\r\nFN:Firstname Q. Lastname" + n + "\r\nTEL;TYPE=CELL:+1 555 " + n +
                   "\r\nTEL;TYPE=HOME,VOICE:+1 556 " + n + "\r\nEMAIL;TYPE=INTERNET,HOME:user" + n +
                   "@example.org\r\nADR;TYPE=HOME:;;" + n +
                   " Main Street;Springfield;IL;62701;USA\r\nORG:Example Corp;Sales\r\nTITLE:Agent\r\n"
                   "NOTE:Met at the fair\\, likes tea.\\nSecond line.\r\nBDAY:1980-05-12\r\n";
        } else {
            out += "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller" + n +
                   ";J=C3=B6rg;;;\r\nFN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=B6rg M=C3=BCller" + n +
                   "\r\nTEL;CELL:+49 170 " + n + "\r\nTEL;WORK;VOICE:+49 30 " + n +
                   "\r\nEMAIL;INTERNET:joerg" + n +
                   "@example.de\r\nNOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Eine l=C3=A4ngere Notiz, die "
                   "=\r\n"
                   "umgebrochen wurde.\r\n";
        }
        if (i % 5 == 0) {
            out += i % 2 == 0 ? "PHOTO;ENCODING=b;TYPE=JPEG:" : "PHOTO;ENCODING=BASE64;TYPE=JPEG:\r\n ";
            out += photoText + "\r\n";
            if (i % 2 != 0)
                out += "\r\n";
        }
        out += "END:VCARD\r\n";
    }
    return out;
}

} // namespace bench
