// Data connections and the single commands, pinned down against exact server replies.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <tuple>

#include "ScriptedSession.h"

using namespace nsFTP;
using namespace enginetest;
using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using testsupport::ScriptedServer;

namespace {

const RepresentationType kImage{RepresentationType::IMAGE, RepresentationType::NON_PRINT};

class Collector : public ITransferNotification {
public:
    void OnBytesReceived(const unsigned char* buffer, std::int32_t count) override
    {
        received.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(count));
        if (onReceive) onReceive();
    }
    void OnPreBytesSend(unsigned char*, std::size_t, std::int32_t& count) override { count = 0; }
    std::string received;
    std::function<void()> onReceive;
};

class DataConnectionTest : public ScriptedSessionTest {
protected:
    DataConnectionTest() { ScriptLogon(server); }
    void Quit() { server.On("QUIT", "221 bye\r\n"); }
};

std::vector<std::wstring> Names(const std::vector<FileStatusPtr>& entries)
{
    std::vector<std::wstring> names;
    for (const auto& e : entries)
        names.push_back(e->name);
    return names;
}

} // namespace

// The listing is read as it arrives: lines and UTF-8 sequences cut anywhere by the
// network must read as when the whole listing comes in one block, whether the entries are
// kept or handed to the caller one by one.
class ListingDeliveryTest : public DataConnectionTest, public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(ListingDeliveryTest, ListingParsesLinesAndDropsAnUnterminatedLastOne)
{
    const auto [byteByByte, handedOut] = GetParam();
    const std::string listing = "total 8\r\n"
                                "drwxr-xr-x 2 u g 4096 Jan  5  2020 docs\r\n"
                                "-rw-r--r-- 1 u g 5368709120 Mar  1  2021 big image.iso\r\n"
                                "-rw-r--r-- 1 u g 7 Mar  1  2021 Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac\r\n"
                                "-rw-r--r-- 1 u g 12 Mar  1  2021 cut";
    server.ExpectPasv();
    server.On("LIST /pub", "150 Here comes the listing\r\n");
    if (byteByByte) {
        server.DataTrickle(listing, std::chrono::milliseconds(0));
    } else {
        server.DataSend(listing);
    }
    server.Reply("226 Done\r\n");
    Quit();
    LogOn();
    std::vector<FileStatusPtr> entries;
    if (handedOut) {
        const auto keep = [&entries](const CFTPFileStatus& entry) { entries.emplace_back(new CFTPFileStatus(entry)); };
        ASSERT_TRUE(client.ListFiles(L"/pub", keep, true));
    } else {
        ASSERT_TRUE(client.ListFiles(L"/pub", entries, true));
    }
    EXPECT_THAT(Names(entries), ElementsAre(L"docs", L"big image.iso", L"Gr\u00fc\u00dfe \u20ac"));
    EXPECT_TRUE(entries[0]->isDirectory);
    EXPECT_FALSE(entries[1]->isDirectory);
    EXPECT_EQ(entries[1]->size, 5368709120u);
    EXPECT_EQ(entries[0]->path, L"/pub");
    // The first listing after a connect sends no TYPE.
    EXPECT_THAT(Played(), ElementsAre("EPSV", "LIST /pub"));
}

