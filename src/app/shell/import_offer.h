#pragma once

#include <QString>

#include "model/customer_tree.h"

namespace plm::app {

// A file the desktop hands to the program (a double-click on it, "open with")
// that holds customers to import: named *.qbx, or starting like a data file,
// which is how the desktop's file type recognises an export file.
bool isExportFile(const QString& path);

// Asks whether to import the customers of the export file at `path` and, on
// yes, merges them into `tree` as the import command does: taken names are
// renamed, nothing is saved here. Returns true when the import ran.
bool offerImport(model::CustomerTree& tree, const QString& path);

}  // namespace plm::app
