// The keyword table (in the order it is searched: longer and more telling keywords first) and
// the category guess built on it.
#include "instruments/category.h"

#include "instruments/instrument.h"

namespace tunemill {

namespace {

struct Keyword {
    const char* text;
    uint8_t category;
};

constexpr Keyword KEYWORDS[] = {
    {"telephone", 28}, {"hardscra", 7},  {"analogst", 9},  {"steinway", 10}, {"jahrmark", 11},
    {"korgbeau", 11},  {"digiharp", 11}, {"nightmar", 14}, {"babybass", 17}, {"dreambel", 22},
    {"monsterb", 6},   {"fantasia", 29}, {"electom", 20},  {"glocken", 22},  {"noteman", 11},
    {"strange", 11},   {"usticgu", 4},   {"shamus", 11},   {"outlaw", 14},   {"highop", 15},
    {"blower", 0},     {"housed", 17},   {"rimsho", 18},   {"aciddr", 19},   {"hammon", 3},
    {"eldrum", 20},    {"digdug", 6},    {"voices", 11},   {"celest", 23},   {"finger", 24},
    {"speech", 26},    {"buuurp", 26},   {"comeon", 26},   {"thunde", 27},   {"hooman", 11},
    {"applau", 28},    {"tinewa", 11},   {"organ", 3},     {"hihat", 15},    {"highh", 15},
    {"openh", 15},     {"close", 15},    {"harps", 10},    {"crash", 16},    {"bassd", 17},
    {"shaku", 0},      {"sixte", 3},     {"thick", 17},    {"touch", 11},    {"shake", 19},
    {"bongo", 19},     {"whist", 0},     {"agogo", 19},    {"pizza", 19},    {"conga", 19},
    {"tambo", 19},     {"sitar", 5},     {"eltom", 20},    {"trump", 1},     {"licks", 11},
    {"trum.", 1},      {"tromb", 1},     {"marim", 23},    {"malle", 23},    {"clave", 23},
    {"block", 23},     {"stars", 11},    {"hitme", 25},    {"laugh", 26},    {"letsg", 26},
    {"perco", 11},     {"strin", 8},     {"crowd", 26},    {"stri.", 8},     {"stri@", 8},
    {"explo", 28},     {"choir", 13},    {"laser", 28},    {"plane", 28},    {"cello", 9},
    {"atmos", 14},     {"strg", 8},      {"viol", 8},      {"xylo", 23},     {"vibe", 23},
    {"banj", 5},       {"clar", 0},      {"asia", 0},      {"wood", 23},     {"snar", 18},
    {"sna.", 18},      {"orch", 25},     {"flut", 0},      {"peck", 11},     {"moog", 11},
    {"slap", 6},       {"horn", 1},      {"tuba", 1},      {"oboe", 0},      {"wind", 27},
    {"hhat", 15},      {"timp", 19},     {"koto", 5},      {"str.", 8},      {"str@", 8},
    {"guns", 28},      {"gong", 21},     {"cymb", 16},     {"snr", 18},      {"pad", 14},
    {"ahh", 11},       {"bow", 11},      {"hh.", 15},      {"pia", 10},      {"sax", 2},
    {"bd", 17},        {"lead", 12},     {"sdru", 18},     {"clap", 24},     {"tom", 19},
    {"sd.", 18},       {"sd@", 18},      {"bel.", 22},     {"dru.", 19},     {"kick", 17},
    {"bras", 1},       {"drum", 19},     {"bell", 22},     {"drm", 19},      {"bass", 6},
    {"synth", 11},     {"synt.", 11},    {"dist", 7},      {"syn.", 11},     {"syn@", 11},
    {"guit", 7},       {"gui.", 7},      {"nice", 11},     {"gtr", 7},       {"scratc", 28},
    {"noise", 28},     {"chord", 13},    {"blast", 28},    {"mino", 13},     {"min@", 13},
    {"min.", 13},      {"chrd", 13},     {"maj", 13},
};

} // namespace

size_t category_keyword_count() {
    return sizeof KEYWORDS / sizeof KEYWORDS[0];
}

std::string category_key(std::string_view name) {
    std::string key;
    for (char c : name) {
        if (c == '.') {
            key += c;
            continue;
        }
        const char lower = char(c | 0x20);
        if (lower >= 'a' && lower <= 'z') key += lower;
    }
    key += '@';
    return key;
}

uint32_t guess_category(std::string_view name) {
    const std::string key = category_key(name);
    for (const Keyword& keyword : KEYWORDS)
        if (key.find(keyword.text) != std::string::npos) return keyword.category;
    return NO_CATEGORY;
}

} // namespace tunemill
