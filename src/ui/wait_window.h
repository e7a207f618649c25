#pragma once

#include <QString>
#include <memory>

class QWidget;

namespace plm::ui {

// A small modeless window that tells the user to wait while the GUI thread
// does a blocking job; shown and painted at once, closed on destruction.
class WaitWindow {
  public:
    WaitWindow(const QString& title, const QString& text, QWidget* parent = nullptr);
    ~WaitWindow();
    WaitWindow(const WaitWindow&) = delete;
    WaitWindow& operator=(const WaitWindow&) = delete;

  private:
    std::unique_ptr<QWidget> window_;
};

}  // namespace plm::ui
