// vCard tokenizer, parser and card reader. The input is also fed to a second tokenizer in chunks
// whose sizes come from the input itself; both must make exactly the same calls.
#include "fileio/QVCardParser.h"
#include "fileio/VCardImport.h"
#include "fileio/VCardTokenizer.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

struct Calls
{
    std::string log;

    static void onProp(void *user, const char *name, const char **params)
    {
        std::string &log = static_cast<Calls *>(user)->log;
        log += "P";
        log += name;
        for (const char **p = params; p[0]; p += 2) {
            log += '|';
            log += p[0];
            if (p[1]) {
                log += '=';
                log += p[1];
            }
        }
        log += '\n';
    }

    static void onData(void *user, const char *bytes, int length)
    {
        std::string &log = static_cast<Calls *>(user)->log;
        if (length < 0)
            log += "X\n";
        else if (!bytes)
            log += "E\n";
        else
            log += "D" + std::string(bytes, size_t(length)) + '\n';
    }
};

std::string tokenize(const uint8_t *data, size_t size, bool chunked)
{
    Calls calls;
    CARD_Parser *p = CARD_ParserCreate();
    CARD_SetUserData(p, &calls);
    CARD_SetPropHandler(p, Calls::onProp);
    CARD_SetDataHandler(p, Calls::onData);
    size_t at = 0;
    size_t step = size ? size_t(data[0] % 7) + 1 : 1;
    while (chunked && at < size) {
        const size_t n = step < size - at ? step : size - at;
        CARD_Parse(p, reinterpret_cast<const char *>(data) + at, int(n), 0);
        at += n;
        step = size_t(data[at % size] % 13) + 1;
    }
    CARD_Parse(p, reinterpret_cast<const char *>(data) + at, int(size - at), 1);
    CARD_ParserFree(p);
    return calls.log;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (tokenize(data, size, false) != tokenize(data, size, true))
        std::abort();
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const auto &card : QVCardParser::parse(bytes)) {
        VCardImport::toContact(card);
        for (const auto &property : card) {
            property.toString();
            property.values();
        }
    }
    return 0;
}
