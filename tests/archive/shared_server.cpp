#include <gtest/gtest.h>

#include <memory>

#include "archive/pg_server.h"

namespace plm::test {
namespace {

class ServerEnvironment : public ::testing::Environment {
  public:
    void TearDown() override { server.reset(); }
    std::unique_ptr<PgServer> server;
};

ServerEnvironment* environment() {
    static ServerEnvironment* env = [] {
        auto* e = new ServerEnvironment;
        ::testing::AddGlobalTestEnvironment(e);
        return e;
    }();
    return env;
}

// Registered before the tests run, so the environment's TearDown stops the server.
[[maybe_unused]] ServerEnvironment* const kRegistered = environment();

}  // namespace

PgServer& sharedServer() {
    if (!environment()->server)
        environment()->server = std::make_unique<PgServer>();
    return *environment()->server;
}

}  // namespace plm::test
