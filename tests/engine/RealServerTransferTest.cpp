// Listings, transfers and file commands against real servers, in passive and active mode.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>

#include "TestReporter.h"
#include "engine/Digest.h"
#include "engine/FTPClient.h"
#include "engine/TextCodec.h"
#include "support/RealServers.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace nsFTP;
using ::testing::IsEmpty;
using testsupport::RealServer;
using testsupport::ServerKind;

namespace {

constexpr int kTimeout = 10;
constexpr int kBlock = 256 * 1024;

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator() & 0xFF);
    return bytes;
}

std::string ReadLocal(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Collects what a downloading data command receives; hands out what an upload sends.
class MemoryTransfer : public ITransferNotification {
public:
    explicit MemoryTransfer(std::string toSend = {}) : toSend(std::move(toSend)) {}
    void OnBytesReceived(const unsigned char* buffer, std::int32_t count) override
    {
        received.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(count));
    }
    void OnPreBytesSend(unsigned char* buffer, std::size_t capacity, std::int32_t& count) override
    {
        const std::size_t take = std::min(capacity, toSend.size() - sent);
        std::copy_n(toSend.data() + sent, take, buffer);
        sent += take;
        count = static_cast<std::int32_t>(take);
    }
    std::string received;

private:
    std::string toSend;
    std::size_t sent = 0;
};

using Param = std::tuple<ServerKind, bool>;

class RealServerTransferTest : public ::testing::TestWithParam<Param> {
protected:
    void SetUp() override
    {
        std::string why;
        server = RealServer::Start(Kind(), &why);
        if (!server) GTEST_SKIP() << testsupport::ServerName(Kind()) << " is not available here: " << why;
        // Under Wine every test shares one server, so each works in a directory of its own.
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dirName = std::string(info->name());
        for (char& c : dirName)
            if (c == '/') c = '_';
        localDir = server->MakeDirectory(dirName);
        LogonSettings settings;
        settings.host = Wide(server->Info().host);
        settings.port = server->Info().port;
        settings.user = Wide(server->Info().user);
        settings.password = Wide(server->Info().password);
        ASSERT_TRUE(client.LogOn(settings, kTimeout));
        remoteDir = L"/" + Wide(dirName);
    }
    void TearDown() override
    {
        if (client.IsConnected()) client.LogOff();
        EXPECT_THAT(reporter.Errors(), IsEmpty());
    }
    ServerKind Kind() const { return std::get<0>(GetParam()); }
    bool Passive() const { return std::get<1>(GetParam()); }
    static std::wstring Wide(const std::string& utf8) { return WireToWide(utf8); }
    std::wstring Remote(const std::string& name) const { return remoteDir + L"/" + Wide(name); }

    bool Upload(const std::wstring& path, const std::string& bytes, std::uint64_t offset = 0, bool append = false)
    {
        auto data = client.OpenDataTransfer(path, Passive(), true, offset, append);
        if (!data) return false;
        bool ok = true;
        for (std::size_t done = 0; ok && done < bytes.size();) {
            int count = 0;
            const int length = static_cast<int>(std::min<std::size_t>(kBlock, bytes.size() - done));
            ok = client.WriteData(*data, bytes.data() + done, length, count);
            done += static_cast<std::size_t>(count);
        }
        return client.CloseDataTransfer(std::move(data)) && ok;
    }
    bool Download(const std::wstring& path, std::string& bytes, std::uint64_t offset = 0)
    {
        bytes.clear();
        auto data = client.OpenDataTransfer(path, Passive(), false, offset);
        if (!data) return false;
        std::vector<char> buffer(kBlock);
        int count = 0;
        bool ok;
        while ((ok = client.ReadData(*data, buffer.data(), kBlock, count)) && count > 0)
            bytes.append(buffer.data(), static_cast<std::size_t>(count));
        return client.CloseDataTransfer(std::move(data)) && ok;
    }
    const CFTPFileStatus* Find(const std::vector<FileStatusPtr>& entries, const std::wstring& name)
    {
        for (const auto& entry : entries)
            if (entry->name == name) return entry.get();
        return nullptr;
    }

