#include "fuzz/avi_repair_check.h"

#include "record/avi_repair.h"

#include <vector>

namespace kv::fuzz {

using record::AviState;
using record::MemoryStorage;

bool checkAviRepair(const std::uint8_t* data, std::size_t size, std::string* broken) {
    const std::vector<std::uint8_t> original(data, data + size);
    MemoryStorage storage(original);
    const record::AviRepairResult result = record::repairAvi(storage);
    switch (result.state) {
        case AviState::Finished:
        case AviState::NotUnderstood:
        case AviState::NoFrames:
            if (storage.bytes() != original) {
                *broken =
                    std::string("changed a file it called ") + record::aviStateName(result.state);
                return false;
            }
            return true;
        case AviState::Repaired: {
            MemoryStorage again(storage.bytes());
            const record::AviRepairResult second = record::repairAvi(again);
            if (second.state != AviState::Finished || second.frames != result.frames ||
                again.bytes() != storage.bytes()) {
                *broken = std::string("a repaired file checks as ") +
                          record::aviStateName(second.state) + " with " +
                          std::to_string(second.frames) + " frames, not " +
                          std::to_string(result.frames) + " " + second.reason;
                return false;
            }
            return true;
        }
        case AviState::Unfinished:
            *broken = "a repair only checked";
            return false;
        case AviState::RepairedWithoutIndex:
        case AviState::Failed:
            *broken = "memory cannot fail to be written";
            return false;
    }
    return true;
}

}  // namespace kv::fuzz
