#pragma once

#include <optional>
#include <string>

class QWidget;

// Every message box, question and file or folder chooser of the program goes
// through one Prompter, so tests can script the answers and read back every
// text the user would have seen. Texts and paths are CP932 (stored form).
namespace plm::ui {

enum class Answer { Yes, No, Cancel };

struct FileRequest {
    std::string title;  // window title; empty for the toolkit's default
    std::string filter;  // Qt filter text, e.g. "ﾓﾙﾍﾞｰﾝ ﾌｧｲﾙ (*.qbx);;すべてのﾌｧｲﾙ (*)"
    std::string initial;  // stored path of the folder or file to start from
};

class Prompter {
  public:
    virtual ~Prompter() = default;

    virtual void plain(const std::string& text) = 0;        // no icon, OK
    virtual void information(const std::string& text) = 0;  // information icon, OK
    virtual void stop(const std::string& text) = 0;         // stop icon, OK: a refused input
    // Questions (question icon). `byDefault` is the answer that Enter gives: a question
    // whose other answer destroys data passes the answer that keeps it.
    virtual bool askYesNo(const std::string& text, Answer byDefault = Answer::Yes) = 0;
    virtual Answer askYesNoCancel(const std::string& text, Answer byDefault = Answer::Yes) = 0;
    virtual std::optional<std::string> openFile(const FileRequest& request) = 0;
    virtual std::optional<std::string> saveFile(const FileRequest& request) = 0;
    virtual std::optional<std::string> chooseFolder(const FileRequest& request) = 0;
};

// The QMessageBox / QFileDialog implementation. Boxes carry the application
// title and are parented to the active window.
class QtPrompter : public Prompter {
  public:
    void plain(const std::string& text) override;
    void information(const std::string& text) override;
    void stop(const std::string& text) override;
    bool askYesNo(const std::string& text, Answer byDefault = Answer::Yes) override;
    Answer askYesNoCancel(const std::string& text, Answer byDefault = Answer::Yes) override;
    std::optional<std::string> openFile(const FileRequest& request) override;
    std::optional<std::string> saveFile(const FileRequest& request) override;
    std::optional<std::string> chooseFolder(const FileRequest& request) override;
};

// The program's one prompter. A QtPrompter unless one was installed.
Prompter& prompter();

// Installs a prompter for the lifetime of this object (tests) and restores the
// previous one afterwards.
class ScopedPrompter {
  public:
    explicit ScopedPrompter(Prompter& replacement);
    ~ScopedPrompter();
    ScopedPrompter(const ScopedPrompter&) = delete;
    ScopedPrompter& operator=(const ScopedPrompter&) = delete;

  private:
    Prompter* previous_;
};

// The program is ending on a termination request (SIGTERM, the session
// ending) and nobody is there to answer: the open message boxes are closed,
// none is shown any more, and the texts they showed or would have shown go
// to the application log. A question asked meanwhile gets the answer its
// Escape key gives; a caller whose question decides what is kept asks
// endingWithoutAnswers() and gives no answer on the user's behalf.
void endWithoutAnswers();
bool endingWithoutAnswers();

// Lifts endWithoutAnswers() (the end request's owner goes away).
void resumeAnswers();

// The title of every message box: the application name.
const std::string& appTitle();

}  // namespace plm::ui
