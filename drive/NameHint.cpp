#include "drive/NameHint.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace {

std::string folded(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Single-letter insertions, deletions and substitutions from a to b, on
// names already cut to a bounded length.
std::size_t editsBetween(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<std::string> nearestNames(const std::string& wanted, const std::vector<std::string>& heard) {
    // Advertised names are short; anything longer is no name a person typed.
    constexpr std::size_t kLongest = 64;
    constexpr std::size_t kMostHints = 3;
    const std::string target = folded(wanted.substr(0, kLongest));
    const std::size_t within = std::max<std::size_t>(1, target.size() / 3);
    std::vector<std::pair<std::size_t, std::string>> near;
    for (const std::string& name : heard) {
        if (name == wanted || name.size() > kLongest) continue;
        const std::size_t edits = editsBetween(target, folded(name));
        const bool listed = std::any_of(near.begin(), near.end(), [&](const auto& n) { return n.second == name; });
        if (edits <= within && !listed) near.emplace_back(edits, name);
    }
    std::stable_sort(near.begin(), near.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (const auto& [edits, name] : near) {
        if (names.size() == kMostHints) break;
        names.push_back(name);
    }
    return names;
}
