#include "MessageText.h"

namespace {

// Qt's own opening of a rich text; no plain message starts with it.
const QLatin1String kMark("<qt>");

} // namespace

QString MessageText::rich(const QString &html)
{
    return kMark + html;
}

bool MessageText::isRich(const QString &text)
{
    return text.startsWith(kMark);
}

QString MessageText::escaped(const QString &plain)
{
    QString out;
    out.reserve(plain.size());
    for (const QChar c : plain) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '\n':
            out += QLatin1String("<br/>");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString MessageText::toHtml(const QString &text)
{
    return isRich(text) ? text.mid(kMark.size()) : escaped(text);
}

QString MessageText::withoutMark(const QString &text)
{
    return isRich(text) ? text.mid(kMark.size()) : text;
}
