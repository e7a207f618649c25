#include "model/name_compare.h"

#include <algorithm>

namespace plm::model {
namespace {

inline unsigned char foldAscii(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

}  // namespace

int compareNames(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        // Deliberately byte-wise, trail bytes included: names that were equal
        // in files from other installations must stay equal here.
        int ca = foldAscii(static_cast<unsigned char>(a[i]));
        int cb = foldAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca - cb;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace plm::model
