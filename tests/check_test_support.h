// What the --check tests say of a list of findings: all of them, one a line, for a failure's
// message, and how many there are of a level.
#ifndef KELBRUN_TESTS_CHECK_TEST_SUPPORT_H
#define KELBRUN_TESTS_CHECK_TEST_SUPPORT_H

#include <cstddef>
#include <string>
#include <vector>

#include "tools/kelbrun-sim/finding.h"

namespace testing_support {

inline std::string Listing(const setupcheck::Findings& findings) {
    std::string listing;
    for (const setupcheck::Finding& f : findings) {
        listing += (f.level == setupcheck::Finding::Level::kError ? "error: " : "warning: ") +
                   f.Text() + "\n";
    }
    return listing;
}

// The same lines, one an element, for tables that hold each finding's line exactly.
inline std::vector<std::string> ListingLines(const setupcheck::Findings& findings) {
    std::vector<std::string> lines;
    for (const setupcheck::Finding& f : findings) {
        lines.push_back((f.level == setupcheck::Finding::Level::kError ? "error: " : "warning: ") +
                        f.Text());
    }
    return lines;
}

inline size_t Count(const setupcheck::Findings& findings, setupcheck::Finding::Level level) {
    size_t count = 0;
    for (const setupcheck::Finding& f : findings) {
        count += f.level == level ? 1 : 0;
    }
    return count;
}

}  // namespace testing_support

#endif  // KELBRUN_TESTS_CHECK_TEST_SUPPORT_H
