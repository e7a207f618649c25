#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/document/selection.h"

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

class DataSheet {
  public:
    virtual ~DataSheet() = default;

    // Shows the sheet modally over parent on tree, a working copy, in edit or
    // transfer mode. selection goes in as the starting selection; when the
    // sheet closes with OK it holds the selection the user left and run
    // returns true. On any other close it is left as it was and run returns
    // false.
    virtual bool run(SheetMode mode, model::CustomerTree& tree, Selection& selection,
                     QWidget* parent) = 0;
    // The same in display mode, on the document's own tree, which nothing in
    // that mode changes.
    virtual bool display(const model::CustomerTree& tree, Selection& selection,
                         QWidget* parent) = 0;

    // In transfer mode the sheet opens reading this captured transfer file
    // (stored path), as "データをファイルから読み込む" does once a file is chosen.
    void readOnOpen(std::string storedPath) { readOnOpen_ = std::move(storedPath); }
    const std::string& fileReadOnOpen() const { return readOnOpen_; }

  private:
    std::string readOnOpen_;
};

using DataSheetFactory = std::function<std::unique_ptr<DataSheet>()>;

// The application installs the real sheet's factory at start-up; tests install
// a scripted one. Returns the previous factory.
DataSheetFactory setDataSheetFactory(DataSheetFactory factory);

// A new sheet from the installed factory; nullptr when none is installed.
std::unique_ptr<DataSheet> makeDataSheet();

}  // namespace plm::app
