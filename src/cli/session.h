#pragma once

#include <string>

#include "settings/app_settings.h"

// What every plmtool command shares: the program folder, the loaded settings
// (a first run writes both INI files), the data file path and the terminal.
namespace plm::cli {

struct Session {
    settings::AppSettings settings;
    std::string dataFile;  // stored (CP932) absolute path of the data file
};

// A path typed on the command line, taken from the working folder: as a
// stored path, one that starts with "." would mean the program folder.
std::string absoluteFsPath(const std::string& fsPath);

// Set by main from --home / --data before any command runs.
void setHomeOverride(const std::string& fsPath);
void setDataOverride(const std::string& fsPath);
// --archive CONNINFO: the archive instead of [Archive] Connection.
void setArchiveOverride(const std::string& conninfo);
const std::string& archiveOverride();

// Locates and loads the settings and applies the overrides. Every command
// calls it first.
Session& openSession();

// The configured device type of the session's settings: plmtool gives it to
// every tree and scan that reads records and to every decoded transfer.
int32_t sessionDevType();

// UTF-8 output of a CP932 system text, one line, flushed at once.
void printLine(const std::string& cp932);
void printError(const std::string& cp932);
// UTF-8 output of a UTF-8 text (for JSON and the program's own English lines).
void printUtf8(const std::string& utf8);

// Minimal JSON string escaping of a UTF-8 text.
std::string jsonString(const std::string& utf8);

}  // namespace plm::cli
