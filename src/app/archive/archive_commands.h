#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "settings/app_settings.h"

class QLabel;
class QMainWindow;
class QProgressDialog;

namespace plm::app {

class CPLMViewDoc;
class MeasurementBrowser;

// The team archive in the main window: ファイル → アーカイブと同期, 設定 →
// アーカイブ設定, the automatic sync every [Archive] IntervalMinutes, the
// status-bar pane with the last sync and the measurements not yet in the
// archive, and the browser's marks of those. With no archive configured the
// pane and the marks are not shown.
class ArchiveCommands : public QObject {
    Q_OBJECT
  public:
    ArchiveCommands(QMainWindow& frame, MeasurementBrowser& browser, CPLMViewDoc& doc,
                    settings::AppSettings& settings);

    // Saves what the document holds, syncs under a progress window and reads
    // the data file anew. True when the sync ran through (or was stopped by
    // the user); a server that cannot be reached changes nothing here and
    // the status bar says so. `automatic`: from the timer, which asks nothing
    // before the sync and says a failure only in the status bar.
    bool OnSync(bool automatic = false);
    void OnSettings();

    QLabel* statusPane() const { return pane_; }
    QTimer& autoSyncTimer() { return timer_; }
    bool syncing() const { return syncing_; }

    // Sees the progress window of each sync before its worker starts (tests).
    void setSyncStartedHook(std::function<void(QProgressDialog&)> hook) {
        started_ = std::move(hook);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void addActions();
    void refresh();
    void restartTimer();
    void onTimer();
    void tell(const std::string& text);

    QMainWindow& frame_;
    MeasurementBrowser& browser_;
    CPLMViewDoc& doc_;
    settings::AppSettings& settings_;
    QLabel* pane_ = nullptr;
    QTimer timer_;
    bool syncing_ = false;
    bool closeAsked_ = false;  // the window was closed during a sync
    std::function<void(QProgressDialog&)> started_;
};

// Puts the archive's commands into the menus of `frame` and its pane into the
// status bar; `browser` is the frame's.
ArchiveCommands* addArchiveCommands(QMainWindow& frame, MeasurementBrowser& browser,
                                    CPLMViewDoc& doc, settings::AppSettings& settings);

}  // namespace plm::app