INSTANTIATE_TEST_SUITE_P(InOneBlockOrByteByByte, ListingDeliveryTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

// A server that names its files in Windows-1252, one name holding a byte that 1252 leaves
// undefined: with the site's code page the names read as text, and every command names them
// byte for byte as listed.
TEST_F(DataConnectionTest, CodePageNamesReadAsTextAndGoBackByteForByte)
{
    server.ExpectPasv().On("LIST", "150 here\r\n");
    const std::string listing = "-rw-r--r-- 1 u g 5 Jan  5  2020 Caf\xE9 \x80.txt\r\n"
                                "-rw-r--r-- 1 u g 5 Jan  5  2020 odd\x81.bin\r\n";
    server.DataTrickle(listing, std::chrono::milliseconds(0));
    server.Reply("226 done\r\n");
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR odd\x81.bin", "150 ok\r\n").DataSend("odd");
    server.Reply("226 done\r\n");
    server.On("RNFR Caf\xE9 \x80.txt", "350 ready\r\n").On("RNTO na\xEFve\x81", "250 renamed\r\n");
    server.On("DELE odd\x81.bin", "250 deleted\r\n");
    Quit();
    LogonSettings western;
    western.codePage = CODE_PAGE_WESTERN;
    LogOn(western);
    std::vector<FileStatusPtr> entries;
    ASSERT_TRUE(client.ListFiles(L"", entries, true));
    const std::wstring odd = L"odd" + std::wstring(1, wchar_t(0xDC81)) + L".bin";
    EXPECT_THAT(Names(entries), ElementsAre(L"Caf\u00e9 \u20ac.txt", odd));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(Download(entries[1]->name, true), "odd");
    EXPECT_EQ(client.Rename(entries[0]->name, L"na\u00efve" + std::wstring(1, wchar_t(0xDC81))), REPLY_OK);
    EXPECT_EQ(client.Delete(entries[1]->name), REPLY_OK);
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_THAT(Played(), ElementsAre("EPSV", "LIST", "TYPE I", "EPSV", "RETR odd\x81.bin", "RNFR Caf\xE9 \x80.txt",
                                      "RNTO na\xEFve\x81", "DELE odd\x81.bin"));
}

TEST_F(DataConnectionTest, TypeIsSentOnlyWhenTheRepresentationChanges)
{
    server.ExpectPasv().On("LIST", "150 ok\r\n").DataSend("").Reply("226 ok\r\n");
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR a", "150 ok\r\n").DataSend("A").Reply("226 ok\r\n");
    server.ExpectPort().On("RETR b", "150 ok\r\n").DataSend("B").Reply("226 ok\r\n");
    server.On("TYPE A N", "200 ascii\r\n").ExpectPasv().On("LIST", "150 ok\r\n").DataSend("").Reply("226 ok\r\n");
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR c", "150 ok\r\n").DataSend("C").Reply("226 ok\r\n");
    Quit();
    LogOn();
    std::vector<FileStatusPtr> entries;
    ASSERT_TRUE(client.ListFiles(L"", entries, true));
    EXPECT_TRUE(entries.empty()); // an empty directory
    EXPECT_EQ(Download(L"a", true), "A");
    EXPECT_EQ(Download(L"b", false), "B");
    ASSERT_TRUE(client.ListFiles(L"", entries, true));
    Collector sink;
    ASSERT_TRUE(client.RunDataCommand(sink, TRANSFER_RETRIEVE, L"c", kImage, true));
    EXPECT_EQ(sink.received, "C");
    auto commands = Played();
    ASSERT_EQ(commands.size(), 13u);
    EXPECT_EQ(commands[5].rfind("EPRT |1|127.0.0.1|", 0), 0u) << commands[5];
    EXPECT_EQ(std::count(commands[5].begin(), commands[5].end(), '|'), 4) << commands[5];
    commands[5] = "EPRT";
    EXPECT_THAT(commands, ElementsAre("EPSV", "LIST", "TYPE I", "EPSV", "RETR a", "EPRT", "RETR b", "TYPE A N", "EPSV",
                                      "LIST", "TYPE I", "EPSV", "RETR c"));
}

// A server that knows only the short "TYPE A": a refusal as not understood is followed by
// the short form; any other refusal, or a refused short form, fails the listing with a box.
struct AsciiRefusal {
    const char* longReply;
    const char* shortReply; // nullptr: the short form must not be sent
    bool listed;
    std::vector<std::wstring> errors;
};

class AsciiFallbackTest : public DataConnectionTest, public ::testing::WithParamInterface<AsciiRefusal> {};

TEST_P(AsciiFallbackTest, ListingAfterATransfer)
{
    const AsciiRefusal& row = GetParam();
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR a", "150 ok\r\n").DataSend("A").Reply("226 ok\r\n");
    server.On("TYPE A N", row.longReply);
    if (row.shortReply != nullptr) server.On("TYPE A", row.shortReply);
    if (row.listed) server.ExpectPasv().On("LIST", "150 ok\r\n").DataSend("").Reply("226 ok\r\n");
    Quit();
    LogOn();
    EXPECT_EQ(Download(L"a", true), "A");
    std::vector<FileStatusPtr> entries;
    EXPECT_EQ(client.ListFiles(L"", entries, true), row.listed);
    EXPECT_EQ(reporter.Errors(), row.errors);
    Played();
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, AsciiFallbackTest,
    ::testing::Values(AsciiRefusal{"504 Unsupported type \"A N\".\r\n", "200 Type set to: ASCII.\r\n", true, {}},
                      AsciiRefusal{"501 Syntax error.\r\n", "200 ascii\r\n", true, {}},
                      AsciiRefusal{"504 Unsupported.\r\n", "504 No ASCII here.\r\n", false, {L"504 No ASCII here."}},
                      AsciiRefusal{"530 Not logged in.\r\n", nullptr, false, {L"530 Not logged in."}}));

TEST_F(DataConnectionTest, DataGoesToTheControlPeerWhateverAddressPasvNames)
{
    // Another loopback address, where nothing listens: only the port may be taken from it.
    server.On("TYPE I", "200 binary\r\n")
        .RefuseEpsv()
        .ExpectLegacyPasv("227 Entering Passive Mode (127,0,0,2,%p).\r\n");
    server.On("RETR x", "150 ok\r\n").DataSend("payload").Reply("226 ok\r\n");
    Quit();
    LogOn();
    EXPECT_EQ(Download(L"x", true), "payload");
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    Played();
}

TEST_F(DataConnectionTest, MalformedOrRefusedPasvRepliesFailBeforeTheCommand)
{
    const char* replies[] = {
        "227 Entering Passive Mode (127, 0, 0, 1, 4, 1)\r\n", // spaces after the commas
        "227 Entering Passive Mode (127,0,0,1,4,1\r\n",       // no closing parenthesis
        "227 Entering Passive Mode\r\n",
        "500 PASV not understood\r\n",
    };
    server.On("TYPE I", "200 binary\r\n").RefuseEpsv();
    for (const char* reply : replies)
        server.On("PASV", reply);
    server.On("CWD /", "250 still in step\r\n");
    Quit();
    LogOn();
    for (const char* reply : replies) {
        EXPECT_EQ(client.OpenDataTransfer(L"x", true, false), nullptr);
        std::string expected(reply);
        expected.resize(expected.size() - 2);
        ASSERT_FALSE(reporter.Errors().empty());
        EXPECT_EQ(reporter.Errors().back(), std::wstring(expected.begin(), expected.end()));
    }
    EXPECT_EQ(reporter.Errors().size(), 4u);
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    Played();
}

TEST_F(DataConnectionTest, TransferCommandsMustBeAnsweredWith1xxAndEndWith2xx)
{
    server.On("TYPE I", "504 no binary here\r\n");
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR gone", "550 No such file\r\n");
    server.ExpectPort("501 EPRT refused\r\n");
    server.ExpectPort().On("RETR gone", "550 No such file\r\n");
    server.On("TYPE A N", "200 ascii\r\n").ExpectPasv().On("LIST", "150 ok\r\n");
    server.DataSend("-rw-r--r-- 1 u g 1 Jan 1 2020 a\r\n");
    server.Reply("451 Local error\r\n");
    server.ExpectPasv().On("LIST /nope", "550 /nope: No such directory\r\n");
    server.On("CWD /", "250 still in step\r\n");
    Quit();
    LogOn();
    EXPECT_EQ(client.OpenDataTransfer(L"file", true, false), nullptr); // TYPE refused: no data connection
    EXPECT_EQ(Download(L"gone", true), "<no transfer>");
    EXPECT_EQ(Download(L"gone", false), "<no transfer>");
    EXPECT_EQ(Download(L"gone", false), "<no transfer>");
    std::vector<FileStatusPtr> entries(1, FileStatusPtr(new CFTPFileStatus));
    entries[0]->name = L"kept";
    EXPECT_FALSE(client.ListFiles(L"", entries, true));
    EXPECT_FALSE(client.ListFiles(L"/nope", entries, true));
    EXPECT_THAT(Names(entries), ElementsAre(L"kept")); // failures leave the caller's array alone
    EXPECT_THAT(reporter.Errors(),
                ElementsAre(L"504 no binary here", L"550 No such file", L"501 EPRT refused", L"550 No such file",
                            L"451 Local error", L"550 /nope: No such directory"));
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    Played();
}

TEST_F(DataConnectionTest, DroppedDataConnectionIsShownAndTheControlConnectionStaysInStep)
{
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR big", "150 ok\r\n");
    server.DataSendThenReset(std::string(100000, 'x'));
    server.Reply("426 Connection closed; transfer aborted.\r\n");
    server.On("CWD /", "250 still in step\r\n");
    Quit();
    LogOn();
    Collector sink;
    EXPECT_FALSE(client.RunDataCommand(sink, TRANSFER_RETRIEVE, L"big", kImage, true));
    const auto errors = reporter.Errors();
    ASSERT_EQ(errors.size(), 1u);
    // The reset shows either as the failed receive or, where the platform reports it as an
    // orderly close (Wine, most of the time), as the server's 426. Both are one error.
    EXPECT_THAT(errors[0], AnyOf(StartsWith(L"Unable to receive data.\n\nError code: "),
                                 Eq(L"426 Connection closed; transfer aborted.")));
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK); // not fooled by the 426 of the failed transfer
    EXPECT_EQ(reporter.Errors().size(), 1u);
    Played();
}

