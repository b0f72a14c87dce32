#include <gtest/gtest.h>

#include <cstring>

#include "engine/FTPDataTypes.h"
#include "engine/TextCodec.h"

using namespace nsFTP;

TEST(LogonSettingsTest, DefaultsAndTargetText)
{
    LogonSettings s;
    EXPECT_EQ(s.port, 21);
    EXPECT_EQ(s.firewallPort, 21);
    EXPECT_EQ(s.user, L"anonymous");
    EXPECT_TRUE(s.password.empty());
    EXPECT_EQ(s.firewallMode, FIREWALL_NONE);

    s.host = L"myhost";
    EXPECT_EQ(TargetText(s), L"myhost");
    s.port = 2121;
    EXPECT_EQ(TargetText(s), L"myhost:2121");
}

TEST(LogonSettingsTest, CommandTemplatesNameTheTarget)
{
    LogonSettings s;
    s.host = L"myhost";
    s.port = 2121;
    s.user = L"joe";
    s.password = L"pw";
    s.account = L"acc";
    s.firewallUser = L"fw";
    s.firewallPassword = L"fwpw";
    const wchar_t* expected[LOGON_COMMAND_COUNT] = {
        L"USER joe",
        L"PASS pw",
        L"ACCT acc",
        L"USER fw",
        L"PASS fwpw",
        L"SITE myhost:2121",
        L"USER joe@myhost:2121",
        L"OPEN myhost:2121",
        L"USER fw@myhost:2121",
        L"USER joe@myhost:2121 fw",
        L"USER joe@fw@myhost:2121",
        L"PASS pw@fwpw",
    };
    for (int i = 0; i < LOGON_COMMAND_COUNT; ++i)
        EXPECT_EQ(LogonCommandText(i, s), expected[i]) << i;
    EXPECT_EQ(LogonCommandText(LOGON_COMMAND_COUNT, s), L"");
    EXPECT_EQ(LogonCommandText(-1, s), L"");
}

TEST(LogonStepsTest, EveryReachableStepNamesACommandAndMovesForward)
{
    for (int mode = 0; mode < FIREWALL_MODE_COUNT; ++mode) {
        for (int step = 0; step < LOGON_ROW_LENGTH; step += LOGON_STEP_WIDTH) {
            const int* e = LogonSteps[mode] + step;
            for (int k = 1; k <= 2; ++k) {
                const int next = e[k];
                if (next == LOGON_STEP_LOGGED_ON || next == LOGON_STEP_FAILED) continue;
                if (e[0] == 0 && e[1] == 0 && e[2] == 0) continue; // unused step
                EXPECT_GT(next, step) << "mode " << mode << " step " << step;
                EXPECT_EQ(next % LOGON_STEP_WIDTH, 0);
                EXPECT_LT(next, LOGON_ROW_LENGTH);
            }
        }
    }
}

