// libFuzzer entry for the motion mask reader: scripts/fuzz.sh builds and runs
// it. The reader takes a path, so every input is written to one file of a
// private folder first. Its promise besides not crashing: a file it refuses
// leaves the mask as it was.

#include "capture/motion_mask.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<QTemporaryDir> folder;
QString maskPath;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);  // image format plugins
    QLoggingCategory::setFilterRules(
        QStringLiteral("kv.*=false\nqt.*=false\ndefault.warning=false"));
    folder = std::make_unique<QTemporaryDir>();
    maskPath = folder->filePath(QStringLiteral("Mask.bmp"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        QFile file(maskPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
            return 0;
        }
    }
    kv::capture::MotionMask mask;
    // A pattern no file is likely to give, so that a change shows.
    for (int y = 0; y < kv::capture::MotionMask::kHeight; ++y) {
        for (int x = 0; x < kv::capture::MotionMask::kWidth; ++x) {
            mask.setActive(x, y, (x + 2 * y) % 3 == 0);
        }
    }
    const kv::capture::MotionMask::Bits before = mask.bits();
    if (!mask.load(maskPath) && mask.bits() != before) {
        std::fprintf(stderr, "broken promise: a refused file changed the mask\n");
        std::abort();
    }
    return 0;
}
