#include "Remote.h"

#include <cstdio>
#include <memory>

#include "LocalFile.h"
#include "Rows.h"
#include "Url.h"
#include "engine/FTPClient.h"
#include "engine/TextCodec.h"

namespace ftpcli {
namespace {

constexpr int TRANSFER_BLOCK_SIZE = 1024 * 1024;

std::wstring Wide(const std::string& bytes) { return nsFTP::WireToWide(bytes); }

// ftpcli asks nobody: clear text is refused, and so is a certificate that no trusted root
// vouches for, unless its fingerprint was given on the command line.
class CommandLineAnswers final : public nsFTP::ITlsQuestions {
public:
    explicit CommandLineAnswers(const RemoteOptions& options) : options(options) {}
    bool ContinueWithoutTls(const nsFTP::LogonSettings&) override { return false; }
    bool AcceptCertificate(const nsFTP::LogonSettings&, const nsSocket::TlsSessionInfo& session) override
    {
        if (!options.trustedSha256.empty() && session.certificate.sha256 == options.trustedSha256) return true;
        PrintError("the server's certificate (" + nsFTP::WideToWire(session.certificate.subject) +
                   ") has the SHA-256 fingerprint " + session.certificate.sha256 +
                   "; to trust it, pass --trust with that fingerprint");
        return false;
    }

private:
    const RemoteOptions& options;
};

// One logon, kept while consecutive operands name the same server and account.
class Session {
public:
    explicit Session(const RemoteOptions& options) : options(options), answers(this->options) {}
    ~Session() { Disconnect(); }

    bool Connect(const FtpUrl& url)
    {
        if (client && client->IsConnected() && current.SameAccount(url)) return true;
        Disconnect();
        client = std::make_unique<nsFTP::CFTPClient>(new nsSocket::CBlockingSocket);
        nsFTP::LogonSettings settings;
        settings.host = Wide(url.host);
        settings.port = url.port;
        settings.user = Wide(url.user);
        settings.password = Wide(url.password);
        settings.tls = url.implicitTls ? nsFTP::TlsMode::REQUIRE_IMPLICIT : options.tls;
        settings.extendedPassive = options.extendedPassive;
        settings.preferMlsd = options.preferMlsd;
        client->SetTlsQuestions(&answers);
        if (!client->LogOn(settings, options.timeoutSeconds)) {
            PrintError("cannot log on to " + url.host + ":" + std::to_string(url.port) + " as " + url.user);
            client.reset();
            return false;
        }
        current = url;
        return true;
    }

    nsFTP::CFTPClient& Client() { return *client; }
    bool Passive() const { return options.passive; }
    bool Resume() const { return options.resume; }
    char* Buffer() { return buffer.data(); }

private:
    void Disconnect()
    {
        if (client && client->IsConnected()) client->LogOff();
        client.reset();
    }

