// ftpcli: the FTP engine driven from the command line. See Usage() below.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Remote.h"
#include "Rows.h"
#include "engine/BlockingSocket.h"
#include "engine/ListingParser.h"
#include "engine/Reporter.h"
#include "engine/TextCodec.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr const char* USAGE =
    "usage: ftpcli [options] COMMAND OPERANDS...\n"
    "\n"
    "  parse [--year Y]          parse listing lines from stdin, one row per line\n"
    "  ls URL                    list a remote directory, one row per parsed entry\n"
    "  get URL... LOCAL          download; LOCAL is a file, or a directory that receives\n"
    "                            each URL's last path segment (required for several URLs)\n"
    "  put LOCAL [LOCAL...] URL  upload; URL names the remote file, or a directory when it\n"
    "                            ends in '/' or several local files are given\n"
    "  mkdir URL | rmdir URL | rm URL\n"
    "  mv URL NEWPATH            rename on the server (NEWPATH is a plain server path)\n"
    "  chmod MODE URL            SITE CHMOD MODE path\n"
    "  hash URL                  the server's digest of the file: \"ALGORITHM hex\"\n"
    "                            (SHA-256, SHA-1, MD5 or CRC32, whichever it offers best)\n"
    "\n"
    "URL: ftp://[user[:password]@]host[:port][/path], an IPv6 host in brackets; user, password and path are\n"
    "percent-decoded; port 21 and user anonymous by default. ftps:// is the same with\n"
    "implicit TLS, on port 990 by default. The path goes to the server\n"
    "as written: ftp://h/pub/x names /pub/x. Operands of one get that name the same server\n"
    "and account share one logon.\n"
    "\n"
    "Rows (tab-separated, names as UTF-8 bytes):\n"
    "  parsed name isDirectory isRetrievable sizeKnown size modified attributes owner\n"
    "  group linkCount hasId id\n"
    "size is '-' when unknown; modified is seconds since 1970 UTC. parse prints a row for\n"
    "every line (parsed 0 and empty fields when the layout is unknown); ls prints parsed\n"
    "entries only.\n"
    "\n"
    "Options:\n"
    "  --active       active data connections (EPRT, then PORT where the server refuses\n"
    "                 EPRT); passive is the default\n"
    "  --no-epsv      passive mode sends PASV at once instead of EPSV first (IPv4 only:\n"
    "                 over IPv6 only EPSV can work); --epsv is the default\n"
    "  --mlsd         list with MLSD when the server offers it (the default)\n"
    "  --no-mlsd      list with LIST in any case\n"
    "  --timeout N    seconds per network operation (default 30)\n"
    "  --tls MODE     ftp:// URLs: require (AUTH TLS, refused: fail before the password),\n"
    "                 try (TLS if the server offers it; without, fail: ftpcli asks\n"
    "                 nobody whether clear text will do) or never (the default)\n"
    "  --trust SHA256 accept a certificate that no trusted root vouches for when its\n"
    "                 SHA-256 fingerprint (64 hex digits) is this one\n"
    "  --year Y       parse: date lines without a year as if it were the last second of Y\n"
    "                 (UTC); the default is the system clock\n"
    "  --urls FILE    get: also fetch the URLs listed in FILE, one per line\n"
    "  --resume       get, put: continue from the size of the file already there (the\n"
    "                 local file, or the remote one), and keep a partial file on failure\n"
    "  -v             server replies on stderr\n"
    "\n"
    "Exit status: 0 success, 1 failure (reported on stderr), 2 usage error.\n";

// Errors go to stderr; replies only when asked for.
class ConsoleReporter final : public nsFTP::IEngineReporter {
public:
    explicit ConsoleReporter(bool verbose) : verbose(verbose) {}

    void ShowError(const std::wstring& text) override { Print(text); }
    void SetStatusText(int, const std::wstring& text) override
    {
        if (verbose) Print(text);
    }
    void SocketActivity() override {}

private:
    static void Print(const std::wstring& text)
    {
        std::string bytes = nsFTP::WideToWire(text);
        std::string line;
        for (char c : bytes)
            if (c != '\r') line += c;
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        std::fprintf(stderr, "ftpcli: %s\n", line.c_str());
    }

    bool verbose;
};

bool ParseInt(const std::string& text, int& value)
{
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    return failure == std::errc() && end == text.data() + text.size();
}