TEST_F(DataConnectionTest, AbortDuringALoopSendsAborAndReadsBothReplies)
{
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR big", "150 ok\r\n");
    server.DataSend("first bytes");
    server.On("ABOR", "426 Transfer aborted\r\n226 ABOR successful\r\n");
    server.On("CWD /", "250 still in step\r\n");
    Quit();
    LogOn();
    Collector sink;
    sink.onReceive = [&] { EXPECT_EQ(client.AbortTransfer(), REPLY_OK); }; // only a request while running
    EXPECT_FALSE(client.RunDataCommand(sink, TRANSFER_RETRIEVE, L"big", kImage, true));
    EXPECT_FALSE(client.IsTransferInProgress());
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"426 Transfer aborted"));
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    Played();
}

TEST_F(DataConnectionTest, ActiveModeGivesUpWhenTheServerNeverConnects)
{
    server.On("TYPE I", "200 binary\r\n").ExpectPort().On("RETR x", "150 ok\r\n");
    server.Reply("425 Can't open data connection\r\n");
    server.On("CWD /", "250 still in step\r\n");
    Quit();
    LogOn({}, 1);
    EXPECT_EQ(client.OpenDataTransfer(L"x", false, false), nullptr);
    const auto errors = reporter.Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind(L"The server did not open the data connection (accept timeout).\n\nError code: ", 0), 0u);
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    Played();
}

