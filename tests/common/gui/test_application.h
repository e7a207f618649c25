#pragma once

// The one application object of a widget or chart test binary, created on
// first use. Tests never need a display: without a platform set, Qt's
// offscreen platform serves.
namespace plm::test {

void ensureApplication();

}  // namespace plm::test