    RemoteOptions options;
    CommandLineAnswers answers;
    FtpUrl current;
    std::unique_ptr<nsFTP::CFTPClient> client;
    std::vector<char> buffer = std::vector<char>(TRANSFER_BLOCK_SIZE);
};

bool ParseUrls(const std::vector<std::string>& texts, std::vector<FtpUrl>& urls)
{
    for (const std::string& text : texts) {
        FtpUrl url;
        std::string error;
        if (!ParseFtpUrl(text, url, error)) {
            PrintError(error);
            return false;
        }
        urls.push_back(std::move(url));
    }
    return true;
}

// RETR into local; a download that fails for any reason leaves no file behind, unless it
// resumes one, which keeps what arrived for the next try.
bool Download(Session& session, const FtpUrl& url, const std::string& local)
{
    LocalFile file;
    std::uint64_t offset = 0;
    if (!file.Open(local, session.Resume() ? "ab" : "wb") || (session.Resume() && !file.Size(offset))) {
        PrintError(file.ErrorText());
        return false;
    }
    nsFTP::CFTPClient& client = session.Client();
    std::unique_ptr<nsSocket::IBlockingSocket> data =
        client.OpenDataTransfer(Wide(url.path), session.Passive(), false, offset);
    bool complete = data != nullptr;
    std::string localError;
    while (complete) {
        int count = 0;
        if (!client.ReadData(*data, session.Buffer(), TRANSFER_BLOCK_SIZE, count)) {
            complete = false;
        } else if (count == 0) {
            break;
        } else if (!file.Write(session.Buffer(), static_cast<std::size_t>(count))) {
            localError = file.ErrorText();
            complete = false;
        }
    }
    if (data && !client.CloseDataTransfer(std::move(data))) complete = false;
    if (!file.Close() && localError.empty()) {
        localError = file.ErrorText();
        complete = false;
    }
    if (complete) return true;
    if (!session.Resume()) RemoveFile(local);
    PrintError(localError.empty() ? "cannot retrieve " + url.path : localError);
    return false;
}

// The size of the remote file an upload resumes; 0 when the server has none (550).
bool RemoteOffset(nsFTP::CFTPClient& client, const std::string& remotePath, std::uint64_t& offset)
{
    offset = 0;
    std::wstring failure;
    const int result = client.FileSize(Wide(remotePath), offset, failure);
    if (result == nsFTP::REPLY_OK || (result == nsFTP::REPLY_REFUSED && failure.rfind(L"550", 0) == 0)) {
        if (result != nsFTP::REPLY_OK) offset = 0;
        return true;
    }
    PrintError("cannot learn the size of " + remotePath +
               (failure.empty() ? std::string() : ": " + nsFTP::WideToWire(failure)));
    return false;
}

// STOR from local. A partial upload is deleted, as it can only mislead, unless it resumes
// one: what arrived is kept for the next try.
bool Upload(Session& session, const std::string& local, const std::string& remotePath)
{
    LocalFile file;
    if (!file.Open(local, "rb")) {
        PrintError(file.ErrorText());
        return false;
    }
    nsFTP::CFTPClient& client = session.Client();
    std::uint64_t offset = 0;
    if (session.Resume()) {
        if (!RemoteOffset(client, remotePath, offset)) return false;
        if (!file.Seek(offset)) {
            PrintError(file.ErrorText());
            return false;
        }
    }
    // Without REST STREAM, APPE continues the file all the same.
    const bool append = offset > 0 && !client.CanResume();
    std::unique_ptr<nsSocket::IBlockingSocket> data =
        client.OpenDataTransfer(Wide(remotePath), session.Passive(), true, offset, append);
    bool complete = data != nullptr;
    bool localFailure = false;
    while (complete) {
        const long length = file.Read(session.Buffer(), TRANSFER_BLOCK_SIZE);
        if (length < 0) {
            localFailure = true;
            complete = false;
        } else if (length == 0) {
            break;
        } else {
            int count = 0;
            if (!client.WriteData(*data, session.Buffer(), static_cast<int>(length), count)) complete = false;
        }
    }
    if (data && !client.CloseDataTransfer(std::move(data))) complete = false;
    if (complete) return true;
    if (localFailure) {
        PrintError(file.ErrorText());
        if (!session.Resume()) client.Delete(Wide(remotePath));
    } else {
        PrintError("cannot store " + remotePath);
    }
    return false;
}

int RunLs(Session& session, const FtpUrl& url)
{
    // Rows are made as the listing arrives, while the server sends the rest, and shown
    // only when it all came.
    std::string out;
    const auto addRow = [&out](const nsFTP::CFTPFileStatus& entry) { AppendRow(out, true, entry); };
    if (!session.Client().ListFiles(Wide(url.path), addRow, session.Passive())) {
        PrintError("cannot list " + (url.path.empty() ? std::string("the login directory") : url.path));
        return 1;
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

bool ReadUrlFile(const std::string& path, std::vector<std::string>& texts)
{
    LocalFile file;
    std::string contents;
    std::vector<char> block(64 * 1024);
    bool readable = file.Open(path, "rb");
    for (long count = 0; readable && (count = file.Read(block.data(), block.size())) != 0;) {
        if (count < 0)
            readable = false;
        else
            contents.append(block.data(), static_cast<std::size_t>(count));
    }
    if (!readable) {
        PrintError(file.ErrorText());
        return false;
    }
    std::size_t start = 0;
    while (start < contents.size()) {
        std::size_t end = contents.find('\n', start);
        if (end == std::string::npos) end = contents.size();
        std::string line = contents.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) texts.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

int RunGet(Session& session, const std::vector<std::string>& args, const std::string& urlFile)
{
    std::vector<std::string> texts(args.begin(), args.end() - 1);
    if (!urlFile.empty() && !ReadUrlFile(urlFile, texts)) return 1;
    if (texts.empty()) {
        PrintError("get needs at least one URL");
        return 2;
    }
    std::vector<FtpUrl> urls;
    if (!ParseUrls(texts, urls)) return 2;
    const std::string& local = args.back();
    const bool intoDirectory = IsDirectory(local);
    if (urls.size() > 1 && !intoDirectory) {
        PrintError(local + " is not a directory (several files are fetched into one)");
        return 1;
    }
    for (const FtpUrl& url : urls) {
        std::string target = local;
        if (intoDirectory) {
            const std::string name = BaseName(url.path);
            if (name.empty()) {
                PrintError("no file name in " + (url.path.empty() ? url.host : url.path));
                return 1;
            }
            target = JoinPath(local, name);
        }
        if (!session.Connect(url) || !Download(session, url, target)) return 1;
    }
    return 0;
}

int RunPut(Session& session, const std::vector<std::string>& args)
{
    std::vector<FtpUrl> urls;
    if (!ParseUrls({args.back()}, urls)) return 2;
    const FtpUrl& url = urls.front();
    const std::vector<std::string> locals(args.begin(), args.end() - 1);
    const bool intoDirectory = locals.size() > 1 || url.path.empty() || url.path.back() == '/';
    if (!session.Connect(url)) return 1;
    for (const std::string& local : locals) {
        std::string remote = url.path;
        if (intoDirectory) {
            if (remote.empty() || remote.back() != '/') remote += '/';
            remote += BaseName(local);
        }
        if (!Upload(session, local, remote)) return 1;
    }
    return 0;
}

int Result(int reply) { return reply == nsFTP::REPLY_OK ? 0 : 1; }

int RunHash(nsFTP::CFTPClient& client, const FtpUrl& url)
{
    nsFTP::RemoteHash hash;
    std::wstring failure;
    if (client.FileHash(Wide(url.path), hash, failure) != nsFTP::REPLY_OK) {
        PrintError(!client.OfferedHash() ? std::string("the server offers no file digest")
                                         : "cannot have the digest of " + url.path +
                                               (failure.empty() ? std::string() : ": " + nsFTP::WideToWire(failure)));
        return 1;
    }
    std::printf("%s %s\n", nsFTP::WideToWire(nsFTP::HashAlgorithmName(hash.algorithm)).c_str(), hash.hex.c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

void PrintError(const std::string& text) { std::fprintf(stderr, "ftpcli: %s\n", text.c_str()); }

int RunRemoteCommand(const std::string& command, const std::vector<std::string>& args, const RemoteOptions& options)
{
    Session session(options);
    std::size_t wanted = 1;
    if (command == "mv" || command == "chmod") wanted = 2;
    std::size_t fewest = command == "put" ? 2 : 1;
    if (command == "get" && options.urlFile.empty()) fewest = 2;
    const bool many = command == "get" || command == "put";
    if (many ? args.size() < fewest : args.size() != wanted) {
        PrintError("wrong number of operands for " + command + " (see ftpcli --help)");
        return 2;
    }
    if (command == "get") return RunGet(session, args, options.urlFile);
    if (command == "put") return RunPut(session, args);

    std::vector<FtpUrl> urls;
    if (!ParseUrls({command == "chmod" ? args[1] : args[0]}, urls)) return 2;
    const FtpUrl& url = urls.front();
    if (!session.Connect(url)) return 1;
    nsFTP::CFTPClient& client = session.Client();
    const std::wstring path = Wide(url.path);
    if (command == "ls") return RunLs(session, url);
    if (command == "mkdir") return Result(client.MakeDir(path, true));
    if (command == "rmdir") return Result(client.RemoveDir(path));
    if (command == "rm") return Result(client.Delete(path));
    if (command == "hash") return RunHash(client, url);
    if (command == "mv") return Result(client.Rename(path, Wide(args[1])));
    return Result(client.SiteCommand(L"CHMOD " + Wide(args[0]) + L" " + path));
}

} // namespace ftpcli
