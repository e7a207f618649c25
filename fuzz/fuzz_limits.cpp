// The limits file is kept by hand: whatever the bytes, reading it either
// gives a book or stops with the system's own message, and a book that was
// read writes back as bytes that read as the same book, and as the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "analysis/limits_file.h"
#include "support/cx_exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    plm::analysis::LimitsBook book;
    try {
        book = plm::analysis::LimitsBook::parse(bytes, "LIMITS.INI");
    } catch (const plm::CxException& e) {
        if (e.text().empty())
            std::abort();
        return 0;
    }
    const std::string written = book.bytes();
    const plm::analysis::LimitsBook again = plm::analysis::LimitsBook::parse(written, "LIMITS.INI");
    if (!(again.entries() == book.entries()) || again.bytes() != written)
        std::abort();
    return 0;
}