TEST(CommandTextTest, RepresentationAndTransferCommands)
{
    using R = RepresentationType;
    EXPECT_EQ((R{R::ASCII, R::NON_PRINT}).CommandText(), L"TYPE A N");
    EXPECT_EQ((R{R::EBCDIC, R::TELNET_FORMAT}).CommandText(), L"TYPE E T");
    EXPECT_EQ((R{R::ASCII, R::CARRIAGE_CONTROL}).CommandText(), L"TYPE A C");
    EXPECT_EQ((R{R::IMAGE, R::TELNET_FORMAT}).CommandText(), L"TYPE I");
    EXPECT_EQ((R{R::LOCAL_BYTE, R::NON_PRINT}).CommandText(), L"TYPE L 0");

    EXPECT_EQ(TransferCommandText(TRANSFER_LIST, L""), L"LIST");
    EXPECT_EQ(TransferCommandText(TRANSFER_LIST, L"/pub dir"), L"LIST /pub dir");
    EXPECT_EQ(TransferCommandText(TRANSFER_NAME_LIST, L""), L"NLST");
    EXPECT_EQ(TransferCommandText(TRANSFER_RETRIEVE, L"a"), L"RETR a");
    EXPECT_EQ(TransferCommandText(TRANSFER_STORE, L"a"), L"STOR a");
    EXPECT_EQ(TransferCommandText(TRANSFER_STORE_UNIQUE, L"a"), L"STOU a");
    EXPECT_EQ(TransferCommandText(TRANSFER_APPEND, L"a"), L"APPE a");
    EXPECT_EQ(TransferCommandText(TRANSFER_MACHINE_LIST, L""), L"MLSD");
    EXPECT_EQ(TransferCommandText(TRANSFER_MACHINE_LIST, L"/pub dir"), L"MLSD /pub dir");
    EXPECT_EQ(TransferCommandText(static_cast<TransferCommand>(7), L"a"), L"");
    EXPECT_TRUE(TransferReceivesData(TRANSFER_RETRIEVE));
    EXPECT_TRUE(TransferReceivesData(TRANSFER_MACHINE_LIST));
    EXPECT_FALSE(TransferReceivesData(TRANSFER_STORE));
}

TEST(ServerReplyTest, CodeValidityAndResult)
{
    ServerReply r;
    EXPECT_TRUE(r.Assign(L"220"));
    EXPECT_EQ(r.Code(), L"220");
    EXPECT_EQ(r.code[3], 0);
    EXPECT_EQ(r.Result(), REPLY_OK);

    EXPECT_FALSE(r.Assign(L"099 zero"));
    EXPECT_FALSE(r.HasCode());
    EXPECT_EQ(r.text, L"099 zero");
    EXPECT_EQ(r.Result(), REPLY_OTHER);
    EXPECT_FALSE(r.Assign(L"260 six"));
    EXPECT_FALSE(r.Assign(L"22"));
    EXPECT_TRUE(r.Assign(L"25x third digit unchecked"));

    r.Assign(L"550 no");
    EXPECT_EQ(r.Result(), REPLY_REFUSED);
    r.Assign(L"421 bye");
    EXPECT_EQ(r.Result(), REPLY_REFUSED);
    r.Assign(L"331 more");
    EXPECT_EQ(r.Result(), REPLY_OTHER);
    r.Assign(L"150 opening");
    EXPECT_EQ(r.Result(), REPLY_OTHER);
}

TEST(FileStatusTest, NewAndResetRecordsAreEmpty)
{
    CFTPFileStatus status;
    status.name = L"x";
    status.size = 5;
    status.isDirectory = true;
    status.hasId = 1;
    status.Reset();
    EXPECT_TRUE(status.name.empty());
    EXPECT_EQ(status.size, 0u);
    EXPECT_FALSE(status.isDirectory);
    EXPECT_EQ(status.hasId, 0);
}

namespace {
struct Tracked {
    explicit Tracked(int* deletions) : deletions(deletions) {}
    ~Tracked() { ++*deletions; }
    int* deletions;
};
} // namespace

TEST(SharedPointerTest, DeletesOnceAtTheLastRelease)
{
    int deletions = 0;
    auto* first = new nsSP::RCIPtr<Tracked>(new Tracked(&deletions));
    auto* second = new nsSP::RCIPtr<Tracked>(*first);
    auto* third = new nsSP::RCIPtr<Tracked>(*second);
    EXPECT_EQ(first->UseCount(), 3);
    delete first;
    delete second;
    EXPECT_EQ(deletions, 0);
    EXPECT_EQ(third->UseCount(), 1);
    delete third;
    EXPECT_EQ(deletions, 1);

    nsSP::RCIPtr<Tracked> a(new Tracked(&deletions));
    nsSP::RCIPtr<Tracked> b(new Tracked(&deletions));
    a = b; // releases a's object
    EXPECT_EQ(deletions, 2);
    a = a;
    EXPECT_EQ(a.UseCount(), 2);
}

