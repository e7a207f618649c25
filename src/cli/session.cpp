#include "cli/session.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "model/backup_folder.h"
#include "model/measurement_record.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::cli {
namespace {

std::string& homeOverride() {
    static std::string value;
    return value;
}

std::string& dataOverride() {
    static std::string value;
    return value;
}

std::string& archiveConnection() {
    static std::string value;
    return value;
}

}  // namespace

void setArchiveOverride(const std::string& conninfo) {
    archiveConnection() = conninfo;
}
const std::string& archiveOverride() {
    return archiveConnection();
}

std::string absoluteFsPath(const std::string& fsPath) {
    return std::filesystem::absolute(fsPath).lexically_normal().string();
}

void setHomeOverride(const std::string& fsPath) {
    homeOverride() = absoluteFsPath(fsPath);
}
void setDataOverride(const std::string& fsPath) {
    dataOverride() = absoluteFsPath(fsPath);
}

Session& openSession() {
    static std::unique_ptr<Session> session;
    if (session)
        return *session;
    if (!homeOverride().empty())
        support::setProgramFolder(homeOverride());
    // A first run writes the INI files there (--home or PLMVIEW_HOME may
    // name a folder still to be made).
    const std::string home = support::programFolder();
    std::error_code ec;
    std::filesystem::create_directories(home, ec);
    if (ec)
        throw std::runtime_error("cannot create the program folder " + home + ": " + ec.message());
    session = std::make_unique<Session>();
    session->settings.Locate(settings::ProfileFile::Kind::ProgramFolder,
                             settings::kMainProfileName);
    session->settings.Load();
    model::configureBackups(session->settings);
    session->dataFile = dataOverride().empty() ? session->settings.dataFilePath()
                                               : support::fromFsPath(dataOverride());
    return *session;
}

int32_t sessionDevType() {
    return openSession().settings.deviceTypeIndex;
}

void printLine(const std::string& cp932) {
    printUtf8(support::toUtf8(cp932));
}

void printError(const std::string& cp932) {
    std::fputs(support::toUtf8(cp932).c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void printUtf8(const std::string& utf8) {
    std::fputs(utf8.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string jsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += support::format("\\u%04x", c);
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

}  // namespace plm::cli
