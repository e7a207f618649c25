#pragma once

#include <string>
#include <vector>

namespace plm::app {

// The document's current selection. Names are CP932; index -1 means none.
struct Selection {
    std::string customer;
    std::string circuit;
    std::string name;
    int index = -1;
    // With several measurements selected, all their positions, ascending
    // (index is the first); print and text output take them all.
    std::vector<int> indexes = {};
    bool operator==(const Selection&) const = default;

    // The selected positions: indexes while they start at index (a caller
    // that moved index alone has not kept them), else index alone, else none.
    std::vector<int> measurements() const {
        if (!indexes.empty() && indexes.front() == index)
            return indexes;
        return index >= 0 ? std::vector<int>{index} : std::vector<int>{};
    }
};

}  // namespace plm::app
