#pragma once

#include "IsolatedHome.h"

#include <QtTest>

// The stock QTRY_* macros give up after 5 s. On a loaded two-core CI machine, with every test running
// in parallel, a simulated phone or a queued signal can take longer than that to come round, so the
// plain macros wait as long as the explicit _WITH_TIMEOUT ones usually do. A passing check still
// returns the moment its condition holds; only a real failure waits the whole bound.
namespace tarnwick::test {
constexpr int kTryTimeoutMs = 20000;
}
#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, tarnwick::test::kTryTimeoutMs)
#undef QTRY_VERIFY2
#define QTRY_VERIFY2(expr, messageExpression)                                                                \
    QTRY_VERIFY2_WITH_TIMEOUT(expr, messageExpression, tarnwick::test::kTryTimeoutMs)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, tarnwick::test::kTryTimeoutMs)

// Like QTEST_MAIN, but the process runs with a temporary HOME made before the application object
// exists, so every path derived from the home folder lands in a throw-away place.
#define TARNWICK_TEST_MAIN(TestObject)                                                                     \
    namespace {                                                                                            \
    const tarnwick::test::IsolatedHome s_isolatedHome;                                                     \
    }                                                                                                      \
    QTEST_MAIN(TestObject)
