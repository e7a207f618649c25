#include "app/prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::app {

namespace {

QString qs(const std::string& cp932) {
    return QString::fromStdString(support::toUtf8(cp932));
}

QWidget* owner() {
    return QApplication::activeWindow();
}

int showBox(QMessageBox::Icon icon, const std::string& text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, qs(appTitle()), qs(text), buttons, owner());
    return box.exec();
}

// A chooser starts from the file-system form of a stored path.
QString startPath(const FileRequest& request) {
    return request.initial.empty() ? QString()
                                   : QString::fromStdString(support::toFsPath(request.initial));
}

std::optional<std::string> storedPath(const QString& chosen) {
    if (chosen.isEmpty())
        return std::nullopt;
    return support::fromFsPath(chosen.toStdString());
}

Prompter*& installed() {
    static Prompter* current = nullptr;
    return current;
}

}  // namespace

const std::string& appTitle() {
    return support::sj("モルベーン");
}

void QtPrompter::plain(const std::string& text) {
    showBox(QMessageBox::NoIcon, text, QMessageBox::Ok);
}

void QtPrompter::information(const std::string& text) {
    showBox(QMessageBox::Information, text, QMessageBox::Ok);
}

void QtPrompter::stop(const std::string& text) {
    showBox(QMessageBox::Critical, text, QMessageBox::Ok);
}

bool QtPrompter::askYesNo(const std::string& text) {
    return showBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

Answer QtPrompter::askYesNoCancel(const std::string& text) {
    switch (showBox(QMessageBox::Question, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return Answer::Cancel;
    }
}

std::optional<std::string> QtPrompter::openFile(const FileRequest& request) {
    return storedPath(QFileDialog::getOpenFileName(owner(), qs(request.title), startPath(request),
                                                   qs(request.filter)));
}

std::optional<std::string> QtPrompter::saveFile(const FileRequest& request) {
    // The callers ask their own overwrite question with the designed text.
    return storedPath(QFileDialog::getSaveFileName(owner(), qs(request.title), startPath(request),
                                                   qs(request.filter), nullptr,
                                                   QFileDialog::DontConfirmOverwrite));
}

std::optional<std::string> QtPrompter::chooseFolder(const FileRequest& request) {
    return storedPath(
        QFileDialog::getExistingDirectory(owner(), qs(request.title), startPath(request)));
}

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

Answer ScriptedPrompter::nextAnswer(const std::string& text) {
    if (replies_.empty() || !std::holds_alternative<Answer>(replies_.front())) {
        problems_.push_back("unanswered question: " + support::toUtf8(text));
        return Answer::Cancel;
    }
    Answer a = std::get<Answer>(replies_.front());
    replies_.pop_front();
    return a;
}

bool ScriptedPrompter::askYesNo(const std::string& text) {
    shown_.push_back({Kind::YesNo, text, {}});
    return nextAnswer(text) == Answer::Yes;
}

Answer ScriptedPrompter::askYesNoCancel(const std::string& text) {
    shown_.push_back({Kind::YesNoCancel, text, {}});
    return nextAnswer(text);
}

std::optional<std::string> ScriptedPrompter::nextPath(Kind kind, const FileRequest& request) {
    shown_.push_back({kind, request.title, request.initial});
    if (replies_.empty() || !std::holds_alternative<std::optional<std::string>>(replies_.front())) {
        problems_.push_back("unanswered chooser: " + support::toUtf8(request.title));
        return std::nullopt;
    }
    auto path = std::get<std::optional<std::string>>(replies_.front());
    replies_.pop_front();
    return path;
}

std::optional<std::string> ScriptedPrompter::openFile(const FileRequest& request) {
    return nextPath(Kind::OpenFile, request);
}

std::optional<std::string> ScriptedPrompter::saveFile(const FileRequest& request) {
    return nextPath(Kind::SaveFile, request);
}

std::optional<std::string> ScriptedPrompter::chooseFolder(const FileRequest& request) {
    return nextPath(Kind::Folder, request);
}

Prompter& prompter() {
    static QtPrompter qtPrompter;
    Prompter* p = installed();
    return p ? *p : qtPrompter;
}

ScopedPrompter::ScopedPrompter(Prompter& replacement) : previous_(installed()) {
    installed() = &replacement;
}

ScopedPrompter::~ScopedPrompter() {
    installed() = previous_;
}

}  // namespace plm::app
