#include "ui/wait_window.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace plm::ui {

WaitWindow::WaitWindow(const QString& title, const QString& text, QWidget* parent)
    : window_(std::make_unique<QWidget>(parent, Qt::Dialog | Qt::WindowTitleHint)) {
    window_->setWindowTitle(title);
    window_->setAttribute(Qt::WA_ShowWithoutActivating, false);
    auto* layout = new QVBoxLayout(window_.get());
    auto* label = new QLabel(QString(text).replace("\r\n", "\n"), window_.get());
    layout->addWidget(label);
    auto* busy = new QProgressBar(window_.get());
    busy->setRange(0, 0);  // a moving bar: the job has no known length
    layout->addWidget(busy);
    window_->setMinimumWidth(320);
    window_->show();
    window_->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitWindow::~WaitWindow() {
    QApplication::restoreOverrideCursor();
    window_->close();
}

}  // namespace plm::ui
