#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "model/line_settings.h"
#include "model/measurement_record.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace plm::ui {
class ActivityIndicator;
}  // namespace plm::ui

namespace plm::link {
class TransferRun;
struct TransferNotify;
}  // namespace plm::link

namespace plm::app {

// The receive dialog (CCommRead), "データの受信": runs one transfer from the tester, or from a
// captured transfer file, on its own thread and hands the received measurements back. It closes by
// itself with OK when the transfer completes, stays open with the problem shown when it fails, and
// discards everything on "中断／戻る".
class CCommRead : public QDialog {
    Q_OBJECT
  public:
    // The list keeps at most this many lines (plus the one being added).
    static constexpr int MaxLines = 30000;

    explicit CCommRead(const model::LineSettings& settings, QWidget* parent = nullptr);
    ~CCommRead() override;

    // Reads the captured transfer file at storedPath instead of the line.
    void setFile(const std::string& storedPath);
    // Opens this device instead of the port's (UTF-8 path).
    void setDevice(const std::string& fsPath) { device_ = fsPath; }

    bool showCollected() const { return showCollected_; }
    // The received measurements in transfer order; empty unless ended with OK.
    const std::vector<model::MeasurementRecord>& results() const { return results_; }
    std::vector<model::MeasurementRecord> takeResults() { return std::move(results_); }

    // Ends the transfer thread and waits for it while the window keeps
    // handling events; the window is disabled meanwhile.
    void StopTransfer();

    // Parts for tests and screenshots.
    QListWidget* progressList() const { return list_; }
    QLabel* statusLine() const { return status_; }
    QPushButton* cancelButton() const { return cancel_; }
    QCheckBox* collectedBox() const { return collected_; }
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

    model::LineSettings settings_;
    std::string file_;
    std::string device_;
    bool fileMode_ = false;
    bool showCollected_ = false;
    bool commLog_ = false;
    bool stopping_ = false;
    bool started_ = false;
    std::vector<model::MeasurementRecord> results_;
    std::unique_ptr<link::TransferRun> run_;

    QPushButton* cancel_ = nullptr;
    QLabel* status_ = nullptr;
    ui::ActivityIndicator* activity_ = nullptr;
    QListWidget* list_ = nullptr;
    QCheckBox* collected_ = nullptr;
};

}  // namespace plm::app