// Every line of stdin, LF-terminated (a CR before the LF is dropped), to one row each.
int RunParse(const nsFTP::ListingClock& clock)
{
    constexpr std::size_t CHUNK = 1 << 20;
    std::vector<char> input(CHUNK);
    std::string pending;
    std::string out;
    std::wstring line;
    nsFTP::CFTPFileStatus entry;

    auto emit = [&](const char* begin, std::size_t length) {
        if (length > 0 && begin[length - 1] == '\r') --length;
        line.clear();
        nsFTP::AppendWireToWide(std::string_view(begin, length), line, false);
        entry.Reset();
        const bool parsed = nsFTP::ParseListLine(line, entry, clock);
        if (!parsed) entry.Reset();
        ftpcli::AppendRow(out, parsed, entry);
        if (out.size() >= CHUNK) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    };

    for (;;) {
        const std::size_t count = std::fread(input.data(), 1, input.size(), stdin);
        if (count == 0) break;
        const char* start = input.data();
        const char* end = start + count;
        while (start < end) {
            const char* newline =
                static_cast<const char*>(std::memchr(start, '\n', static_cast<std::size_t>(end - start)));
            if (newline == nullptr) {
                pending.append(start, end);
                break;
            }
            if (pending.empty()) {
                emit(start, static_cast<std::size_t>(newline - start));
            } else {
                pending.append(start, newline);
                emit(pending.data(), pending.size());
                pending.clear();
            }
            start = newline + 1;
        }
    }
    if (std::ferror(stdin)) {
        ftpcli::PrintError("cannot read standard input");
        return 1;
    }
    if (!pending.empty()) emit(pending.data(), pending.size());
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0) {
        ftpcli::PrintError("cannot write standard output");
        return 1;
    }
    return 0;
}

int Run(const std::vector<std::string>& arguments)
{
    ftpcli::RemoteOptions remote;
    bool verbose = false;
    bool yearGiven = false;
    int year = 0;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            operands.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (argument == "--resume") {
            remote.resume = true;
        } else if (argument == "--active") {
            remote.passive = false;
        } else if (argument == "--passive") {
            remote.passive = true;
        } else if (argument == "--epsv" || argument == "--no-epsv") {
            remote.extendedPassive = argument == "--epsv";
        } else if (argument == "--mlsd" || argument == "--no-mlsd") {
            remote.preferMlsd = argument == "--mlsd";
        } else if (argument == "-v") {
            verbose = true;
        } else if (argument == "--tls" && i + 1 < arguments.size()) {
            const std::string& mode = arguments[++i];
            if (mode == "require") {
                remote.tls = nsFTP::TlsMode::REQUIRE_EXPLICIT;
            } else if (mode == "try") {
                remote.tls = nsFTP::TlsMode::EXPLICIT_IF_AVAILABLE;
            } else if (mode == "never") {
                remote.tls = nsFTP::TlsMode::PLAIN_ONLY;
            } else {
                ftpcli::PrintError("bad value for --tls: " + mode + " (require, try or never)");
                return 2;
            }
        } else if (argument == "--trust" && i + 1 < arguments.size()) {
            remote.trustedSha256 = arguments[++i];
        } else if (argument == "--urls" && i + 1 < arguments.size()) {
            remote.urlFile = arguments[++i];
        } else if ((argument == "--timeout" || argument == "--year") && i + 1 < arguments.size()) {
            int value = 0;
            if (!ParseInt(arguments[++i], value) || value <= 0) {
                ftpcli::PrintError("bad value for " + argument + ": " + arguments[i]);
                return 2;
            }
            if (argument == "--timeout") {
                remote.timeoutSeconds = value;
            } else {
                year = value;
                yearGiven = true;
            }
        } else {
            ftpcli::PrintError("unknown option " + argument + " (see ftpcli --help)");
            return 2;
        }
    }
    if (operands.empty()) {
        std::fputs(USAGE, stderr);
        return 2;
    }

    ConsoleReporter reporter(verbose);
    nsFTP::SetEngineReporter(&reporter);
    const std::string command = operands.front();
    operands.erase(operands.begin());
    int status = 2;
    if (command == "parse") {
        if (!operands.empty()) {
            ftpcli::PrintError("parse reads standard input and takes no operands");
        } else {
            status = RunParse(yearGiven ? ftpcli::ClockForYear(year) : nsFTP::ListingClock::FromSystemClock());
        }
    } else if (command == "ls" || command == "get" || command == "put" || command == "mkdir" || command == "rmdir" ||
               command == "rm" || command == "mv" || command == "chmod" || command == "hash") {
        nsSocket::SocketLibrary sockets;
        if (!sockets.Started()) {
            ftpcli::PrintError("cannot start the socket library");
            status = 1;
        } else {
            status = ftpcli::RunRemoteCommand(command, operands, remote);
        }
    } else {
        ftpcli::PrintError("unknown command " + command + " (see ftpcli --help)");
    }
    nsFTP::SetEngineReporter(nullptr);
    return status;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    // Rows and file names are bytes: no CR LF translation on the standard streams.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(nsFTP::WideToWire(argv[i]));
    return Run(arguments);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
