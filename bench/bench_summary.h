#pragma once

// One line per headline figure, which scripts/run-bench.sh gathers into the
// summary table printed after every bench has run:
//   @summary <figure> | <value> | <goal> | met / NOT MET / -
// Everything else a bench prints is its own detail.

#include <cstdio>
#include <optional>
#include <string>

namespace kv::bench {

// met: whether the value reaches the goal; none for figures without a goal.
inline void summary(const std::string& figure, const std::string& value, const std::string& goal,
                    std::optional<bool> met) {
    std::printf("@summary %s | %s | %s | %s\n", figure.c_str(), value.c_str(), goal.c_str(),
                !met   ? "-"
                : *met ? "met"
                       : "NOT MET");
    std::fflush(stdout);
}

// printf-style formatting for the value and goal columns.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

}  // namespace kv::bench
