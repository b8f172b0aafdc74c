#pragma once

#include <QString>

// The texts of the user's message boxes. A text is plain unless made with rich(): shown as written,
// whatever "<", ">" or "&" it holds, since file names, device names and database errors may hold
// any of them. A text that carries markup on purpose (line breaks, a link, a picture) is made with
// rich(), and whoever builds it passes the names and errors it quotes through escaped(). The mark
// travels with the text through exceptions and worker reports up to the box.
class MessageText
{
public:
    // Marks html as markup meant to be rendered.
    static QString rich(const QString &html);
    static bool isRich(const QString &text);
    // Plain text as markup that shows it unchanged: "&", "<" and ">" as entities, line feeds as
    // line breaks.
    static QString escaped(const QString &plain);
    // What a box renders for the text: the markup of a rich text, the escaped form of a plain one.
    static QString toHtml(const QString &text);
    // The text without its mark (a plain text is returned as it is).
    static QString withoutMark(const QString &text);
};
