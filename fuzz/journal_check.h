#pragma once

// What the journal reader and cutter promise for any bytes at all, checked on
// one input: no crash and no read past the end (the sanitizers see those);
// every line read back is one the recorder could have written, so that
// writing it again reads the same; cutting keeps a prefix of whole lines, no
// more than asked, and never touches a file it cannot understand.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::fuzz {

// False, with the broken promise, when the reader or the cutter broke one.
bool checkJournal(const std::uint8_t* data, std::size_t size, std::string* broken);

}  // namespace kv::fuzz
