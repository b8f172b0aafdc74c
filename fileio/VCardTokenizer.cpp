#include "VCardTokenizer.h"

#include "Logging.h"

#include <QtGlobal>

#include <cstdlib>
#include <cstring>

namespace {

enum State {
    VCARD_STATE_NAME = 0,
    VCARD_STATE_PARAM_START = 1,
    VCARD_STATE_PARAM_NAME = 2,
    VCARD_STATE_PARAM_VALUE_START = 3,
    VCARD_STATE_PARAM_VALUE = 4,
    VCARD_STATE_VALUE = 5,
    // The rest of a malformed logical line is read and thrown away.
    VCARD_STATE_SKIP = 6,
};

enum Encoding {
    VCARD_ENC_NONE = 0,
    VCARD_ENC_QUOTED_PRINTABLE = 1,
    VCARD_ENC_BASE64 = 2,
    VCARD_ENC_8BIT = 3,
};

// Offsets into the line buffer while a line is read (the buffer moves when it grows); 0 in
// `value` means the parameter has no value, as a real value never starts where the name does.
struct ParamOffsets
{
    int name;
    int value;
};

// A line buffer larger than this is released at the end of its line instead of being kept.
constexpr int kKeptLineSize = 1024;
constexpr int kFirstLineSize = 128;

// ASCII white space only: the locale must not decide how a file is read.
bool isBlank(unsigned char c)
{
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
}

bool sameTextIgnoringCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'a' && x <= 'z')
            x = char(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = char(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return *a == *b;
}

int hexDigit(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The number "%X" reads from the two escape characters: leading blanks skipped, reading stops
// at the first character that is no hex digit, 0 when none converts.
unsigned char qpByte(const char pending[2])
{
    int i = 0;
    while (i < 2 && isBlank(static_cast<unsigned char>(pending[i])))
        ++i;
    int value = 0;
    for (; i < 2; ++i) {
        const int d = hexDigit(static_cast<unsigned char>(pending[i]));
        if (d < 0)
            break;
        value = value * 16 + d;
    }
    return static_cast<unsigned char>(value & 0xFF);
}

unsigned char Base64ToOrd(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return 255;
}

} // namespace

struct CARD_Parser
{
    int pending_newline = -1;
    int fold_blank = 0;
    char *line = nullptr;
    int line_size = 0;
    int line_len = 0;
    int state = VCARD_STATE_NAME;
    int skip_blanks = -1;
    ParamOffsets *params = nullptr;
    int params_size = 0;
    int nparams = 0;
    const char **param_ptrs = nullptr;
    int param_ptrs_size = 0;
    int param_escape = 0;
    int param_quoted = 0;
    int encoding = VCARD_ENC_NONE;
    int qp_escape = 0;
    char pending[4] = {0, 0, 0, 0};
    int npending = 0;
    // A QUOTED-PRINTABLE soft line break took the last line feed; one blank after it is the
    // writer's continuation mark and is dropped.
    int soft_break = 0;
    int modern = 0;
    // The current line's name and parameters have been handed to the property callback.
    int reported = 0;
    void *user_data = nullptr;
    CARD_PropHandler prop_handler = nullptr;
    CARD_DataHandler data_handler = nullptr;
};

namespace {

void vcard_clear_line(CARD_Parser *p)
{
    p->line_len = 0;
    p->state = VCARD_STATE_NAME;
    if (p->line_size > kKeptLineSize) {
        std::free(p->line);
        p->line = nullptr;
        p->line_size = 0;
    }
    p->skip_blanks = -1;
    p->encoding = VCARD_ENC_NONE;
    p->qp_escape = 0;
    p->nparams = 0;
    p->param_escape = 0;
    p->param_quoted = 0;
    std::memset(p->pending, 0, sizeof p->pending);
    p->npending = 0;
    p->reported = 0;
}

void vcard_drop_buffer(CARD_Parser *p)
{
    std::free(p->line);
    p->line = nullptr;
    p->line_size = 0;
    p->line_len = 0;
}

// Makes room for `more` further bytes. Grows geometrically: values such as photos reach hundreds
// of kilobytes, and fixed steps would copy them over and over.
int vcard_reserve(CARD_Parser *p, qsizetype more)
{
    const long long needed = (long long)p->line_len + more;
    if (needed <= p->line_size)
        return -1;
    long long wanted = p->line_size < kFirstLineSize ? kFirstLineSize : 2LL * p->line_size;
    if (wanted < needed)
        wanted = needed;
    if (wanted > 0x7FFFFFFF) {
        vcard_drop_buffer(p);
        return 0;
    }
    char *grown = static_cast<char *>(std::realloc(p->line, size_t(wanted)));
    if (!grown) {
        vcard_drop_buffer(p);
        return 0;
    }
    p->line = grown;
    p->line_size = int(wanted);
    return -1;
}

int vcard_add_char_to_line(CARD_Parser *p, char c)
{
    if (p->line_len >= p->line_size && !vcard_reserve(p, 1))
        return 0;
    p->line[p->line_len++] = c;
    return -1;
}

int card_add_param(CARD_Parser *p, int offset)
{
    if (p->nparams >= p->params_size) {
        const int wanted = p->params_size ? p->params_size * 2 : 8;
        auto *grown =
            static_cast<ParamOffsets *>(std::realloc(p->params, sizeof(ParamOffsets) * size_t(wanted)));
        if (!grown)
            return 0;
        p->params = grown;
        p->params_size = wanted;
    }
    p->params[p->nparams++] = ParamOffsets{offset, 0};
    return -1;
}

int card_set_paramvalue(CARD_Parser *p, int offset)
{
    if (p->nparams == 0)
        return 0;
    p->params[p->nparams - 1].value = offset;
    return -1;
}

// Drops the current logical line: nothing more is reported for it, and a receiver that already
// got its name is told to forget it.
void vcard_reject_line(CARD_Parser *p, const char *why)
{
    qCWarning(lcFileIo, "vCard line dropped: %s", why);
    const bool told = p->reported;
    vcard_clear_line(p);
    p->state = VCARD_STATE_SKIP;
    if (told && p->data_handler)
        p->data_handler(p->user_data, nullptr, -1);
}

enum class GroupResult { Decoded, Invalid, OutOfMemory };

// Decodes one group of four Base64 characters into the line; what an invalid group yields before
// its bad character stays.
GroupResult vcard_decode_base64_group(CARD_Parser *p)
{
    const unsigned char c[4] = {
        static_cast<unsigned char>(p->pending[0]), static_cast<unsigned char>(p->pending[1]),
        static_cast<unsigned char>(p->pending[2]), static_cast<unsigned char>(p->pending[3])};
    const unsigned char v0 = Base64ToOrd(c[0]);
    const unsigned char v1 = Base64ToOrd(c[1]);
    if (v0 == 255 || v1 == 255)
        return GroupResult::Invalid;
    if (!vcard_add_char_to_line(p, char((v0 << 2) | (v1 >> 4))))
        return GroupResult::OutOfMemory;
    if (c[2] != '=') {
        const unsigned char v2 = Base64ToOrd(c[2]);
        if (v2 == 255)
            return GroupResult::Invalid;
        if (!vcard_add_char_to_line(p, char(((v1 << 4) | (v2 >> 2)) & 0xFF)))
            return GroupResult::OutOfMemory;
        if (c[3] != '=') {
            const unsigned char v3 = Base64ToOrd(c[3]);
            if (v3 == 255)
                return GroupResult::Invalid;
            if (!vcard_add_char_to_line(p, char(((v2 << 6) | v3) & 0xFF)))
                return GroupResult::OutOfMemory;
        }
    }
    std::memset(p->pending, 0, sizeof p->pending);
    p->npending = 0;
    return GroupResult::Decoded;
}

// Ends the name and parameter part at ":" and reports it.
int vcard_end_prop(CARD_Parser *p)
{
    if (!p->prop_handler) {
        p->line_len = 0;
        p->state = VCARD_STATE_VALUE;
        return -1;
    }
    if (!vcard_add_char_to_line(p, 0))
        return 0;
    const int wanted = 2 * (p->nparams + 1);
    if (wanted > p->param_ptrs_size) {
        auto *grown =
            static_cast<const char **>(std::realloc(p->param_ptrs, sizeof(const char *) * size_t(wanted)));
        if (!grown) {
            vcard_drop_buffer(p);
            return 0;
        }
        p->param_ptrs = grown;
        p->param_ptrs_size = wanted;
    }
    for (int i = 0; i < p->nparams; ++i) {
        const char *name = p->line + p->params[i].name;
        const char *value = p->params[i].value ? p->line + p->params[i].value : nullptr;
        p->param_ptrs[2 * i] = name;
        p->param_ptrs[2 * i + 1] = value;
        const char *word = name;
        if (sameTextIgnoringCase(name, "ENCODING")) {
            if (!value)
                continue;
            word = value;
        }
        if (sameTextIgnoringCase(word, "QUOTED-PRINTABLE"))
            p->encoding = VCARD_ENC_QUOTED_PRINTABLE;
        else if (sameTextIgnoringCase(word, "BASE64") || sameTextIgnoringCase(word, "B"))
            p->encoding = VCARD_ENC_BASE64;
        else if (sameTextIgnoringCase(word, "8BIT"))
            p->encoding = VCARD_ENC_8BIT;
    }
    p->param_ptrs[2 * p->nparams] = nullptr;
    p->param_ptrs[2 * p->nparams + 1] = nullptr;
    p->reported = -1;
    p->prop_handler(p->user_data, p->line, p->param_ptrs);
    p->line_len = 0;
    p->state = VCARD_STATE_VALUE;
    return -1;
}

void vcard_end_value(CARD_Parser *p)
{
    if (p->data_handler) {
        if (p->encoding == VCARD_ENC_BASE64 && p->npending > 0) {
            while (p->npending < 4)
                p->pending[p->npending++] = '=';
            vcard_decode_base64_group(p);
        }
        if (p->line_len > 0)
            p->data_handler(p->user_data, p->line, p->line_len);
        p->data_handler(p->user_data, nullptr, 0);
    }
    vcard_clear_line(p);
}

int vcard_decode_value_byte(CARD_Parser *p, unsigned char c)
{
    switch (p->encoding) {
    case VCARD_ENC_QUOTED_PRINTABLE:
        if (p->qp_escape) {
            if (p->pending[0] == 0) {
                p->pending[0] = char(c);
                return -1;
            }
            p->pending[1] = char(c);
            p->pending[2] = 0;
            p->qp_escape = 0;
            return vcard_add_char_to_line(p, char(qpByte(p->pending)));
        }
        if (c == '=') {
            p->qp_escape = -1;
            std::memset(p->pending, 0, sizeof p->pending);
            p->npending = 0;
            return -1;
        }
        return vcard_add_char_to_line(p, char(c));
    case VCARD_ENC_BASE64:
        if (isBlank(c))
            return -1;
        p->pending[p->npending++] = char(c);
        if (p->npending < 4)
            return -1;
        switch (vcard_decode_base64_group(p)) {
        case GroupResult::Decoded:
            return -1;
        case GroupResult::Invalid:
            vcard_reject_line(p, "invalid Base64");
            return -1;
        case GroupResult::OutOfMemory:
            break;
        }
        return 0;
    default:
        return vcard_add_char_to_line(p, char(c));
    }
}

// One step of the state machine; 0 only when memory runs out.
int vcard_process_char(CARD_Parser *p, unsigned char c)
{
    switch (p->state) {
    case VCARD_STATE_NAME:
        if (c == '\n') {
            vcard_clear_line(p);
            return -1;
        }
        if (c == '\r')
            return -1;
        if (c == ':')
            return vcard_end_prop(p);
        if (c == ';') {
            p->state = VCARD_STATE_PARAM_START;
            return vcard_add_char_to_line(p, 0);
        }
        if (isBlank(c))
            return -1;
        return vcard_add_char_to_line(p, char(c));

    case VCARD_STATE_PARAM_START:
        if (c == ':') {
            vcard_reject_line(p, "empty parameter name");
            return -1;
        }
        if (isBlank(c))
            return -1;
        if (!card_add_param(p, p->line_len))
            return 0;
        p->state = VCARD_STATE_PARAM_NAME;
        return vcard_add_char_to_line(p, char(c));

    case VCARD_STATE_PARAM_NAME:
        if (c == ':')
            return vcard_end_prop(p);
        if (c == ';') {
            p->state = VCARD_STATE_PARAM_START;
            return vcard_add_char_to_line(p, 0);
        }
        if (c == '=') {
            p->state = VCARD_STATE_PARAM_VALUE_START;
            return vcard_add_char_to_line(p, 0);
        }
        if (isBlank(c))
            return -1;
        return vcard_add_char_to_line(p, char(c));

    case VCARD_STATE_PARAM_VALUE_START:
        if (c == ':' || c == ';') {
            vcard_reject_line(p, "empty parameter value");
            return -1;
        }
        if (isBlank(c))
            return -1;
        card_set_paramvalue(p, p->line_len);
        p->state = VCARD_STATE_PARAM_VALUE;
        if (p->modern && c == '"') {
            p->param_quoted = -1;
            return -1;
        }
        return vcard_add_char_to_line(p, char(c));

    case VCARD_STATE_PARAM_VALUE:
        if (p->param_quoted) {
            if (c == '"')
                p->param_quoted = 0;
            else if (c != '\r' && c != '\n')
                return vcard_add_char_to_line(p, char(c));
            return -1;
        }
        if (c == ':')
            return vcard_end_prop(p);
        if (c == ';') {
            if (p->param_escape) {
                p->param_escape = 0;
                return vcard_add_char_to_line(p, ';');
            }
            p->state = VCARD_STATE_PARAM_START;
            return vcard_add_char_to_line(p, 0);
        }
        if (isBlank(c))
            return -1;
        if (p->modern) {
            if (c == '"') {
                p->param_quoted = -1;
                return -1;
            }
            return vcard_add_char_to_line(p, char(c));
        }
        if (c == '\\') {
            if (!p->param_escape) {
                p->param_escape = -1;
                return -1;
            }
            p->param_escape = 0;
            return vcard_add_char_to_line(p, '\\');
        }
        if (p->param_escape) {
            // A backslash that escapes nothing is kept as written.
            p->param_escape = 0;
            if (!vcard_add_char_to_line(p, '\\'))
                return 0;
        }
        return vcard_add_char_to_line(p, char(c));

    case VCARD_STATE_VALUE:
        if (c == '\r')
            return -1;
        if (c == '\n') {
            vcard_end_value(p);
            return -1;
        }
        if (p->skip_blanks && isBlank(c))
            return -1;
        p->skip_blanks = 0;
        if (!p->data_handler)
            return -1;
        return vcard_decode_value_byte(p, c);

    case VCARD_STATE_SKIP:
    default:
        if (c == '\n')
            vcard_clear_line(p);
        return -1;
    }
}

// True when the value so far ends in a lone "=": the line feed after it is a soft line break.
bool qpSoftBreakArmed(const CARD_Parser *p)
{
    return p->state == VCARD_STATE_VALUE && p->encoding == VCARD_ENC_QUOTED_PRINTABLE && p->qp_escape &&
           p->pending[0] == 0;
}

// A held line feed followed by a blank: the line goes on. Under 3.0/4.0 rules the fold is
// nothing at all, so a quoted-printable "=XX" cut by it goes on after it; 2.1 has the blank stand
// for a space, which ends an unfinished escape.
int completeFold(CARD_Parser *p)
{
    p->pending_newline = 0;
    if (p->modern)
        return -1;
    if (p->encoding == VCARD_ENC_QUOTED_PRINTABLE)
        p->qp_escape = 0;
    return vcard_process_char(p, ' ');
}

// Value bytes up to the next line feed, taken in one go when nothing but plain copying or Base64
// groups can happen to them (the byte-by-byte steps give the same result). Returns how many bytes
// were taken, or -1 when memory ran out. A run too short to be worth it is left to the caller,
// which learns its length through `shortRun` so as not to look again before its end.
qsizetype vcard_take_value_run(CARD_Parser *p, const char *bytes, qsizetype length, qsizetype &shortRun)
{
    shortRun = 0;
    if (p->pending_newline || p->soft_break || p->state != VCARD_STATE_VALUE || p->skip_blanks ||
        !p->data_handler)
        return 0;
    if (p->encoding != VCARD_ENC_NONE && p->encoding != VCARD_ENC_8BIT && p->encoding != VCARD_ENC_BASE64)
        return 0;
    const char *end = static_cast<const char *>(std::memchr(bytes, '\n', size_t(length)));
    const qsizetype run = end ? end - bytes : length;
    if (run < 16) {
        shortRun = run;
        return 0;
    }
    if (!vcard_reserve(p, run))
        return -1;
    if (p->encoding != VCARD_ENC_BASE64) {
        for (qsizetype i = 0; i < run; ++i) {
            if (bytes[i] != '\r')
                p->line[p->line_len++] = bytes[i];
        }
        return run;
    }
    for (qsizetype i = 0; i < run; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (isBlank(c))
            continue;
        p->pending[p->npending++] = char(c);
        if (p->npending < 4)
            continue;
        switch (vcard_decode_base64_group(p)) {
        case GroupResult::Decoded:
            break;
        case GroupResult::Invalid:
            vcard_reject_line(p, "invalid Base64");
            return i + 1;
        case GroupResult::OutOfMemory:
            return -1;
        }
    }
    return run;
}

} // namespace

CARD_Parser *CARD_ParserCreate()
{
    return new (std::nothrow) CARD_Parser;
}

void CARD_ParserFree(CARD_Parser *parser)
{
    if (!parser)
        return;
    std::free(parser->line);
    std::free(parser->params);
    std::free(parser->param_ptrs);
    delete parser;
}

void CARD_SetUserData(CARD_Parser *parser, void *userData)
{
    parser->user_data = userData;
}

void *CARD_GetUserData(CARD_Parser *parser)
{
    return parser->user_data;
}

void CARD_SetPropHandler(CARD_Parser *parser, CARD_PropHandler handler)
{
    parser->prop_handler = handler;
}

void CARD_SetDataHandler(CARD_Parser *parser, CARD_DataHandler handler)
{
    parser->data_handler = handler;
}

void CARD_SetModernSyntax(CARD_Parser *parser, int modern)
{
    parser->modern = modern ? -1 : 0;
}

int CARD_Parse(CARD_Parser *p, const char *bytes, int length, int final)
{
    int bytewiseUntil = 0; // the value bytes before this index form a short run
    for (int i = 0; i < length; ++i) {
        if (i >= bytewiseUntil) {
            qsizetype shortRun = 0;
            const qsizetype taken = vcard_take_value_run(p, bytes + i, length - i, shortRun);
            if (taken < 0)
                return 0;
            if (taken > 0) {
                i += int(taken) - 1;
                continue;
            }
            bytewiseUntil = i + int(shortRun);
        }
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (p->soft_break) {
            p->soft_break = 0;
            if (c == ' ' || c == '\t')
                continue;
        }
        if (!p->pending_newline) {
            if (c == '\n') {
                if (qpSoftBreakArmed(p)) {
                    p->qp_escape = 0;
                    p->soft_break = -1;
                    continue;
                }
                p->pending_newline = -1;
                p->fold_blank = 0;
                continue;
            }
            if (!vcard_process_char(p, c))
                return 0;
            continue;
        }
        if (c == '\n') {
            if (!p->fold_blank)
                continue;
            if (!completeFold(p))
                return 0;
            p->pending_newline = -1;
            p->fold_blank = 0;
            continue;
        }
        if (p->fold_blank) {
            if (!completeFold(p) || !vcard_process_char(p, c))
                return 0;
            continue;
        }
        if (c == ' ' || c == '\t') {
            p->fold_blank = -1;
            continue;
        }
        p->pending_newline = 0;
        if (!vcard_process_char(p, '\n') || !vcard_process_char(p, c))
            return 0;
    }
    if (final) {
        if (!vcard_process_char(p, '\n'))
            return 0;
        p->pending_newline = -1;
        p->fold_blank = 0;
        p->soft_break = 0;
    }
    return -1;
}

const char *CARD_ParserVersion()
{
    return "1.0";
}
