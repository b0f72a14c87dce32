// MLSD (RFC 3659): the entry parser against every fact it uses and against hostile lines,
// listings as real servers send them, and the engine's choice between MLSD and LIST.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ScriptedSession.h"
#include "engine/ListingParser.h"
#include "engine/TextCodec.h"
#include "support/RealServers.h"

#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

using namespace nsFTP;
using namespace enginetest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

// 2024-06-15 12:34:56 UTC, and the same with a fraction.
constexpr std::int64_t kJune15 = 1718454896;

enum Kind { FILE_KIND, DIRECTORY_KIND, LINK_KIND, OTHER_KIND };

struct MachineCase {
    std::wstring line;
    Kind kind;
    bool retrievable;
    const wchar_t* name;
    std::int32_t sizeKnown;
    std::uint64_t size;
    std::int64_t modified;
    const wchar_t* attributes;
    const wchar_t* owner;
    const wchar_t* group;
};

} // namespace

TEST(MachineListParserTest, EntriesFromEveryFactUsed)
{
    const MachineCase cases[] = {
        {L"type=file;size=1024;modify=20240615123456;perm=adfrw;UNIX.mode=0644;UNIX.owner=ann;UNIX.group=staff; a.txt",
         FILE_KIND, true, L"a.txt", 1, 1024, kJune15, L"-rw-r--r--", L"ann", L"staff"},
        {L"type=dir;sizd=4096;modify=20240615123456.789;perm=flcdmpe;UNIX.mode=755; docs", DIRECTORY_KIND, false,
         L"docs", 0, 0, kJune15, L"drwxr-xr-x", L"", L""},
        // Fact names and type values in any case; the numeric ids when there are no names.
        {L"TYPE=FILE;Size=5368709120;MODIFY=19700101000000;unix.UID=1000;Unix.Gid=100; big.iso", FILE_KIND, true,
         L"big.iso", 1, 5368709120ULL, 0, L"", L"1000", L"100"},
        // ProFTPD gives the number as UNIX.owner and the name beside it, in either order.
        {L"type=file;UNIX.ownername=bob;UNIX.owner=1001;UNIX.groupname=users;UNIX.group=100; x", FILE_KIND, true, L"x",
         0, 0, 0, L"", L"bob", L"users"},
        // Links: retrievable and enterable, told apart by the attribute text.
        {L"type=OS.unix=slink:/usr/lib;UNIX.mode=0777; lib", LINK_KIND, true, L"lib", 0, 0, 0, L"lrwxrwxrwx", L"", L""},
        {L"type=OS.unix=symlink; l2", LINK_KIND, true, L"l2", 0, 0, 0, L"l", L"", L""},
        {L"type=OS.unix=blkdev;UNIX.mode=660; sda", OTHER_KIND, false, L"sda", 0, 0, 0, L"?rw-rw----", L"", L""},
        // perm without r: a file that may not be fetched.
        {L"type=file;perm=w; upload-only", FILE_KIND, false, L"upload-only", 0, 0, 0, L"", L"", L""},
        {L"type=file;UNIX.mode=7777; all", FILE_KIND, true, L"all", 0, 0, 0, L"-rwsrwsrwt", L"", L""},
        {L"type=file;UNIX.mode=7000; none", FILE_KIND, true, L"none", 0, 0, 0, L"---S--S--T", L"", L""},
        // Unknown facts and facts without '=' are ignored; no type leaves an entry of no kind.
        {L"unique=803g1a;x.custom=;lang=en;novalue;;size=3; plain", OTHER_KIND, false, L"plain", 1, 3, 0, L"", L"",
         L""},
        // The name is everything after the first space.
        {L"type=file;size=1; name with; semi=colons and  spaces ", FILE_KIND, true,
         L"name with; semi=colons and  spaces ", 1, 1, 0, L"", L"", L""},
        {L" factless", OTHER_KIND, false, L"factless", 0, 0, 0, L"", L"", L""},
        // What no directory holds is still listed, for the walks to screen as with LIST.
        {L"type=file; ../../etc/passwd", FILE_KIND, true, L"../../etc/passwd", 0, 0, 0, L"", L"", L""},
        {L"type=dir; ..", DIRECTORY_KIND, false, L"..", 0, 0, 0, L"", L"", L""},
        // Values out of range leave the fact unknown and keep the entry.
        {L"type=file;size=18446744073709551616;modify=20241301000000; s1", FILE_KIND, true, L"s1", 0, 0, 0, L"", L"",
         L""},
        {L"type=file;size=-1;modify=20230229000000; s2", FILE_KIND, true, L"s2", 0, 0, 0, L"", L"", L""},
        {L"type=file;size=12x;modify=19691231235959; s3", FILE_KIND, true, L"s3", 0, 0, 0, L"", L"", L""},
        {L"type=file;modify=20240615123456.;UNIX.mode=0x1ff; s4", FILE_KIND, true, L"s4", 0, 0, 0, L"", L"", L""},
        {L"type=file;modify=2024061512345;UNIX.mode=12345678; s5", FILE_KIND, true, L"s5", 0, 0, 0, L"", L"", L""},
        {L"type=file;modify=99991231235960; s6", FILE_KIND, true, L"s6", 0, 0, 253402300800, L"", L"", L""},
        {L"type=file;modify=20240615126056; s7", FILE_KIND, true, L"s7", 0, 0, 0, L"", L"", L""},
    };
    for (const MachineCase& c : cases) {
        SCOPED_TRACE(c.line);
        CFTPFileStatus entry;
        ASSERT_TRUE(ParseMachineListLine(c.line, entry));
        EXPECT_EQ(entry.isDirectory, c.kind == DIRECTORY_KIND || c.kind == LINK_KIND);
        EXPECT_EQ(entry.isRetrievable, c.retrievable);
        EXPECT_EQ(entry.name, c.name);
        EXPECT_EQ(entry.sizeKnown, c.sizeKnown);
        EXPECT_EQ(entry.size, c.size);
        EXPECT_EQ(entry.modified, c.modified);
        // An instant to give a downloaded copy only when modify was valid (big.iso's is 1970's first second).
        EXPECT_EQ(entry.modifiedExact, c.modified != 0 || std::wstring_view(c.name) == L"big.iso");
        EXPECT_EQ(entry.attributes, c.attributes);
        EXPECT_EQ(entry.owner, c.owner);
        EXPECT_EQ(entry.group, c.group);
    }
}