TEST_F(DataConnectionTest, ReadDataWithNoRoomTouchesNothing)
{
    server.On("TYPE I", "200 binary\r\n").ExpectPasv().On("RETR x", "150 ok\r\n").DataSend("xyz");
    server.Reply("226 ok\r\n");
    Quit();
    LogOn();
    auto data = client.OpenDataTransfer(L"x", true, false);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(client.IsTransferInProgress());
    const int activity = reporter.Activity();
    char buffer[8];
    int count = -1;
    EXPECT_TRUE(client.ReadData(*data, buffer, 0, count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(reporter.Activity(), activity);
    EXPECT_TRUE(client.CloseDataTransfer(std::move(data))); // stopped early: the final reply is still read
    EXPECT_FALSE(client.IsTransferInProgress());
    Played();
}

TEST_F(DataConnectionTest, ALineBreakNeverReachesTheServer)
{
    // A listed or typed name with CR or LF would smuggle a second command onto the wire.
    server.On("DELE kept", "250 gone\r\n");
    Quit();
    LogOn();
    EXPECT_EQ(client.Delete(L"a\r\nDELE important"), REPLY_OTHER);
    EXPECT_EQ(client.Rename(L"a", L"b\nRMD x"), REPLY_OTHER);
    EXPECT_EQ(client.SiteCommand(L"CHMOD 777 f\rDELE g"), REPLY_OTHER);
    EXPECT_EQ(Download(L"x\r\nDELE y", true), "<no transfer>");
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(client.Delete(L"kept"), REPLY_OK);
    EXPECT_THAT(reporter.Errors(), ElementsAre(COMMAND_LINE_BREAK_TEXT, COMMAND_LINE_BREAK_TEXT,
                                               COMMAND_LINE_BREAK_TEXT, COMMAND_LINE_BREAK_TEXT));
    EXPECT_THAT(Played(), ElementsAre("DELE kept"));
}

TEST_F(DataConnectionTest, SingleCommandsFollowTheirReplies)
{
    server.On("CWD www", "250 ok\r\n").On("CWD /forbidden", "550 Permission denied\r\n");
    server.On("RNFR a", "350 ready\r\n").On("RNTO b", "250 renamed\r\n");
    server.On("RNFR missing", "550 No such file\r\n");
    server.On("RNFR odd", "250 what\r\n");
    server.On("MKD exists", "550 exists\r\n").On("MKD exists", "550 exists\r\n");
    server.On("RMD d", "250 gone\r\n").On("DELE f", "250 gone\r\n").On("SITE CHMOD 644 f", "200 ok\r\n");
    server.On("PWD", "257 \"/\"\r\n").Close();
    LogOn();
    EXPECT_EQ(client.ChangeDir(L"www"), REPLY_OK);
    std::wstring path;
    EXPECT_EQ(client.GetCurrentDir(path), REPLY_OK);
    EXPECT_EQ(path, L"www"); // from the cache, exactly as given
    EXPECT_EQ(client.ChangeDir(L"/forbidden"), REPLY_REFUSED);
    EXPECT_EQ(client.CurrentDirectory(), L"www");
    EXPECT_EQ(client.Rename(L"a", L"b"), REPLY_OK);
    EXPECT_EQ(client.Rename(L"missing", L"b"), REPLY_REFUSED);
    EXPECT_EQ(client.Rename(L"odd", L"b"), REPLY_OTHER);
    EXPECT_EQ(client.MakeDir(L"exists", false), REPLY_REFUSED);
    EXPECT_EQ(client.MakeDir(L"exists", true), REPLY_REFUSED);
    EXPECT_EQ(client.RemoveDir(L"d"), REPLY_OK);
    EXPECT_EQ(client.Delete(L"f"), REPLY_OK);
    EXPECT_EQ(client.SiteCommand(L"CHMOD 644 f"), REPLY_OK);
    EXPECT_THAT(reporter.Errors(),
                ElementsAre(L"550 Permission denied", L"550 No such file", L"250 what", L"550 exists"));
    EXPECT_EQ(client.KeepAlivePwd(), REPLY_OK);
    reporter.Clear();
    // The server has gone: the quiet keep-alive shows nothing and closes the connection.
    server.WaitDisconnected(std::chrono::seconds(5));
    // The first send may still be taken by the system; one of the next ones fails.
    for (int i = 0; i < 5 && client.IsConnected(); ++i)
        EXPECT_EQ(client.KeepAlivePwd(), REPLY_OTHER);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_THAT(reporter.Statuses(), IsEmpty());
    testsupport::ExpectScriptPlayed(server);
}

// A server without EPSV or EPRT answers 500 or 502; the client falls back to PASV and PORT
// and asks no more on that connection, and asks again on the next.
TEST_F(DataConnectionTest, RefusedEpsvAndEprtFallBackToPasvAndPortForTheConnection)
{
    server.RefuseEpsv("500 'EPSV': command not understood\r\n").ExpectLegacyPasv();
    server.On("LIST", "150 ok\r\n").DataSend("").Reply("226 ok\r\n");
    server.ExpectLegacyPasv().On("LIST", "150 ok\r\n").DataSend("").Reply("226 ok\r\n");
    server.On("TYPE I", "200 binary\r\n").RefuseEprt().ExpectLegacyPort();
    server.On("RETR a", "150 ok\r\n").DataSend("A").Reply("226 ok\r\n");
    server.ExpectLegacyPort().On("RETR b", "150 ok\r\n").DataSend("B").Reply("226 ok\r\n");
    Quit();
    ScriptLogon(server.AcceptNext());
    server.ExpectPasv().On("LIST", "150 ok\r\n").DataSend("").Reply("226 ok\r\n");
    server.On("TYPE I", "200 binary\r\n").ExpectPort().On("RETR c", "150 ok\r\n").DataSend("C").Reply("226 ok\r\n");
    Quit();
    LogOn();
    std::vector<FileStatusPtr> entries;
    EXPECT_TRUE(client.ListFiles(L"", entries, true));
    EXPECT_TRUE(client.ListFiles(L"", entries, true));
    EXPECT_EQ(Download(L"a", false), "A");
    EXPECT_EQ(Download(L"b", false), "B");
    client.LogOff();
    ASSERT_TRUE(client.LogOn(Anonymous(L"127.0.0.1", server.Port()), kTimeout));
    EXPECT_TRUE(client.ListFiles(L"", entries, true));
    EXPECT_EQ(Download(L"c", false), "C");
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    auto commands = Played();
    for (std::string& command : commands)
        if (command.rfind("EPRT ", 0) == 0 || command.rfind("PORT ", 0) == 0) command.resize(4);
    EXPECT_THAT(commands, ElementsAre("EPSV", "PASV", "LIST", "PASV", "LIST", "TYPE I", "EPRT", "PORT", "RETR a",
                                      "PORT", "RETR b", "QUIT", "USER anonymous", "FEAT", "PWD", "EPSV", "LIST",
                                      "TYPE I", "EPRT", "RETR c"));
}

TEST_F(DataConnectionTest, NoEpsvSettingSendsPasvAtOnce)
{
    server.ExpectLegacyPasv().On("LIST", "150 ok\r\n").DataSend("").Reply("226 ok\r\n");
    Quit();
    LogonSettings settings;
    settings.extendedPassive = false;
    LogOn(settings);
    std::vector<FileStatusPtr> entries;
    EXPECT_TRUE(client.ListFiles(L"", entries, true));
    EXPECT_THAT(Played(), ElementsAre("PASV", "LIST"));
}

// A 229 reply must name a port and nothing else, between delimiters that match; whatever
// else it says is refused before any connection is tried, and the connection goes on.
TEST_F(DataConnectionTest, HostileEpsvRepliesOpenNoConnection)
{
    const std::string replies[] = {
        "229 Entering Extended Passive Mode (|||0|)\r\n",
        "229 Entering Extended Passive Mode (|||65536|)\r\n",
        "229 Entering Extended Passive Mode (|||4294967317|)\r\n", // 21 after a 32-bit wrap
        "229 Entering Extended Passive Mode (|||%p)\r\n",
        "229 Entering Extended Passive Mode (||%p|)\r\n",
        "229 Entering Extended Passive Mode (|||%p!)\r\n",
        "229 Entering Extended Passive Mode (|2|127.0.0.2|%p|)\r\n",
        "229 Entering Extended Passive Mode (|1|127.0.0.1|%p|)\r\n",
        "229 Entering Extended Passive Mode (||| %p|)\r\n",
        "229 Entering Extended Passive Mode (|||-%p|)\r\n",
        "229 Entering Extended Passive Mode (1112121)\r\n", // a digit as the delimiter
        "229 Entering Extended Passive Mode ( |||%p|)\r\n",
        "229 Entering Extended Passive Mode\r\n",
        "229 Entering Extended Passive Mode (|||" + std::string(60000, '9') + "|)\r\n",
        "227 Entering Passive Mode (127,0,0,1,%p)\r\n", // not EPSV's answer
    };
    server.On("TYPE I", "200 binary\r\n");
    for (const std::string& reply : replies)
        server.ExpectPasv(reply);
    server.On("CWD /", "250 still in step\r\n");
    Quit();
    LogOn();
    for (const std::string& reply : replies) {
        reporter.Clear();
        EXPECT_EQ(client.OpenDataTransfer(L"x", true, false), nullptr) << reply;
        const auto errors = reporter.Errors();
        ASSERT_EQ(errors.size(), 1u) << reply;
        EXPECT_THAT(errors[0], StartsWith(std::wstring(EPSV_REPLY_INVALID_TEXT) + L"\n\n22")) << reply;
    }
    EXPECT_EQ(client.ChangeDir(L"/"), REPLY_OK);
    const auto commands = Played();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "RETR x"), 0);
}
