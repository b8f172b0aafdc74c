#pragma once

#include "IsolatedHome.h"

#include <QtTest>

// Like QTEST_MAIN, but the process runs with a temporary HOME made before the application object
// exists, so every path derived from the home folder lands in a throw-away place.
#define TARNWICK_TEST_MAIN(TestObject)                                                                     \
    namespace {                                                                                            \
    const tarnwick::test::IsolatedHome s_isolatedHome;                                                     \
    }                                                                                                      \
    QTEST_MAIN(TestObject)