TEST(MachineListParserTest, DropsTheListedDirectoryItsParentAndLinesWithoutAName)
{
    const std::wstring lines[] = {
        L"",
        L"type=file;size=1;",
        L"type=file;size=1; ",
        L"type=cdir;modify=20240615123456; /pub",
        L"type=pdir; ..",
        L"Type=CDir; .",
        std::wstring(L"type=file; a\0b", 14),
        std::wstring(100000, L';') + L"type=pdir; x",
    };
    for (const std::wstring& line : lines) {
        CFTPFileStatus entry;
        entry.name = L"stale";
        EXPECT_FALSE(ParseMachineListLine(line, entry)) << line.substr(0, 40);
        EXPECT_EQ(entry.name, L"");
    }
}

// Listings as servers send them, line breaks included: every line but the directory's own
// entries becomes one entry.
TEST(MachineListParserTest, ListingsOfRealServers)
{
    struct Corpus {
        const char* server;
        std::wstring listing;
        std::vector<std::wstring> names;
        std::vector<std::uint64_t> sizes; // SIZE_UNKNOWN for a directory without one
    };
    const Corpus corpus[] = {
        {"pure-ftpd",
         L"type=cdir;sizd=4096;modify=20261209044500;UNIX.mode=0755;UNIX.uid=0;UNIX.gid=0;unique=803g2; .\r\n"
         L"type=pdir;sizd=4096;modify=20261209044500;UNIX.mode=0755;UNIX.uid=0;UNIX.gid=0;unique=803g1; ..\r\n"
         L"type=file;size=5;modify=20261209044501;UNIX.mode=0644;UNIX.uid=1000;UNIX.gid=1000;unique=803g3; a b.txt\r\n"
         L"type=dir;sizd=4096;modify=20261209044502;UNIX.mode=0755;UNIX.uid=1000;UNIX.gid=1000;unique=803g4; sub\r\n",
         {L"a b.txt", L"sub"},
         {5, SIZE_UNKNOWN}},
        {"ProFTPD",
         L"modify=20261209044500;perm=flcdmpe;type=cdir;unique=FD01U2;UNIX.group=0;UNIX.groupname=root;UNIX.mode=0755;"
         L"UNIX.owner=0;UNIX.ownername=root; .\r\n"
         L"modify=20261209044501;perm=adfrw;size=5;type=file;unique=FD01U3;UNIX.group=1000;UNIX.groupname=ftp;"
         L"UNIX.mode=0644;UNIX.owner=1000;UNIX.ownername=ftp; a b.txt\r\n"
         L"modify=20261209044502;perm=flcdmpe;type=dir;unique=FD01U4;UNIX.group=1000;UNIX.groupname=ftp;UNIX.mode=0755;"
         L"UNIX.owner=1000;UNIX.ownername=ftp; sub\r\n"
         L"modify=20261209044503;perm=adfrw;size=7;type=OS.unix=symlink;unique=FD01U5;UNIX.mode=0777; link\r\n",
         {L"a b.txt", L"sub", L"link"},
         {5, SIZE_UNKNOWN, 7}},
        {"Windows server",
         L"Type=dir;Modify=20261209044500.123; Program Files\r\nType=file;Size=0;Modify=20261209044501.5; "
         L"empty.log\r\n",
         {L"Program Files", L"empty.log"},
         {SIZE_UNKNOWN, 0}},
    };
    for (const Corpus& c : corpus) {
        SCOPED_TRACE(c.server);
        std::vector<std::wstring> names;
        std::vector<std::uint64_t> sizes;
        std::size_t start = 0;
        for (std::size_t end; (end = c.listing.find(L"\r\n", start)) != std::wstring::npos; start = end + 2) {
            CFTPFileStatus entry;
            if (!ParseMachineListLine(std::wstring_view(c.listing).substr(start, end - start), entry)) continue;
            EXPECT_NE(entry.modified, 0) << entry.name;
            names.push_back(entry.name);
            sizes.push_back(entry.sizeKnown != 0 ? entry.size : SIZE_UNKNOWN);
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(sizes, c.sizes);
    }
}

namespace {

class MlsdChoiceTest : public ScriptedSessionTest {
protected:
    void Start(bool preferMlsd = true)
    {
        server.On("QUIT", "221 bye\r\n");
        LogonSettings settings;
        settings.preferMlsd = preferMlsd;
        LogOn(settings);
    }
    std::vector<std::wstring> List(const std::wstring& path)
    {
        std::vector<FileStatusPtr> entries;
        std::vector<std::wstring> names;
        if (!client.ListFiles(path, entries, true)) names.push_back(L"<failed>");
        for (const auto& entry : entries)
            names.push_back(entry->name + (entry->isDirectory ? L"/" : L""));
        return names;
    }
};

const char* const kMlstOffered = "211-Features:\r\n MLST type*;size*;modify*;perm*;\r\n211 End\r\n";
const char* const kMlstListing = "type=cdir; /pub\r\ntype=dir; docs\r\ntype=file;size=3; a.txt\r\n";
const char* const kListListing = "drwxr-xr-x 2 u g 4096 Jan  5  2020 docs\r\n";

} // namespace

TEST_F(MlsdChoiceTest, MlsdWhenMlstIsOfferedAndItsRefusalForAPathIsShown)
{
    ScriptLogon(server, kMlstOffered);
    server.ExpectPasv().On("MLSD /pub", "150 ok\r\n").DataSend(kMlstListing).Reply("226 ok\r\n");
    server.ExpectPasv().On("MLSD /gone", "550 No such directory\r\n");
    server.ExpectPasv().On("MLSD", "150 ok\r\n").DataSend("").Reply("226 ok\r\n");
    Start();
    EXPECT_THAT(List(L"/pub"), ElementsAre(L"docs/", L"a.txt"));
    EXPECT_THAT(List(L"/gone"), ElementsAre(L"<failed>"));
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"550 No such directory"));
    EXPECT_THAT(List(L""), IsEmpty());
    EXPECT_THAT(Played(), ElementsAre("EPSV", "MLSD /pub", "EPSV", "MLSD /gone", "EPSV", "MLSD"));
}

