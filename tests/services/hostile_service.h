#pragma once
// hostile_server.py as a GoogleTest environment: one server per test binary. Shared by the
// engine's and the player's hostile-server tests. Runs on the test's main thread.

#include "hostile_server.h"

#include <gtest/gtest.h>

namespace tl::test {

class HostileService : public ::testing::Environment, public HostileServer {
public:
    void SetUp() override {
        const QString failed =
            start(QStringLiteral(TL_SOURCE_DIR "/tests/services/hostile_server.py"));
        ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    }
    void TearDown() override { stop(); }
};

} // namespace tl::test
