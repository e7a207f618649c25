#include "common/gui/scripted_prompter.h"

#include "support/text_codec.h"

namespace plm::test {

std::vector<std::string> ScriptedPrompter::texts() const {
    std::vector<std::string> out;
    for (const Shown& s : shown_) {
        if (s.kind != Kind::OpenFile && s.kind != Kind::SaveFile && s.kind != Kind::Folder)
            out.push_back(s.text);
    }
    return out;
}

void ScriptedPrompter::clear() {
    replies_.clear();
    shown_.clear();
    problems_.clear();
}

void ScriptedPrompter::plain(const std::string& text) {
    shown_.push_back({Kind::Plain, text, {}});
}

void ScriptedPrompter::information(const std::string& text) {
    shown_.push_back({Kind::Information, text, {}});
}

void ScriptedPrompter::stop(const std::string& text) {
    shown_.push_back({Kind::Stop, text, {}});
}

ui::Answer ScriptedPrompter::nextAnswer(const std::string& text) {
    if (whileAsking_)
        whileAsking_(text);
    if (replies_.empty() || !std::holds_alternative<ui::Answer>(replies_.front())) {
        problems_.push_back("unanswered question: " + support::toUtf8(text));
        return ui::Answer::Cancel;
    }
    ui::Answer a = std::get<ui::Answer>(replies_.front());
    replies_.pop_front();
    return a;
}

bool ScriptedPrompter::askYesNo(const std::string& text, ui::Answer byDefault) {
    shown_.push_back({Kind::YesNo, text, {}, byDefault});
    return nextAnswer(text) == ui::Answer::Yes;
}

ui::Answer ScriptedPrompter::askYesNoCancel(const std::string& text, ui::Answer byDefault) {
    shown_.push_back({Kind::YesNoCancel, text, {}, byDefault});
    return nextAnswer(text);
}

std::optional<std::string> ScriptedPrompter::nextPath(Kind kind, const ui::FileRequest& request) {
    shown_.push_back({kind, request.title, request.initial});
    if (replies_.empty() || !std::holds_alternative<std::optional<std::string>>(replies_.front())) {
        problems_.push_back("unanswered chooser: " + support::toUtf8(request.title));
        return std::nullopt;
    }
    auto path = std::get<std::optional<std::string>>(replies_.front());
    replies_.pop_front();
    return path;
}

std::optional<std::string> ScriptedPrompter::openFile(const ui::FileRequest& request) {
    return nextPath(Kind::OpenFile, request);
}

std::optional<std::string> ScriptedPrompter::saveFile(const ui::FileRequest& request) {
    return nextPath(Kind::SaveFile, request);
}

std::optional<std::string> ScriptedPrompter::chooseFolder(const ui::FileRequest& request) {
    return nextPath(Kind::Folder, request);
}

}  // namespace plm::test