// A server that does not know MLSD after all: LIST at once, without a box, and for the rest
// of the connection.
class MlsdRefusalTest : public MlsdChoiceTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(MlsdRefusalTest, FallsBackToListForTheConnection)
{
    ScriptLogon(server, "211-Features:\r\n MLST type*;size*;\r\n211 End\r\n");
    server.ExpectPasv().On("MLSD /pub", GetParam());
    server.ExpectPasv().On("LIST /pub", "150 ok\r\n").DataSend(kListListing).Reply("226 ok\r\n");
    server.ExpectPasv().On("LIST /pub", "150 ok\r\n").DataSend(kListListing).Reply("226 ok\r\n");
    Start();
    EXPECT_THAT(List(L"/pub"), ElementsAre(L"docs/"));
    EXPECT_THAT(List(L"/pub"), ElementsAre(L"docs/"));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_THAT(Played(), ElementsAre("EPSV", "MLSD /pub", "EPSV", "LIST /pub", "EPSV", "LIST /pub"));
}

INSTANTIATE_TEST_SUITE_P(UnknownCommand, MlsdRefusalTest,
                         ::testing::Values("500 Unknown command\r\n", "502 Command not supported\r\n"));

struct ListChoice {
    const char* featReply;
    bool preferMlsd;
};

class ListChoiceTest : public MlsdChoiceTest, public ::testing::WithParamInterface<ListChoice> {};

