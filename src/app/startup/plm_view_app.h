#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

namespace plm::app {

class CloseOnSignal;
class CMainFrame;
class CPLMViewDoc;
class SingleInstance;

// The application: one running copy, the settings, the application log, the
// check for an abnormal end of the previous run, one document and one frame.
class PlmViewApp : public QObject {
    Q_OBJECT
  public:
    enum class Start { Running, HandedOver, Failed };

    PlmViewApp();
    ~PlmViewApp() override;

    // The start-up sequence. `commandLine` holds the arguments after the
    // program name; a file name opens a document. An export file (a
    // double-click on it in a file manager) is then offered for import, by
    // this copy or, when one is running already, by that one.
    Start InitInstance(const QStringList& commandLine);

    // The exit sequence; returns the process exit status. Writes the settings
    // back only when the start-up completed.
    int ExitInstance();

    CMainFrame* frame() const { return frame_.get(); }
    CPLMViewDoc* document() const { return doc_.get(); }
    bool startupIncomplete() const { return startupIncomplete_; }

  private:
    void setUpLogAndCheck();
    bool createDocumentAndFrame(const QStringList& arguments);
    void raiseFrame();
    void offerImportOf(const QString& file);

    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<CPLMViewDoc> doc_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<CloseOnSignal> closer_;
    bool startupIncomplete_ = true;
};

// The name every copy agrees on for the start-up lock and the hand-over socket.
inline constexpr const char* kInstanceName = "20051211PLMView";

// The integer in [check] RunningNum after a normal end.
inline constexpr int kNormalEndMarker = 15685;

}  // namespace plm::app
