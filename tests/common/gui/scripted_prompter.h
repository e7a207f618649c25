#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "ui/prompter.h"

namespace plm::test {

// Answers from a queue and records every shown text, in order. A question or
// chooser with no matching answer queued gets No / Cancel / nothing and is
// listed in problems(), so a test can tell an unexpected prompt from a wanted one.
class ScriptedPrompter : public ui::Prompter {
  public:
    enum class Kind { Plain, Information, Stop, YesNo, YesNoCancel, OpenFile, SaveFile, Folder };
    struct Shown {
        Kind kind;
        std::string text;                        // message text, or the chooser's title
        std::string initial;                     // chooser's starting path
        ui::Answer byDefault = ui::Answer::Yes;  // a question's default answer
    };

    void queueAnswer(ui::Answer answer) { replies_.emplace_back(answer); }
    void queueYes() { queueAnswer(ui::Answer::Yes); }
    void queueNo() { queueAnswer(ui::Answer::No); }
    // A chooser's result: a stored path, or std::nullopt for cancel.
    void queuePath(std::optional<std::string> path) { replies_.emplace_back(std::move(path)); }

    // Runs while each question is open, before its queued answer is taken:
    // what other programs do while the user thinks.
    void whileAsking(std::function<void(const std::string& text)> action) {
        whileAsking_ = std::move(action);
    }

    const std::vector<Shown>& shown() const { return shown_; }
    std::vector<std::string> texts() const;  // message texts only, in order
    const std::vector<std::string>& problems() const { return problems_; }
    size_t pending() const { return replies_.size(); }
    void clear();

    void plain(const std::string& text) override;
    void information(const std::string& text) override;
    void stop(const std::string& text) override;
    bool askYesNo(const std::string& text, ui::Answer byDefault = ui::Answer::Yes) override;
    ui::Answer askYesNoCancel(const std::string& text,
                              ui::Answer byDefault = ui::Answer::Yes) override;
    std::optional<std::string> openFile(const ui::FileRequest& request) override;
    std::optional<std::string> saveFile(const ui::FileRequest& request) override;
    std::optional<std::string> chooseFolder(const ui::FileRequest& request) override;

  private:
    using Reply = std::variant<ui::Answer, std::optional<std::string>>;
    ui::Answer nextAnswer(const std::string& text);
    std::optional<std::string> nextPath(Kind kind, const ui::FileRequest& request);

    std::deque<Reply> replies_;
    std::function<void(const std::string&)> whileAsking_;
    std::vector<Shown> shown_;
    std::vector<std::string> problems_;
};

}  // namespace plm::test