    TestReporter reporter;
    std::unique_ptr<RealServer> server;
    CFTPClient client{new nsSocket::CBlockingSocket};
    std::string dirName;
    std::filesystem::path localDir;
    std::wstring remoteDir;
};

} // namespace

TEST_P(RealServerTransferTest, FilesArriveIntactAcrossBlockBoundaries)
{
    const std::size_t sizes[] = {0, 1, 2047, 2048, 2049, 10 * 1024 * 1024};
    for (std::size_t size : sizes) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string name = "file-" + std::to_string(size) + ".bin";
        const std::string bytes = RandomBytes(size, static_cast<unsigned>(size) + 1);
        ASSERT_TRUE(Upload(Remote(name), bytes));
        EXPECT_TRUE(ReadLocal(localDir / name) == bytes);

        std::string downloaded;
        ASSERT_TRUE(Download(Remote(name), downloaded));
        EXPECT_TRUE(downloaded == bytes) << downloaded.size() << " bytes";

        MemoryTransfer sink;
        ASSERT_TRUE(client.RunDataCommand(sink, TRANSFER_RETRIEVE, Remote(name),
                                          RepresentationType{RepresentationType::IMAGE}, Passive()));
        EXPECT_TRUE(sink.received == bytes) << sink.received.size() << " bytes";
    }

    // A whole upload through the engine's own loop, then a listing that shows its size.
    const std::string bytes = RandomBytes(300000, 7);
    MemoryTransfer source(bytes);
    ASSERT_TRUE(client.RunDataCommand(source, TRANSFER_STORE, Remote("looped.bin"),
                                      RepresentationType{RepresentationType::IMAGE}, Passive()));
    EXPECT_TRUE(ReadLocal(localDir / "looped.bin") == bytes);
    std::vector<FileStatusPtr> entries;
    ASSERT_TRUE(client.ListFiles(remoteDir, entries, Passive()));
    const CFTPFileStatus* looped = Find(entries, L"looped.bin");
    ASSERT_NE(looped, nullptr);
    EXPECT_EQ(looped->size, bytes.size());
    EXPECT_TRUE(looped->isRetrievable);
    EXPECT_EQ(looped->path, remoteDir);
}

TEST_P(RealServerTransferTest, NamesWithSpacesAndUtf8ListAndComeBackByteForByte)
{
    const std::string names[] = {"with space.txt", "  leading spaces", "caf\xC3\xA9 \xE2\x82\xAC.txt"};
    for (const auto& name : names)
        server->WriteFile(std::filesystem::path(dirName) / std::filesystem::u8path(name), name);
    server->MakeDirectory(std::filesystem::path(dirName) / "sub dir");

    std::vector<FileStatusPtr> entries;
    ASSERT_TRUE(client.ListFiles(remoteDir, entries, Passive()));
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const CFTPFileStatus* entry = Find(entries, Wide(name));
        ASSERT_NE(entry, nullptr);
        std::string downloaded;
        ASSERT_TRUE(Download(remoteDir + L"/" + entry->name, downloaded));
        EXPECT_EQ(downloaded, name);
    }
    const CFTPFileStatus* sub = Find(entries, L"sub dir");
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->isDirectory);

    // The listing's name goes back out unchanged in commands.
    ASSERT_EQ(client.Rename(Remote(names[2]), Remote("renamed \xE2\x82\xAC")), REPLY_OK);
    EXPECT_TRUE(std::filesystem::exists(localDir / std::filesystem::u8path("renamed \xE2\x82\xAC")));
}

