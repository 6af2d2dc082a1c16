// Natural order of names; see natural_order.h.
#include "serial/natural_order.h"

namespace orvane {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view digitRun(std::string_view text) {
    std::size_t end = 0;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return text.substr(0, end);
}

// Compares two digit runs by value, however long.
int compareNumbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0')
        a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0')
        b.remove_prefix(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

bool naturalLess(std::string_view a, std::string_view b) {
    std::string_view restA = a;
    std::string_view restB = b;
    while (!restA.empty() && !restB.empty()) {
        if (isDigit(restA.front()) && isDigit(restB.front())) {
            const auto numberA = digitRun(restA);
            const auto numberB = digitRun(restB);
            if (const int order = compareNumbers(numberA, numberB); order != 0)
                return order < 0;
            restA.remove_prefix(numberA.size());
            restB.remove_prefix(numberB.size());
            continue;
        }
        if (restA.front() != restB.front())
            return static_cast<unsigned char>(restA.front()) < static_cast<unsigned char>(restB.front());
        restA.remove_prefix(1);
        restB.remove_prefix(1);
    }
    if (restA.empty() != restB.empty())
        return restA.empty();
    return a < b;
}

} // namespace orvane
