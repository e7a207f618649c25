#pragma once

#include <string>

// Stored paths are CP932 and may use '\' as the separator (files from other
// installations). The file system sees UTF-8 paths with '/'.
namespace plm::support {

// CP932 stored path -> UTF-8 file-system path. Converts the encoding first and
// only then turns '\' into '/' (a CP932 trail byte may be 0x5C). A drive
// letter ("C:\...") that names no Linux folder is replaced by the user's home.
std::string toFsPath(const std::string& storedPath);

// UTF-8 file-system path -> CP932 stored form (separators stay '/').
std::string fromFsPath(const std::string& fsPath);

// The program folder (UTF-8): $PLMVIEW_HOME when set; else the folder of the
// executable when writable and not a system one (/usr/bin and the like, where
// an installed package lives); else $XDG_DATA_HOME/PLMView
// (~/.local/share/PLMView), created on first use. setProgramFolder overrides
// it (plmtool --home, tests).
std::string programFolder();
void setProgramFolder(const std::string& fsPath);

// Base name of the running program file without folder and extension ("PLMView", "plmtool").
std::string programBaseName();

// The runtime folder for local sockets: $XDG_RUNTIME_DIR, else /tmp.
std::string runtimeFolder();

// The folder for lock files: $XDG_RUNTIME_DIR when it is a folder of this
// user's own, else the program folder. Never a folder shared between users,
// where a lock file one user left would stand in every other user's way.
std::string lockFolder();

// Creates the folder and every missing parent (stored path, CP932). Returns
// false when a part cannot be created.
bool CreateFolderPath(const std::string& storedPath);

// Folder part of a stored path (up to, not including, the last real separator).
std::string folderOf(const std::string& storedPath);

}  // namespace plm::support
