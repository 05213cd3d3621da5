// libFuzzer entry for the journal reader and cutter: scripts/fuzz.sh builds
// and runs it.

#include "fuzz/journal_check.h"

#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Each cut is logged; millions of log lines would only slow the run.
    QLoggingCategory::setFilterRules(QStringLiteral("kv.*=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string broken;
    if (!kv::fuzz::checkJournal(data, size, &broken)) {
        std::fprintf(stderr, "broken promise: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
