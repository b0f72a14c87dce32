// The facts of single remote files (SIZE, MDTM, MFMT, the server's digest), resumed
// transfers, and the platform digests the downloads are checked with.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "ScriptedSession.h"
#include "engine/Digest.h"

using namespace nsFTP;
using namespace enginetest;
using testsupport::ScriptedServer;

namespace {

// Both builds must agree with the published vectors, piece by piece as in one go.
TEST(DigestTest, KnownVectorsInPieces)
{
    struct Row {
        HashAlgorithm algorithm;
        std::string input;
        std::string hex;
    };
    const Row rows[] = {
        {HashAlgorithm::Sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {HashAlgorithm::Sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {HashAlgorithm::Sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {HashAlgorithm::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {HashAlgorithm::Md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {HashAlgorithm::Crc32, "123456789", "cbf43926"},
        {HashAlgorithm::Crc32, "", "00000000"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        for (std::size_t cut : {std::size_t{0}, row.input.size() / 2}) {
            Digest digest(row.algorithm);
            digest.Update(row.input.data(), cut);
            digest.Update(row.input.data() + cut, row.input.size() - cut);
            EXPECT_EQ(digest.Final(), row.hex);
        }
    }
}

TEST(FactTimeTest, ParsesOnlyWholeValidTimes)
{
    EXPECT_EQ(ParseFactTime(L"20010203040506"), 981173106);
    EXPECT_EQ(ParseFactTime(L"20010203040506.987"), 981173106);
    EXPECT_EQ(ParseFactTime(L"20000229235959"), 951868799);
    EXPECT_EQ(ParseFactTime(L"19691231235959"), -1);
    for (const wchar_t* bad : {L"", L"2001020304050", L"20010203040506.", L"20010203040506 ", L"+0010203040506",
                               L"2001020304050x", L"20010230040506", L"20010203240506", L"20010203046006",
                               L"20010203040560", L"19000229000000", L"00000101000000", L"20010203040506.1x"})
        EXPECT_EQ(ParseFactTime(bad), std::nullopt) << bad;
    for (std::int64_t t : {std::int64_t{0}, std::int64_t{981173106}, std::int64_t{-1}, std::int64_t{253402300799}})
        EXPECT_EQ(ParseFactTime(FactTimeText(t)), t);
}

class FactsServerTest : public ScriptedSessionTest {};

std::string Feat(const std::string& lines) { return "211-Features:\r\n" + lines + "211 End\r\n"; }

const std::string kSha256Abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kSha256AbcUpper = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";

enum class Ask { Size, Modified, SetModified, Hash };

struct FactRow {
    const char* name;
    std::string feat;
    Ask ask;
    std::vector<std::pair<std::string, std::string>> exchange; // command, reply
    int result;
    std::string value; // the size, the time, or "ALGORITHM hex"
};

} // namespace

// Every reply is taken whole or not at all: a wrong length, a wrong algorithm, a partial
// range or a number past 64 bits is never a fact, let alone a verified download.
TEST_F(FactsServerTest, RepliesParseStrictly)
{
    const std::string none = "502 Command not supported\r\n";
    const std::vector<FactRow> rows = {
        {"size", none, Ask::Size, {{"TYPE I", "200 ok\r\n"}, {"SIZE f", "213 5368709120\r\n"}}, REPLY_OK, "5368709120"},
        {"size garbage", none, Ask::Size, {{"TYPE I", "200 ok\r\n"}, {"SIZE f", "213 12x\r\n"}}, REPLY_OTHER, ""},
        {"size past 64 bits",
         none,
         Ask::Size,
         {{"TYPE I", "200 ok\r\n"}, {"SIZE f", "213 99999999999999999999\r\n"}},
         REPLY_OTHER,
         ""},
        {"size negative", none, Ask::Size, {{"TYPE I", "200 ok\r\n"}, {"SIZE f", "213 -1\r\n"}}, REPLY_OTHER, ""},
        {"size missing",
         none,
         Ask::Size,
         {{"TYPE I", "200 ok\r\n"}, {"SIZE f", "550 No such file\r\n"}},
         REPLY_REFUSED,
         ""},
        {"mdtm", none, Ask::Modified, {{"MDTM f", "213 20010203040506.123\r\n"}}, REPLY_OK, "981173106"},
        {"mdtm month 13", none, Ask::Modified, {{"MDTM f", "213 20011303040506\r\n"}}, REPLY_OTHER, ""},
        {"mdtm wrong code", none, Ask::Modified, {{"MDTM f", "200 20010203040506\r\n"}}, REPLY_OTHER, ""},
        {"mfmt offered",
         Feat(" MFMT\r\n"),
         Ask::SetModified,
         {{"MFMT 20010203040506 f", "213 Modify=20010203040506; f\r\n"}},
         REPLY_OK,
         ""},
        {"mfmt not offered", Feat(" MDTM\r\n"), Ask::SetModified, {}, REPLY_REFUSED, ""},
        {"hash selects sha-256",
         Feat(" HASH SHA-1*;SHA-256;MD5\r\n"),
         Ask::Hash,
         {{"OPTS HASH SHA-256", "200 SHA-256\r\n"}, {"HASH f", "213 SHA-256 0-3 " + kSha256AbcUpper + " f\r\n"}},
         REPLY_OK,
         "SHA-256 " + kSha256Abc},
        {"hash already selected",
         Feat(" HASH SHA-256*;MD5\r\n"),
         Ask::Hash,
         {{"HASH f", "213 SHA-256 0-3 " + kSha256Abc + " f\r\n"}},
         REPLY_OK,
         "SHA-256 " + kSha256Abc},
        {"hash md5 only",
         Feat(" HASH MD5*;CRC32\r\n"),
         Ask::Hash,
         {{"HASH f", "213 MD5 0-3 900150983cd24fb0d6963f7d28e17f72 f\r\n"}},
         REPLY_OK,
         "MD5 900150983cd24fb0d6963f7d28e17f72"},
        {"hash after progress lines",
         Feat(" HASH SHA-256*\r\n"),
         Ask::Hash,
         {{"HASH f", "213-Computing SHA-256 digest\r\n213 SHA-256 0-3 " + kSha256Abc + " f\r\n"}},
         REPLY_OK,
         "SHA-256 " + kSha256Abc},
        {"hash of another algorithm",
         Feat(" HASH SHA-256*;SHA-1\r\n"),
         Ask::Hash,
         {{"HASH f", "213 SHA-1 0-3 a9993e364706816aba3e25717850c26c9cd0d89d f\r\n"}},
         REPLY_OTHER,
         ""},
        {"hash short digest",
         Feat(" HASH SHA-256*\r\n"),
         Ask::Hash,
         {{"HASH f", "213 SHA-256 0-3 " + kSha256Abc.substr(1) + " f\r\n"}},
         REPLY_OTHER,
         ""},
        {"hash of a part",
         Feat(" HASH SHA-256*\r\n"),
         Ask::Hash,
         {{"HASH f", "213 SHA-256 1-3 " + kSha256Abc + " f\r\n"}},
         REPLY_OTHER,
         ""},
        {"hash selection refused",
         Feat(" HASH SHA-1*;SHA-256\r\n"),
         Ask::Hash,
         {{"OPTS HASH SHA-256", "501 no\r\n"}},
         REPLY_REFUSED,
         ""},
        {"xsha256 with path",
         Feat(" XSHA256\r\n XMD5\r\n"),
         Ask::Hash,
         {{"XSHA256 f", "250 " + kSha256AbcUpper + " f\r\n"}},
         REPLY_OK,
         "SHA-256 " + kSha256Abc},
        {"hash without a known algorithm, xmd5",
         Feat(" HASH SHA-512*;CRC32\r\n XMD5\r\n"),
         Ask::Hash,
         {{"XMD5 f", "213 900150983cd24fb0d6963f7d28e17f72\r\n"}},
         REPLY_OK,
         "MD5 900150983cd24fb0d6963f7d28e17f72"},
        {"xmd5 garbage", Feat(" XMD5\r\n"), Ask::Hash, {{"XMD5 f", "250 not a digest at all\r\n"}}, REPLY_OTHER, ""},
        {"xmd5 glued",
         Feat(" XMD5\r\n"),
         Ask::Hash,
         {{"XMD5 f", "250 900150983cd24fb0d6963f7d28e17f72f\r\n"}},
         REPLY_OTHER,
         ""},
        {"xcrc", Feat(" XCRC\r\n"), Ask::Hash, {{"XCRC f", "250 CBF43926\r\n"}}, REPLY_OK, "CRC32 cbf43926"},
        {"names that only look alike",
         Feat(" XSHA\r\n XMD5EXT\r\n HASHES SHA-256\r\n"),
         Ask::Hash,
         {},
         REPLY_REFUSED,
         ""},
    };
    for (const FactRow& row : rows) {
        SCOPED_TRACE(row.name);
        reporter.Clear();
        auto server = std::make_unique<ScriptedServer>();
        ScriptLogon(*server, row.feat);
        for (const auto& [command, reply] : row.exchange)
            server->On(command, reply);
        server->On("QUIT", "221 bye\r\n");
        server->Start();
        CFTPClient fresh(new nsSocket::CBlockingSocket);
        ASSERT_TRUE(fresh.LogOn(Anonymous(L"127.0.0.1", server->Port()), kTimeout));
        std::wstring failure;
        std::string value;
        int result = REPLY_OTHER;
        switch (row.ask) {
        case Ask::Size: {
            std::uint64_t size = 0;
            result = fresh.FileSize(L"f", size, failure);
            if (result == REPLY_OK) value = std::to_string(size);
            break;
        }
        case Ask::Modified: {
            std::int64_t time = 0;
            result = fresh.FileModified(L"f", time, failure);
            if (result == REPLY_OK) value = std::to_string(time);
            break;
        }
        case Ask::SetModified: result = fresh.SetFileModified(L"f", 981173106, failure); break;
        case Ask::Hash: {
            RemoteHash hash;
            result = fresh.FileHash(L"f", hash, failure);
            if (result == REPLY_OK)
                value = std::string(hash.algorithm == HashAlgorithm::Sha256 ? "SHA-256"
                                    : hash.algorithm == HashAlgorithm::Md5  ? "MD5"
                                    : hash.algorithm == HashAlgorithm::Sha1 ? "SHA-1"
                                                                            : "CRC32") +
                        " " + hash.hex;
            break;
        }
        }
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(value, row.value);
        // A fact that can't be had says why; none of them opens an error box.
        EXPECT_EQ(failure.empty(), row.result == REPLY_OK || row.exchange.empty());
        EXPECT_TRUE(reporter.Errors().empty());
        fresh.LogOff();
        Commands(*server);
    }
}

namespace {

struct ResumeRow {
    const char* name;
    bool upload;
    std::uint64_t offset;
    bool append;
    std::string rest; // the REST reply; empty when none is sent
    std::string transfer;
};

} // namespace

// REST goes right before its command and must be answered 350; APPE needs none. A
// refused REST ends the transfer, shown, instead of moving the file from byte 0.
TEST_F(FactsServerTest, ResumedTransfersRestartWhereAsked)
{
    const std::vector<ResumeRow> rows = {
        {"download from 4", false, 4, false, "350 Restarting at 4\r\n", "RETR f"},
        {"download, REST refused", false, 4, false, "502 No\r\n", ""},
        {"upload from 4", true, 4, false, "350 Restarting at 4\r\n", "STOR f"},
        {"upload appended", true, 4, true, "", "APPE f"},
    };
    for (const ResumeRow& row : rows) {
        SCOPED_TRACE(row.name);
        reporter.Clear();
        ScriptedServer server;
        ScriptLogon(server, Feat(" REST STREAM\r\n")).On("TYPE I", "200 ok\r\n").ExpectPasv();
        if (!row.rest.empty()) server.On("REST " + std::to_string(row.offset), row.rest);
        if (!row.transfer.empty()) {
            server.On(row.transfer, "150 go\r\n");
            if (row.upload)
                server.DataReceive();
            else
                server.DataSend("tail");
            server.Reply("226 done\r\n");
        }
        server.On("QUIT", "221 bye\r\n");
        server.Start();
        CFTPClient fresh(new nsSocket::CBlockingSocket);
        ASSERT_TRUE(fresh.LogOn(Anonymous(L"127.0.0.1", server.Port()), kTimeout));
        auto data = fresh.OpenDataTransfer(L"f", true, row.upload, row.offset, row.append);
        ASSERT_EQ(data != nullptr, !row.transfer.empty());
        if (data) {
            std::string bytes;
            int count = 0;
            if (row.upload) {
                EXPECT_TRUE(fresh.WriteData(*data, "tail", 4, count));
            } else {
                char buffer[16];
                while (fresh.ReadData(*data, buffer, sizeof(buffer), count) && count > 0)
                    bytes.append(buffer, static_cast<std::size_t>(count));
                EXPECT_EQ(bytes, "tail");
            }
            EXPECT_TRUE(fresh.CloseDataTransfer(std::move(data)));
            EXPECT_TRUE(reporter.Errors().empty());
        } else {
            EXPECT_EQ(reporter.Errors(), std::vector<std::wstring>{L"502 No"});
        }
        fresh.LogOff();
        Commands(server);
        if (row.upload) {
            EXPECT_EQ(server.DataReceived(), std::vector<std::string>{"tail"});
        }
    }
}

// Without REST STREAM nothing is sent: a server that ignored REST would send the file
// from byte 0, to be appended after the part already there.
TEST_F(FactsServerTest, ResumeNeedsRestStream)
{
    ScriptLogon(server, Feat(" REST\r\n SIZE\r\n")).On("QUIT", "221 bye\r\n");
    LogOn();
    EXPECT_FALSE(client.CanResume());
    EXPECT_EQ(client.OpenDataTransfer(L"f", true, false, 4), nullptr);
    EXPECT_EQ(reporter.Errors(), std::vector<std::wstring>{RESUME_NOT_OFFERED_TEXT});
    EXPECT_TRUE(Played().empty());
}