#ifndef _WIN32
TEST_P(RealServerTransferTest, NamesThatAreNotUtf8RoundTrip)
{
    // Latin-1 bytes from an older server: no valid UTF-8, yet the name must work as listed.
    const std::string name = "r\xE9sum\xE9.txt";
    server->WriteFile(std::filesystem::path(dirName) / name, "latin-1");
    std::vector<FileStatusPtr> entries;
    ASSERT_TRUE(client.ListFiles(remoteDir, entries, Passive()));
    const CFTPFileStatus* entry = Find(entries, WireToWide(name));
    ASSERT_NE(entry, nullptr);
    std::string downloaded;
    ASSERT_TRUE(Download(remoteDir + L"/" + entry->name, downloaded));
    EXPECT_EQ(downloaded, "latin-1");
    EXPECT_EQ(client.Delete(remoteDir + L"/" + entry->name), REPLY_OK);
    EXPECT_FALSE(std::filesystem::exists(localDir / name));
}
#endif

TEST_P(RealServerTransferTest, DirectoryAndFileCommands)
{
    std::vector<FileStatusPtr> entries;
    ASSERT_TRUE(client.ListFiles(remoteDir, entries, Passive()));
    EXPECT_THAT(entries, IsEmpty()); // an empty directory lists fine

    ASSERT_EQ(client.MakeDir(Remote("new dir"), true), REPLY_OK);
    EXPECT_TRUE(std::filesystem::is_directory(localDir / "new dir"));
    ASSERT_EQ(client.ChangeDir(Remote("new dir")), REPLY_OK);
    std::wstring path;
    EXPECT_EQ(client.GetCurrentDir(path), REPLY_OK);
    EXPECT_EQ(path, Remote("new dir"));
    ASSERT_TRUE(Upload(L"inside.txt", "relative to the new directory"));
    EXPECT_EQ(ReadLocal(localDir / "new dir" / "inside.txt"), "relative to the new directory");

    // Refusals come back as 1 with the server's reply shown.
    EXPECT_EQ(client.MakeDir(Remote("new dir"), false), REPLY_REFUSED);
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_EQ(client.RemoveDir(Remote("new dir")), REPLY_REFUSED);
    EXPECT_EQ(client.Delete(Remote("missing.txt")), REPLY_REFUSED);
    ASSERT_EQ(reporter.Errors().size(), 2u);
    for (const auto& error : reporter.Errors())
        EXPECT_EQ(error[0], L'5') << WideToWire(error);
    reporter.Clear();

    ASSERT_EQ(client.Rename(Remote("new dir/inside.txt"), Remote("moved.txt")), REPLY_OK);
    EXPECT_TRUE(std::filesystem::exists(localDir / "moved.txt"));
    EXPECT_EQ(client.Rename(Remote("nothing here"), Remote("x")), REPLY_REFUSED);
    reporter.Clear();

    ASSERT_EQ(client.SiteCommand(L"CHMOD 640 " + Remote("moved.txt")), REPLY_OK);
#ifndef _WIN32
    struct stat info {};
    ASSERT_EQ(::stat((localDir / "moved.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
#endif
    EXPECT_EQ(client.Delete(Remote("moved.txt")), REPLY_OK);
    EXPECT_EQ(client.RemoveDir(Remote("new dir")), REPLY_OK);
    EXPECT_FALSE(std::filesystem::exists(localDir / "new dir"));
    EXPECT_EQ(client.KeepAlivePwd(), REPLY_OK);
}

// What each server offers is printed for the record; whatever it offers must hold: a
// resumed upload and download give the file whole, and its size, time and digest agree.
TEST_P(RealServerTransferTest, ResumeAndFileFacts)
{
    const std::string bytes = RandomBytes(3 * kBlock + 123, 24);
    const std::wstring path = Remote("resumed.bin");
    const std::size_t cut = kBlock + 7;
    ASSERT_TRUE(Upload(path, bytes.substr(0, cut)));
    std::wstring failure;
    std::uint64_t size = 0;
    ASSERT_EQ(client.FileSize(path, size, failure), REPLY_OK) << WideToWire(failure);
    EXPECT_EQ(size, cut);
    const auto offered = client.OfferedHash();
    std::cout << testsupport::ServerName(Kind()) << " offers:" << (client.CanResume() ? " REST STREAM" : "")
              << (client.Features().Has(L"SIZE") ? " SIZE" : "") << (client.Features().Has(L"MDTM") ? " MDTM" : "")
              << (client.CanSetModified() ? " MFMT" : "")
              << " HASH=" << WideToWire(client.Features().Parameters(L"HASH"))
              << " digest=" << (offered ? WideToWire(HashAlgorithmName(*offered)) : "none") << "\n";

    if (client.CanResume()) {
        ASSERT_TRUE(Upload(path, bytes.substr(cut), cut));
    } else {
        ASSERT_TRUE(Upload(path, bytes.substr(cut), 0, true));
    }
    std::string downloaded;
    ASSERT_TRUE(Download(path, downloaded));
    EXPECT_TRUE(downloaded == bytes);
    if (client.CanResume()) {
        ASSERT_TRUE(Download(path, downloaded, cut));
        EXPECT_TRUE(downloaded == bytes.substr(cut));
    }

    if (client.CanSetModified()) {
        EXPECT_EQ(client.SetFileModified(path, 981173106, failure), REPLY_OK) << WideToWire(failure);
        std::int64_t modified = 0;
        EXPECT_EQ(client.FileModified(path, modified, failure), REPLY_OK) << WideToWire(failure);
        EXPECT_EQ(modified, 981173106);
    }
    if (offered) {
        RemoteHash remote;
        ASSERT_EQ(client.FileHash(path, remote, failure), REPLY_OK) << WideToWire(failure);
        Digest digest(*offered);
        digest.Update(bytes.data(), bytes.size());
        EXPECT_EQ(remote.hex, digest.Final());
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerTransferTest,
                         ::testing::Combine(::testing::ValuesIn(testsupport::kAllServerKinds), ::testing::Bool()),
                         [](const auto& info) {
                             std::string name = testsupport::ServerName(std::get<0>(info.param));
                             std::erase(name, '-');
                             return name + (std::get<1>(info.param) ? "Passive" : "Active");
                         });

// The same servers listening on ::1: EPSV and EPRT carry a small tree there and back.
class RealServerIPv6Test : public RealServerTransferTest {};

TEST_P(RealServerIPv6Test, ASmallTreeMovesByteExact)
{
    const std::string files[] = {"top.bin", "sub/inner.bin", "sub/deeper/empty.bin"};
    ASSERT_EQ(client.MakeDir(Remote("sub"), true), REPLY_OK);
    ASSERT_EQ(client.MakeDir(Remote("sub/deeper"), true), REPLY_OK);
    unsigned seed = 1;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::string bytes = RandomBytes(file == files[2] ? 0 : 300000 + seed, seed);
        ++seed;
        ASSERT_TRUE(Upload(Remote(file), bytes));
        EXPECT_TRUE(ReadLocal(localDir / file) == bytes);
        std::string downloaded;
        ASSERT_TRUE(Download(Remote(file), downloaded));
        EXPECT_TRUE(downloaded == bytes) << downloaded.size() << " bytes";
    }
    std::vector<FileStatusPtr> entries;
    ASSERT_TRUE(client.ListFiles(Remote("sub"), entries, Passive()));
    const CFTPFileStatus* deeper = Find(entries, L"deeper");
    ASSERT_NE(deeper, nullptr);
    EXPECT_TRUE(deeper->isDirectory);
    EXPECT_NE(Find(entries, L"inner.bin"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerIPv6Test,
                         ::testing::Combine(::testing::ValuesIn(testsupport::kIPv6ServerKinds), ::testing::Bool()),
                         [](const auto& info) {
                             std::string name = testsupport::ServerName(std::get<0>(info.param));
                             std::erase(name, '-');
                             return name + (std::get<1>(info.param) ? "Passive" : "Active");
                         });
