#include "ui/activity_indicator.h"

#include <QPainter>
#include <cmath>
#include <numbers>

namespace plm::ui {

namespace {
constexpr int Dots = 12;
}

ActivityIndicator::ActivityIndicator(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % Dots;
        update();
    });
}

void ActivityIndicator::start() {
    timer_.start();
}

void ActivityIndicator::stop() {
    timer_.stop();
    update();
}

void ActivityIndicator::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double radius = std::min(width(), height()) / 2.0 - 5;
    const QColor base = palette().color(QPalette::Highlight);
    for (int i = 0; i < Dots; ++i) {
        const double angle = 2 * std::numbers::pi * i / Dots;
        // The dot at the current step is the brightest; a stopped ring is grey.
        const int age = (step_ - i + Dots) % Dots;
        QColor c = running() ? base : palette().color(QPalette::Mid);
        c.setAlphaF(running() ? 1.0 - 0.07 * age : 0.6);
        p.setBrush(c);
        p.drawEllipse(centre + QPointF(radius * std::cos(angle), radius * std::sin(angle)), 3.5,
                      3.5);
    }
}

}  // namespace plm::ui
