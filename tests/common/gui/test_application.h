#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <memory>

// The one application object of a widget or chart test program. Tests never
// need a display: without a platform set, Qt's offscreen platform serves.
namespace plm::test {

// Creates the application object unless one exists.
void ensureApplication();

// Creates it before the first test and destroys it before the program's exit
// handlers run: a QApplication that outlives main() takes Qt's own globals
// down out of order. Each GUI test program registers one.
class QtTestEnvironment : public ::testing::Environment {
  public:
    void SetUp() override;
    void TearDown() override;

  private:
    std::unique_ptr<QApplication> app_;
};

}  // namespace plm::test
