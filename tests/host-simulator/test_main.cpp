// The host simulator's test program. The validator runs each check in a child
// process, which on Windows is a new run of this program: such a run does its
// one piece of work and ends before the tests are even looked at.
#include <gtest/gtest.h>

#include "host-simulator/isolated_host.h"

int main(int argc, char** argv) {
    Vorn::HostSimulator::RunChildWorkIfAsked(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
