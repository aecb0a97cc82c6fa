#include "platform/trace.h"

#include <atomic>

#include "platform/ascii.h"
#include "platform/escaped_text.h"

namespace qv::trace {

namespace {

std::atomic<unsigned> onMask{0};
std::atomic<Sink> sinkOf{nullptr};

// Whether the rule's pattern ("quorvel.*", "*", "quorvel.game", "quorvel.game.debug") names `c`.
bool names(std::string_view pattern, Category c) {
    if (pattern.ends_with(".debug")) pattern.remove_suffix(6);
    const std::string_view name = nameOf(c);
    if (pattern.ends_with('*')) return name.starts_with(pattern.substr(0, pattern.size() - 1));
    return pattern == name;
}

}  // namespace

const char* nameOf(Category c) {
    switch (c) {
        case Category::Game:
            return "quorvel.game";
        case Category::Index:
            return "quorvel.index";
        case Category::Finder:
            return "quorvel.finder";
        case Category::Lock:
            return "quorvel.lock";
    }
    return "quorvel";
}

void setSink(Sink sink) {
    sinkOf.store(sink);
}

void enable(Category c, bool on) {
    const unsigned bit = 1u << static_cast<unsigned>(c);
    if (on)
        onMask.fetch_or(bit);
    else
        onMask.fetch_and(~bit);
}

void enableAll(bool on) {
    onMask.store(on ? (1u << kCategories) - 1 : 0u);
}

void applyRules(std::string_view rules) {
    while (!rules.empty()) {
        const std::size_t end = rules.find_first_of(";\n");
        const std::string_view rule = trimAscii(rules.substr(0, end), kBlanks, kBlanksAndCr);
        rules = end == std::string_view::npos ? std::string_view() : rules.substr(end + 1);
        const std::size_t eq = rule.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view pattern = trimAscii(rule.substr(0, eq), kBlanks, kBlanksAndCr);
        const std::string_view value = trimAscii(rule.substr(eq + 1), kBlanks, kBlanksAndCr);
        if (value != "true" && value != "false") continue;
        for (unsigned k = 0; k < kCategories; ++k)
            if (names(pattern, static_cast<Category>(k)))
                enable(static_cast<Category>(k), value == "true");
    }
}

bool enabled(Category c) {
    return (onMask.load(std::memory_order_relaxed) >> static_cast<unsigned>(c) & 1u) != 0;
}

void line(Category c, std::string_view text) {
    const Sink sink = sinkOf.load();
    if (sink && enabled(c)) sink(c, escapedField(text));
}

}  // namespace qv::trace
