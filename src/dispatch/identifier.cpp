#include "dispatch/identifier.h"

namespace Vorn {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string ToIdentifier(std::string_view method, std::string_view name) {
    std::string source;
    if (!method.empty()) {
        source += method.front();
        for (char c : method.substr(1)) source += Lower(c);
        source += '/';
    }
    source += name;

    std::string identifier;
    identifier.reserve(source.size() + 4);
    bool capitalise = true;
    for (char c : source) {
        switch (c) {
            case '!':
            case '+':
            case '-':
            case '.':
            case '/':
            case '_': capitalise = true; break;
            case '{':
                identifier += "By";
                capitalise = true;
                break;
            case '}': break;
            default:
                identifier += capitalise ? Upper(c) : c;
                capitalise = false;
                break;
        }
    }
    return identifier;
}

}  // namespace Vorn
