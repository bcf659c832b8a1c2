#pragma once
// Puts the C library under a locale whose decimal point is a comma for the
// lifetime of the guard, then back to "C": the number readers must give the
// same results under it. scripts/setup generates de_DE.UTF-8 so that one
// exists; a test that needs it fails when it does not.
#include <clocale>
#include <string>

namespace Vorn::Testing {

class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE", "fr_FR"}) {
            if (std::setlocale(LC_ALL, name) != nullptr && std::localeconv()->decimal_point[0] == ',') {
                name_ = name;
                return;
            }
        }
        std::setlocale(LC_ALL, "C");
    }
    ~DecimalCommaLocale() { std::setlocale(LC_ALL, "C"); }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    bool Active() const { return !name_.empty(); }
    // The locale in force, for failure messages.
    const std::string& Name() const { return name_; }

private:
    std::string name_;
};

}  // namespace Vorn::Testing
