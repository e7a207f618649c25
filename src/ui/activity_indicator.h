#pragma once

#include <QTimer>
#include <QWidget>

namespace plm::ui {

// A ring of dots that turns while something runs in the background.
class ActivityIndicator : public QWidget {
    Q_OBJECT
  public:
    explicit ActivityIndicator(QWidget* parent = nullptr);

    void start();
    void stop();
    bool running() const { return timer_.isActive(); }

    QSize sizeHint() const override { return {48, 48}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QTimer timer_;
    int step_ = 0;
};

}  // namespace plm::ui
