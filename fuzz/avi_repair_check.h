#pragma once

// What the AVI repair promises for any bytes at all, checked on one input:
// no crash and no read past the end (the sanitizers see those), a file it
// calls finished, not understood or frameless is left exactly as it was, and
// a file it repaired reads as finished, with the same frames, when checked
// again.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::fuzz {

// False, with the broken promise, when the repair broke one.
bool checkAviRepair(const std::uint8_t* data, std::size_t size, std::string* broken);

}  // namespace kv::fuzz
