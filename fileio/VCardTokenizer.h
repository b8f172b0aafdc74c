#pragma once

// A push tokenizer for the lexical layer of vCard text: it joins folded lines, splits each logical
// line into name, parameters and value, undoes the QUOTED-PRINTABLE and BASE64 transfer encodings
// and reports every property through two callbacks. It knows nothing of cards or character sets.
//
// Feed it bytes in chunks of any size; the calls made are the same wherever the chunks are cut.
// A malformed line (an empty parameter name or value, a broken Base64 group) is dropped with a
// warning and reading goes on with the next line.

struct CARD_Parser;

// Called once per property when its name and parameters are complete. `params` is a flat array
// of name/value pointer pairs ended by (null, null); the value of a parameter written without "="
// is null. Everything is valid only during the call.
typedef void (*CARD_PropHandler)(void *userData, const char *name, const char **params);

// Called when the property's line ends: once with the decoded value when it is not empty
// (`length` > 0, not zero-terminated), then always once with (null, 0) as the end mark. A line
// that was reported and then turned out malformed gets a single (null, -1) instead, telling the
// receiver to forget that property.
typedef void (*CARD_DataHandler)(void *userData, const char *bytes, int length);

CARD_Parser *CARD_ParserCreate();
void CARD_ParserFree(CARD_Parser *parser);

void CARD_SetUserData(CARD_Parser *parser, void *userData);
void *CARD_GetUserData(CARD_Parser *parser);
void CARD_SetPropHandler(CARD_Parser *parser, CARD_PropHandler handler);
void CARD_SetDataHandler(CARD_Parser *parser, CARD_DataHandler handler);

// Line syntax of the lines that follow. 0 (the default) reads vCard 2.1: the blank that continues
// a folded line stands for one space, a backslash escapes ";" and "\" in parameter values, quotes
// are text. Non-zero reads vCard 3.0 and 4.0: the fold blank is dropped, a parameter value may be
// quoted (its ":", ";" and "," are then text) and backslashes are left alone.
void CARD_SetModernSyntax(CARD_Parser *parser, int modern);

// Takes `length` bytes (none when length <= 0); a non-zero `final` then ends the input, so that
// a last line without a line break is reported. Returns -1 when the bytes were taken, 0 when
// memory ran out (the rest of the call is then not read).
int CARD_Parse(CARD_Parser *parser, const char *bytes, int length, int final);

const char *CARD_ParserVersion();