namespace {
std::vector<std::wstring> Lines(COutputStream& stream)
{
    std::vector<std::wstring> lines;
    std::wstring line;
    stream.SetStartPosition();
    while (stream.GetNextLine(line))
        lines.push_back(line);
    return lines;
}
void Feed(COutputStream& stream, std::string_view bytes)
{
    stream.OnBytesReceived(reinterpret_cast<const unsigned char*>(bytes.data()),
                           static_cast<std::int32_t>(bytes.size()));
}
} // namespace

TEST(OutputStreamTest, GetNextLineNeverReturnsTextAfterTheLastSeparator)
{
    COutputStream stream(L"\r\n");
    Feed(stream, "a\r\nb\r\nc");
    EXPECT_EQ(Lines(stream), (std::vector<std::wstring>{L"a", L"b"}));
    std::wstring line = L"kept";
    EXPECT_FALSE(stream.GetNextLine(line));
    EXPECT_EQ(line, L"kept");

    COutputStream bareLf(L"\r\n");
    Feed(bareLf, "a\nb\n");
    EXPECT_TRUE(Lines(bareLf).empty());
}

TEST(OutputStreamTest, MultiByteNamesSurviveBeingSplitAcrossReceives)
{
    // "d\xC3\xA9j\xC3\xA0" is déjà; \xFF is no UTF-8 at all.
    const std::string listing = "d\xC3\xA9j\xC3\xA0 \xFF\xE2\x82\r\nnext\r\n";
    for (std::size_t cut = 0; cut <= listing.size(); ++cut) {
        COutputStream stream(L"\r\n");
        Feed(stream, std::string_view(listing).substr(0, cut));
        Feed(stream, std::string_view(listing).substr(cut));
        const auto lines = Lines(stream);
        ASSERT_EQ(lines.size(), 2u) << cut;
        EXPECT_EQ(lines[0], std::wstring(L"d\u00e9j\u00e0 ") + wchar_t(0xDCFF) + wchar_t(0xDCE2) + wchar_t(0xDC82))
            << cut;
        EXPECT_EQ(WideToWire(lines[0]), listing.substr(0, listing.find('\r'))) << cut;
    }
}

TEST(TextCodecTest, EveryByteSequenceRoundTrips)
{
    const std::string samples[] = {
        "plain ascii",
        "\xC3\xA9t\xC3\xA9",              // valid two-byte
        "\xF0\x9F\x93\x81 folder",        // valid four-byte (a surrogate pair on Windows)
        "\xC0\xAF overlong",              // never valid
        "\xED\xB2\x80 encoded surrogate", // must not become a real surrogate
        "\xE2\x82 truncated",
        "\xF4\x90\x80\x80 beyond U+10FFFF",
        "latin-1 caf\xE9",
    };
    for (const auto& bytes : samples)
        EXPECT_EQ(WideToWire(WireToWide(bytes)), bytes) << bytes;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(WideToWire(WireToWide(one)), one) << b;
    }
    EXPECT_EQ(WideToWire(L"\u00e9"), "\xC3\xA9");
    // A surrogate that no decoded byte produces has no bytes of its own.
    EXPECT_EQ(WideToWire(std::wstring(1, wchar_t(0xD800))), "?");
}

namespace {
std::wstring Escaped(std::string_view bytes)
{
    std::wstring text;
    for (const char b : bytes)
        text.push_back(static_cast<wchar_t>(0xDC00 + static_cast<unsigned char>(b)));
    return text;
}
} // namespace

