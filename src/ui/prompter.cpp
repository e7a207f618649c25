#include "ui/prompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <algorithm>

#include "chart/qt_text.h"
#include "support/log_writer.h"
#include "support/paths.h"
#include "support/text_codec.h"

namespace plm::ui {

namespace {

QWidget* owner() {
    return QApplication::activeWindow();
}

bool& ending() {
    static bool flag = false;
    return flag;
}

// A box nobody answered, in one log line.
void logUnanswered(const std::string& text) {
    std::string line = support::sj("終了の要求により応答なしで閉じたメッセージ：") + text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    support::AppLog().writeLine(line);
}

// What Escape gives on a box with these buttons.
QMessageBox::StandardButton escapeAnswer(QMessageBox::StandardButtons buttons) {
    for (QMessageBox::StandardButton b : {QMessageBox::Cancel, QMessageBox::No})
        if (buttons.testFlag(b))
            return b;
    return QMessageBox::Ok;
}

int showBox(QMessageBox::Icon icon, const std::string& text, QMessageBox::StandardButtons buttons,
            QMessageBox::StandardButton byDefault = QMessageBox::NoButton) {
    QMessageBox box(icon, qs(appTitle()), qs(text), buttons, owner());
    if (byDefault != QMessageBox::NoButton)
        box.setDefaultButton(byDefault);
    if (ending()) {
        logUnanswered(text);
        return escapeAnswer(buttons);
    }
    const int answer = box.exec();
    if (ending())  // closed by the end request
        logUnanswered(text);
    return answer;
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

void endWithoutAnswers() {
    ending() = true;
    // Each box's own event loop ends when it closes; a box that refuses to
    // close (none of the program's do) must not hold the loop here.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
}

bool endingWithoutAnswers() {
    return ending();
}

void resumeAnswers() {
    ending() = false;
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
