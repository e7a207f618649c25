// The data file reader over arbitrary bytes: it either reads a tree or stops
// with ArchiveError, never sizes anything beyond the input, and whatever it
// reads writes back to bytes that read again to the same tree.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/data_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace plm::model;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CustomerTree tree;
    try {
        if (readDataFile(bytes, tree) != ReadStatus::Ok)
            return 0;
    } catch (const ArchiveError&) {
        return 0;
    }
    const std::string written = writeDataFile(tree);
    CustomerTree again;
    if (readDataFile(written, again) != ReadStatus::Ok)
        std::abort();
    if (writeDataFile(again) != written)
        std::abort();
    return 0;
}
