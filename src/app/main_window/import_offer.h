#pragma once

#include <QString>
#include <string>
#include <vector>

namespace plm::app {

class CPLMViewDoc;

// A file the desktop hands to the program (a double-click on it, "open with")
// that holds customers to import: named *.qbx, or starting like a data file,
// which is how the desktop's file type recognises an export file.
bool isExportFile(const QString& path);

// A regular file whose start reads as a captured transfer (hexadecimal text,
// one block a line), as "データをファイルから読み込む" reads it.
bool isCapturedTransferFile(const QString& path);

// Asks whether to import the customers of the export file at `path` and, on
// yes, imports them into the document as the import command does: taken
// names are renamed and the data file is saved at once. Returns the names
// given to the customers added; none when the user said no or nothing was added.
std::vector<std::string> offerImport(CPLMViewDoc& doc, const QString& path);

}  // namespace plm::app
