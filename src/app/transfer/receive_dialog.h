#pragma once

#include <QDialog>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/line_settings.h"
#include "model/measurement_record.h"
#include "settings/app_settings.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;

namespace plm::ui {
class ActivityIndicator;
}  // namespace plm::ui

namespace plm::link {
class TransferRun;
struct TransferNotify;
struct TransferFigures;
}  // namespace plm::link

namespace plm::app {

// The receive dialog (CCommRead), "データの受信": runs one transfer from the tester, or from a
// captured transfer file, on its own thread and hands the received measurements back. It closes by
// itself with OK when the transfer completes and stays open with the problem shown when it fails.
// Beside the list it shows how far the measurement being received has come, the rate, the time
// left and the journal file; once the line has been silent for a while, how long it has been
// silent instead of the rate. Measurements that arrived whole before a failure or "中断／戻る" are
// kept for the caller as from an interrupted transfer; nothing else survives. With
// "収集データを表示する" unticked the list keeps only the status and error texts, not the texts
// and hexadecimal dumps of every block.
class CCommRead : public QDialog {
    Q_OBJECT
  public:
    // The list keeps at most this many lines (plus the one being added).
    static constexpr int MaxLines = 30000;

    // `program` gives the transfer's switches, `settings` the serial line.
    CCommRead(const settings::AppSettings& program, const model::LineSettings& settings,
              QWidget* parent = nullptr);
    ~CCommRead() override;

    // Reads the captured transfer file at storedPath instead of the line.
    void setFile(const std::string& storedPath);
    // Opens this device instead of the port's (UTF-8 path).
    void setDevice(const std::string& fsPath) { device_ = fsPath; }
    // How long nothing may arrive before the silence is shown (shorter in tests).
    void setSilenceShown(std::chrono::milliseconds after) { silenceShown_ = after; }

    // The show collected data flag: true once the dialog opens, then as the check box is clicked.
    bool showCollected() const { return showCollected_; }
    // The received measurements in transfer order; empty unless ended with OK.
    const std::vector<model::MeasurementRecord>& results() const { return results_; }
    std::vector<model::MeasurementRecord> takeResults() { return std::move(results_); }
    // After the dialog ended without OK: the measurements that arrived whole (end code received
    // and checked) before the transfer failed or was stopped.
    std::vector<model::MeasurementRecord> takeInterrupted() { return std::move(interrupted_); }

    // Ends the transfer thread and waits for it while the window keeps
    // handling events; the window is disabled meanwhile.
    void StopTransfer();

    // Parts for tests and screenshots.
    QListWidget* progressList() const { return list_; }
    QLabel* statusLine() const { return status_; }
    QPushButton* cancelButton() const { return cancel_; }
    QCheckBox* collectedBox() const { return collected_; }
    QProgressBar* progressBar() const { return bar_; }
    QLabel* figuresLabel() const { return figures_; }
    QLabel* journalLabel() const { return journal_; }
    bool animating() const;
    bool running() const;

    // Enter does nothing: only a completed transfer ends the dialog with OK.
    void accept() override {}
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void startTransfer();
    void drain();
    void handle(const link::TransferNotify& notify);
    void addLine(const std::string& text);
    void showFigures(const link::TransferFigures& figures);
    void showSilence();
    void keepInterrupted();

    const settings::AppSettings& program_;
    model::LineSettings settings_;
    std::string device_;
    // Where the dialog is in its one transfer.
    enum class Phase {
        NotStarted,  // shown for the first time starts the transfer
        Receiving,
        Stopping,  // a stop was requested; the cancel path ends the dialog
        Ended,     // the thread ended (completed or failed)
    };

    std::optional<std::string> file_;  // a captured transfer file instead of the line
    bool commLog_ = false;
    bool showCollected_ = false;
    std::chrono::milliseconds silenceShown_{2000};
    Phase phase_ = Phase::NotStarted;
    std::vector<model::MeasurementRecord> results_;
    std::vector<model::MeasurementRecord> interrupted_;
    std::unique_ptr<link::TransferRun> run_;

    QPushButton* cancel_ = nullptr;
    QLabel* status_ = nullptr;
    ui::ActivityIndicator* activity_ = nullptr;
    QListWidget* list_ = nullptr;
    QCheckBox* collected_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* figures_ = nullptr;
    QLabel* journal_ = nullptr;
    QTimer* silenceTimer_ = nullptr;
};

}  // namespace plm::app
