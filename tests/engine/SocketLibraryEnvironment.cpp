// Every test executable starts the socket library once, as the programs do at start-up.
#include <gtest/gtest.h>

#include "engine/BlockingSocket.h"

namespace {
class SocketLibraryEnvironment : public ::testing::Environment {
    nsSocket::SocketLibrary library;
};
[[maybe_unused]] const auto* registered = ::testing::AddGlobalTestEnvironment(new SocketLibraryEnvironment);
} // namespace