TEST_P(ListChoiceTest, ListWhenTheSitePrefersItOrMlstIsNotOffered)
{
    ScriptLogon(server, GetParam().featReply);
    server.ExpectPasv().On("LIST /pub", "150 ok\r\n").DataSend(kListListing).Reply("226 ok\r\n");
    Start(GetParam().preferMlsd);
    EXPECT_THAT(List(L"/pub"), ElementsAre(L"docs/"));
    EXPECT_THAT(Played(), ElementsAre("EPSV", "LIST /pub"));
}

INSTANTIATE_TEST_SUITE_P(Choices, ListChoiceTest,
                         ::testing::Values(ListChoice{"211-Features:\r\n MLST type*;\r\n211 End\r\n", false},
                                           ListChoice{"211-Features:\r\n MDTM\r\n211 End\r\n", true},
                                           ListChoice{"502 Command not supported\r\n", true}));

namespace {

// 2001-02-03 04:05:06 UTC: old enough that LIST would show the day only.
constexpr std::int64_t kOldTime = 981173106;

void SetModified(const std::filesystem::path& path, std::int64_t seconds)
{
#ifdef _WIN32
    __utimbuf64 times{seconds, seconds};
    ASSERT_EQ(_wutime64(path.wstring().c_str(), &times), 0);
#else
    const utimbuf times{static_cast<time_t>(seconds), static_cast<time_t>(seconds)};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
#endif
}

struct Listed {
    std::map<std::wstring, std::pair<bool, std::uint64_t>> entries; // directory, size of a file
    std::int64_t oldFileTime = 0;
};

class RealServerMlsdTest : public ::testing::TestWithParam<testsupport::ServerKind> {
protected:
    Listed ListTree(const testsupport::RealServer& server, bool preferMlsd, bool& mlstOffered)
    {
        CFTPClient client{new nsSocket::CBlockingSocket};
        LogonSettings settings;
        settings.host = L"127.0.0.1";
        settings.port = server.Info().port;
        settings.user = WireToWide(server.Info().user);
        settings.password = WireToWide(server.Info().password);
        settings.preferMlsd = preferMlsd;
        Listed listed;
        if (!client.LogOn(settings, 10)) return listed;
        mlstOffered = client.Features().Has(L"MLST");
        std::vector<FileStatusPtr> entries;
        EXPECT_TRUE(client.ListFiles(L"/" + WireToWide(dirName), entries, true));
        for (const auto& entry : entries) {
            if (entry->name == L"." || entry->name == L"..") continue;
            listed.entries[entry->name] = {entry->isDirectory, entry->isDirectory ? 0 : entry->size};
            if (entry->name == L"old file") listed.oldFileTime = entry->modified;
        }
        client.LogOff();
        return listed;
    }

    std::string dirName = std::string("mlsd-") + testsupport::ServerName(GetParam());
    TestReporter reporter;
};

} // namespace

// The same tree by MLSD and by LIST: names, sizes and directory flags agree, and MLSD's
// time is the file's to the second. vsftpd offers no MLST, so it lists by LIST.
TEST_P(RealServerMlsdTest, MlsdListsWhatListLists)
{
    std::string why;
    const auto server = testsupport::RealServer::Start(GetParam(), &why);
    if (!server) GTEST_SKIP() << testsupport::ServerName(GetParam()) << " is not available here: " << why;
    server->MakeDirectory(dirName);
    server->MakeDirectory(std::filesystem::path(dirName) / "sub dir");
    server->WriteFile(std::filesystem::path(dirName) / "a;b=c.txt", "12345");
    server->WriteFile(std::filesystem::path(dirName) / "empty", "");
    SetModified(server->WriteFile(std::filesystem::path(dirName) / "old file", "old"), kOldTime);

    bool mlstOffered = false;
    const Listed byMlsd = ListTree(*server, true, mlstOffered);
    EXPECT_EQ(mlstOffered, GetParam() != testsupport::ServerKind::Vsftpd);
    bool ignored = false;
    const Listed byList = ListTree(*server, false, ignored);
    using Entry = std::pair<const std::wstring, std::pair<bool, std::uint64_t>>;
    EXPECT_THAT(byMlsd.entries, ElementsAre(Entry{L"a;b=c.txt", {false, 5}}, Entry{L"empty", {false, 0}},
                                            Entry{L"old file", {false, 3}}, Entry{L"sub dir", {true, 0}}));
    EXPECT_EQ(byList.entries, byMlsd.entries);
    if (mlstOffered) {
        EXPECT_EQ(byMlsd.oldFileTime, kOldTime);
    }
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerMlsdTest, ::testing::ValuesIn(testsupport::kAllServerKinds),
                         [](const auto& info) {
                             std::string name = testsupport::ServerName(info.param);
                             std::erase(name, '-');
                             return name;
                         });
