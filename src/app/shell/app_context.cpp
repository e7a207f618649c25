#include "app/shell/app_context.h"

#include "ui/prompter.h"

namespace plm::app {

settings::AppSettings& appSettings() {
    static settings::AppSettings settings;
    return settings;
}

void PrompterErrorReporter::report(const std::string& text, model::MessageIcon icon) {
    switch (icon) {
        case model::MessageIcon::Plain:
            ui::prompter().plain(text);
            break;
        case model::MessageIcon::Information:
            ui::prompter().information(text);
            break;
        case model::MessageIcon::Stop:
            ui::prompter().stop(text);
            break;
    }
}

model::ErrorReporter& guiErrorReporter() {
    static PrompterErrorReporter reporter;
    return reporter;
}

}  // namespace plm::app
