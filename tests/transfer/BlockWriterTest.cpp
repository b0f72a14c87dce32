// The download's writer thread: blocks reach the file whole and in order through the two
// buffers taking turns, and a failed write stops the writing and is reported.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TransferTestSupport.h"
#include "framework/Handles.h"
#include "transfer/BlockWriter.h"

using namespace transfertests;

namespace {

constexpr std::size_t BLOCK = 64 * 1024;

TEST(BlockWriter, WritesBlocksInOrderOrStopsAtTheFirstFailedWrite)
{
    struct Case {
        DWORD access;
        DWORD expectedError;
    };
    for (const Case& c : {Case{GENERIC_WRITE, ERROR_SUCCESS}, Case{GENERIC_READ, ERROR_ACCESS_DENIED}}) {
        LocalDirectory local;
        const fs::path path = local.Path() / L"file.bin";
        WriteBytes(path, 0, 0);
        fw::FileHandle file(CreateFileW(path.c_str(), c.access, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        std::vector<char> first(BLOCK), second(BLOCK);
        CBlockWriter writer(file.Get(), first, second);
        ASSERT_TRUE(writer.Started());
        std::string expected;
        bool accepted = true;
        const std::size_t sizes[] = {BLOCK, BLOCK, 5, BLOCK};
        for (std::size_t i = 0; i < std::size(sizes) && accepted; ++i) {
            std::vector<char>& buffer = writer.Buffer();
            std::fill(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(sizes[i]),
                      static_cast<char>('a' + i));
            expected.append(sizes[i], static_cast<char>('a' + i));
            accepted = writer.Write(static_cast<DWORD>(sizes[i]));
        }
        EXPECT_EQ(writer.Finish(), c.expectedError);
        file.Reset();
        if (c.expectedError == ERROR_SUCCESS) {
            EXPECT_TRUE(accepted);
            EXPECT_EQ(writer.Written(), expected.size());
            EXPECT_TRUE(ReadBytes(path) == expected);
        } else {
            // The failure shows at the next hand-over, and nothing after it is written.
            EXPECT_FALSE(accepted);
            EXPECT_EQ(writer.Written(), 0u);
            EXPECT_EQ(fs::file_size(path), 0u);
        }
    }
}

} // namespace
