#pragma once

#include <string>

// The program's version block: product name, legal notice and versions.
namespace plm::app {

struct VersionInfo {
    std::string productName;     // CP932
    std::string legalCopyright;  // CP932
    int product[4];
    int file[4];
};

const VersionInfo& versionInfo();

// "%d.%d.%d.%d"
std::string versionText(const int (&v)[4]);

}  // namespace plm::app
