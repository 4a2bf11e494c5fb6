#include "qvn_Keys.h"

#include <cctype>
#include <cstring>

namespace {

struct SName {
    const char* name;
    int key;
};

const SName kNames[] = {
    {"escape", kQvnKeyEscape}, {"esc", kQvnKeyEscape},     {"enter", kQvnKeyEnter},
    {"return", kQvnKeyEnter},  {"space", kQvnKeySpace},    {"tab", kQvnKeyTab},
    {"backspace", kQvnKeyBackspace}, {"left", kQvnKeyLeft}, {"right", kQvnKeyRight},
    {"up", kQvnKeyUp},         {"down", kQvnKeyDown},      {"pageup", kQvnKeyPageUp},
    {"pagedown", kQvnKeyPageDown}, {"home", kQvnKeyHome},  {"end", kQvnKeyEnd},
};

std::string Lower(const std::string& s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

int qvn_KeyFromName(const std::string& name) {
    if (name.size() == 1) {
        const unsigned char c = static_cast<unsigned char>(name[0]);
        // ',' and ':' separate the script; they cannot name keys there.
        if (std::isgraph(c) && c != ',' && c != ':') return std::tolower(c);
        return 0;
    }
    const std::string lower = Lower(name);
    for (const SName& n : kNames)
        if (lower == n.name) return n.key;
    if (lower.size() >= 2 && lower.size() <= 3 && lower[0] == 'f') {
        int n = 0;
        for (size_t i = 1; i < lower.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(lower[i]))) return 0;
            n = n * 10 + (lower[i] - '0');
        }
        if (n >= 1 && n <= 12 && lower[1] != '0') return kQvnKeyF1 + n - 1;
    }
    return 0;
}

bool qvn_KeyEndsShow(int key) { return key == kQvnKeyEscape || key == kQvnKeyF12; }

bool qvn_ParseKeyScript(const char* text, std::vector<qvn_SScriptedKey>* out, std::string* error) {
    std::vector<qvn_SScriptedKey> keys;
    const std::string all = text ? text : "";
    size_t pos = 0;
    int32_t last = 0;
    while (true) {
        const size_t comma = all.find(',', pos);
        const std::string item = all.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        const size_t colon = item.find(':');
        if (colon == std::string::npos || colon == 0 || colon > 9) {
            *error = "--keys: \"" + item + "\" is not MS:KEY";
            return false;
        }
        int32_t ms = 0;
        for (size_t i = 0; i < colon; ++i) {
            if (!std::isdigit(static_cast<unsigned char>(item[i]))) {
                *error = "--keys: \"" + item + "\" does not start with milliseconds";
                return false;
            }
            ms = ms * 10 + (item[i] - '0');
        }
        const int key = qvn_KeyFromName(item.substr(colon + 1));
        if (!key) {
            *error = "--keys: \"" + item.substr(colon + 1) + "\" is not a key (Escape, F1..F12, Space, Enter, Left, a, 5, ...)";
            return false;
        }
        if (ms < last) {
            *error = "--keys: the times must not go back (\"" + item + "\")";
            return false;
        }
        last = ms;
        keys.push_back({ms, key});
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    *out = std::move(keys);
    return true;
}
