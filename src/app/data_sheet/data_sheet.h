#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace plm::model {
class CustomerTree;
}

// The data management sheet as the main window sees it. The sheet itself
// (pages, lists, transfer) lives elsewhere and registers a factory here; the
// main window only knows this interface, so its flows can be driven with a
// scripted stand-in.
namespace plm::app {

// The numeric values are the page's mode codes.
enum class SheetMode { Display = 0, Edit = 1, Transfer = 2 };

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

class DataSheet {
  public:
    virtual ~DataSheet() = default;

    // Shows the sheet modally over parent on tree: a working copy in edit and
    // transfer modes, the document's own tree in display mode. selection goes
    // in as the starting selection; when the sheet closes with OK it holds the
    // selection the user left and run returns true. On any other close it is
    // left as it was and run returns false.
    virtual bool run(SheetMode mode, model::CustomerTree& tree, Selection& selection,
                     QWidget* parent) = 0;
};

using DataSheetFactory = std::function<std::unique_ptr<DataSheet>()>;

// The application installs the real sheet's factory at start-up; tests install
// a scripted one. Returns the previous factory.
DataSheetFactory setDataSheetFactory(DataSheetFactory factory);

// A new sheet from the installed factory; nullptr when none is installed.
std::unique_ptr<DataSheet> makeDataSheet();

}  // namespace plm::app
