#pragma once

#include <vector>

class QHeaderView;

namespace plm::ui {

// Sets every section to its designed width, or wider where its title needs
// more room, so that no column title is cut; the view scrolls sideways when
// the columns outgrow it.
void resizeSectionsToFit(QHeaderView& header, const std::vector<int>& designedWidths);

}  // namespace plm::ui
