#include "ui/prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include "chart/qt_text.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::ui {

namespace {

QWidget* owner() {
    return QApplication::activeWindow();
}

int showBox(QMessageBox::Icon icon, const std::string& text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton byDefault = QMessageBox::NoButton) {
    QMessageBox box(icon, qs(appTitle()), qs(text), buttons, owner());
    if (byDefault != QMessageBox::NoButton)
        box.setDefaultButton(byDefault);
    return box.exec();
}

QMessageBox::StandardButton buttonOf(Answer answer) {
    switch (answer) {
        case Answer::Yes:
            return QMessageBox::Yes;
        case Answer::No:
            return QMessageBox::No;
        case Answer::Cancel:
            break;
    }
    return QMessageBox::Cancel;
}

// A chooser starts from the file-system form of a stored path.
QString startPath(const FileRequest& request) {
    return request.initial.empty() ? QString() : fsPath(request.initial);
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

bool QtPrompter::askYesNo(const std::string& text, Answer byDefault) {
    // A two-button question has no Cancel: its safe answer is No.
    const Answer shownDefault = byDefault == Answer::Cancel ? Answer::No : byDefault;
    return showBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                   buttonOf(shownDefault)) == QMessageBox::Yes;
}

Answer QtPrompter::askYesNoCancel(const std::string& text, Answer byDefault) {
    switch (showBox(QMessageBox::Question, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    buttonOf(byDefault))) {
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

}  // namespace plm::ui
