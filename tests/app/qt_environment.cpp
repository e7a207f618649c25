#include "common/gui/test_application.h"

// gtest owns and deletes registered environments.
[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new plm::test::QtTestEnvironment);
