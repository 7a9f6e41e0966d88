// Helpers shared by the test suites: a temporary settings folder and waiting on conditions.
#pragma once

#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <string>

namespace tarv::test {

// Polls `condition` (processing Qt events in between) until it holds or the timeout passes.
bool waitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A QApplication for the whole test binary, created on first use (offscreen platform).
void ensureApplication();

}  // namespace tarv::test
