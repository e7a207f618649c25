#include "app/shell/version_info.h"

#include "support/text_codec.h"

#ifndef PLMVIEW_VERSION_MAJOR
#error "PLMVIEW_VERSION_MAJOR and its siblings come from the build"
#endif

namespace plm::app {

const VersionInfo& versionInfo() {
    static const VersionInfo info{
        "PLMView",
        support::sj("Copyright (C) 2005-2026 PLMView の開発者"),
        {PLMVIEW_VERSION_MAJOR, PLMVIEW_VERSION_MINOR, PLMVIEW_VERSION_PATCH, 0},
        {PLMVIEW_VERSION_MAJOR, PLMVIEW_VERSION_MINOR, PLMVIEW_VERSION_PATCH, 0},
    };
    return info;
}

std::string versionText(const int (&v)[4]) {
    return support::format("%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
}

}  // namespace plm::app
