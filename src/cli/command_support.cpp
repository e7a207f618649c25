#include "cli/command_support.h"

#include <optional>
#include <stdexcept>
#include <system_error>

#include "cli/command.h"
#include "cli/session.h"
#include "support/cx_exception.h"
#include "support/paths.h"
#include "support/staged_file.h"
#include "support/text_codec.h"

namespace plm::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) {
    interrupted = 1;
}

}  // namespace

void StderrReporter::report(const std::string& text, model::MessageIcon) {
    printError(text);
    failed = true;
}

namespace {

CxException takenOutput(const std::string& fsPath) {
    return CxException(
        support::format(support::sj("指定のファイルは既に存在しています\n%s").c_str(),
                        support::fromFsPath(fsPath).c_str()));
}

}  // namespace

void refuseTakenOutput(const Invocation& inv, const std::string& fsPath) {
    if (!inv.hasFlag("force") && support::outputNameTaken(fsPath))
        throw takenOutput(fsPath);
}

void writeOutputFile(const Invocation& inv, const std::string& fsPath, const std::string& bytes,
                     const std::string& shownPath) {
    try {
        support::writeStagedFile(fsPath, bytes, inv.hasFlag("force"));
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::file_exists)
            throw takenOutput(fsPath);
        throw std::runtime_error("cannot write " + shownPath + ": " + e.code().message());
    }
}

std::string storedText(const std::string& typed) {
    const std::optional<support::Unstorable> found = support::findUnstorable(typed);
    if (!found)
        return support::fromUtf8(typed);
    std::string text = support::toUtf8(support::unstorableText(*found));
    if (!found->character.empty() && found->character[0] != '\0')
        text += " " + found->character;
    throw UsageError{text};
}

int parseIndex(const std::string& text) {
    try {
        size_t used = 0;
        const int index = std::stoi(text, &used);
        if (used == text.size() && index >= 0)
            return index;
    } catch (const std::exception&) {
    }
    throw UsageError{"INDEX must be a record position (0, 1, ...)"};
}

bool interruptRequested() {
    return interrupted != 0;
}

InterruptGuard::InterruptGuard(bool restartCalls) {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESETHAND | (restartCalls ? SA_RESTART : 0);
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
}

InterruptGuard::~InterruptGuard() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
}

}  // namespace plm::cli
