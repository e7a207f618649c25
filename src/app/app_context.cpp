#include "app/app_context.h"

#include "app/prompter.h"

namespace plm::app {

settings::AppSettings& appSettings() {
    static settings::AppSettings settings;
    return settings;
}

void PrompterErrorReporter::report(const std::string& text, model::MessageIcon icon) {
    switch (icon) {
        case model::MessageIcon::Plain:
            prompter().plain(text);
            break;
        case model::MessageIcon::Information:
            prompter().information(text);
            break;
        case model::MessageIcon::Stop:
            prompter().stop(text);
            break;
    }
}

model::ErrorReporter& guiErrorReporter() {
    static PrompterErrorReporter reporter;
    return reporter;
}

}  // namespace plm::app