// Windows converts with its own code page tables and the native build with iconv; both must give the
// same text for every byte pair, or a name would differ between the builds.
TEST(TextCodecTest, CodePagesDecodeAlikeOnEveryPlatformAndRoundTripEveryByte)
{
    struct Case {
        std::uint32_t codePage;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {CODE_PAGE_WESTERN, "caf\xE9 \x80", L"caf\u00e9 \u20ac"},
        {CODE_PAGE_WESTERN, "\x81\x8D\x8F\x90\x9D", Escaped("\x81\x8D\x8F\x90\x9D")}, // undefined
        {CODE_PAGE_CYRILLIC, "\xCF\xF0\xE8\xE2\xE5\xF2", L"\u041f\u0440\u0438\u0432\u0435\u0442"},
        {CODE_PAGE_CYRILLIC, "\x98", Escaped("\x98")},
        {CODE_PAGE_CENTRAL_EUROPEAN, "\x8A\xB9", L"\u0160\u0105"},
        {CODE_PAGE_CENTRAL_EUROPEAN, "\x81\x83\x88\x90\x98", Escaped("\x81\x83\x88\x90\x98")},
        {CODE_PAGE_JAPANESE, "\x93\xFA\x96\x7B \xB1", L"\u65e5\u672c \uff71"},
        {CODE_PAGE_JAPANESE, "\x80\xA0\xFD", Escaped("\x80\xA0\xFD")},
        // A duplicate that the platform encodes as FA 5C, and a lead byte without its trail.
        {CODE_PAGE_JAPANESE, "\xED\x40\x93 ", Escaped("\xED") + L"@" + Escaped("\x93") + L" "},
        {CODE_PAGE_CHINESE_SIMPLIFIED, "\xD6\xD0\xCE\xC4 \x80", L"\u4e2d\u6587 \u20ac"},
        {CODE_PAGE_CHINESE_SIMPLIFIED, "\xAA\xA1\xFF", Escaped("\xAA\xA1\xFF")}, // user-defined, undefined
        {CODE_PAGE_UTF8, "\xC3\xA9\xE9", L"\u00e9" + Escaped("\xE9")},
        {CODE_PAGE_AUTO, "\xC3\xA9\xE9", L"\u00e9" + Escaped("\xE9")},
    };
    for (const Case& c : cases) {
        const TextCodec codec(c.codePage);
        EXPECT_EQ(codec.Decode(c.bytes), c.text) << c.codePage << " " << c.bytes;
        EXPECT_EQ(codec.Encode(c.text), c.bytes) << c.codePage << " " << c.bytes;
    }
    EXPECT_EQ(TextCodec(CODE_PAGE_WESTERN).Encode(L"\u0100\u65e5"), "??");

    // FNV-1a over the text of every byte pair from 80 00 to FF FF, as both platforms decode it.
    const std::pair<std::uint32_t, std::uint32_t> digests[] = {
        {CODE_PAGE_WESTERN, 3212778373u},           {CODE_PAGE_CYRILLIC, 685313025u},
        {CODE_PAGE_CENTRAL_EUROPEAN, 2856041189u},  {CODE_PAGE_JAPANESE, 2367802889u},
        {CODE_PAGE_CHINESE_SIMPLIFIED, 658594073u},
    };
    for (const auto& [codePage, expected] : digests) {
        const TextCodec codec(codePage);
        std::uint32_t digest = 2166136261u;
        for (int first = 0x80; first < 0x100; ++first) {
            for (int second = 0; second < 0x100; ++second) {
                const std::string bytes{static_cast<char>(first), static_cast<char>(second)};
                const std::wstring text = codec.Decode(bytes);
                ASSERT_EQ(codec.Encode(text), bytes) << codePage << " " << first << " " << second;
                std::wstring split;
                const std::size_t used = codec.AppendDecoded(bytes.substr(0, 1), split, true);
                codec.AppendDecoded(std::string_view(bytes).substr(used), split, false);
                ASSERT_EQ(split, text) << codePage << " " << first << " " << second;
                for (const wchar_t unit : text)
                    digest = (digest ^ static_cast<std::uint32_t>(unit)) * 16777619u;
            }
        }
        EXPECT_EQ(digest, expected) << codePage;
    }
}
