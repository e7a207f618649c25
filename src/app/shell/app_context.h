#pragma once

#include <string>

#include "model/error_reporter.h"
#include "settings/app_settings.h"

// What the whole desktop program shares: the one settings record of the run
// and the reporter that turns failures of the data file, import and export
// into message boxes.
namespace plm::app {

settings::AppSettings& appSettings();

// Shows each report through ui::prompter(): plain, information or stop box.
class PrompterErrorReporter : public model::ErrorReporter {
  public:
    void report(const std::string& text, model::MessageIcon icon) override;
};

model::ErrorReporter& guiErrorReporter();

}  // namespace plm::app
