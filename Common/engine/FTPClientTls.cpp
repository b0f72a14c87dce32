// FTP over TLS (RFC 4217): AUTH TLS, the certificate's judgement, PBSZ and PROT, and the
// TLS handshake of each data connection, the program always acting as the TLS client.
#include "engine/FTPClient.h"
#include "engine/Reporter.h"
#include "engine/TextCodec.h"

namespace nsFTP {

const wchar_t* const AUTH_TLS_REFUSED_TEXT =
    L"The server refused FTP over TLS, which this site requires. The password was not sent.\r\n\r\nThe server said: ";
const wchar_t* const PLAIN_LOGON_REFUSED_TEXT =
    L"This server does not support FTP over TLS, and the logon in clear text was declined. The password was not "
    L"sent.";
const wchar_t* const TLS_THROUGH_FIREWALL_TEXT =
    L"FTP over TLS can't protect a logon through this firewall mode: the firewall passes the logon on to the server "
    L"in clear text. Choose \"No Proxy\", or let the site use FTP over TLS only if available.";
const wchar_t* const PLAIN_AFTER_AUTH_TEXT =
    L"The server agreed to FTP over TLS but went on in plain text. The connection was closed.";
const wchar_t* const CERTIFICATE_REFUSED_TEXT =
    L"The server's certificate is not trusted, and it was not accepted. The connection was closed.\r\n\r\nReason: ";
const wchar_t* const DATA_NOT_PROTECTED_TEXT =
    L"The server refused to encrypt data connections (PROT P), which this site requires.\r\n\r\nThe server said: ";
const wchar_t* const DATA_CERTIFICATE_CHANGED_TEXT =
    L"The data connection presented another certificate than the control connection. It was closed.";

namespace {

std::unique_ptr<nsSocket::ITlsEngine> NewTlsClient(const std::wstring& host, const nsSocket::ITlsEngine* resumeFrom)
{
    return nsSocket::MakeTlsClient(WideToWire(host), resumeFrom);
}

bool Requires(TlsMode mode) { return mode == TlsMode::REQUIRE_EXPLICIT || mode == TlsMode::REQUIRE_IMPLICIT; }

} // namespace

bool CFTPClient::NegotiateExplicitTls()
{
    ServerReply reply;
    if (!SendCommand(L"AUTH TLS", true) || !ReadReply(reply, true)) {
        if (!reply.text.empty()) ReportError(reply.text);
        return false;
    }
    if (reply.Code() == L"234") return StartControlTls();
    if (logonSettings.tls == TlsMode::REQUIRE_EXPLICIT) {
        ReportError(AUTH_TLS_REFUSED_TEXT + reply.text);
        CloseControlConnection();
        return false;
    }
    return AllowPlainLogon();
}

bool CFTPClient::AllowPlainLogon()
{
    if (tlsQuestions != nullptr && tlsQuestions->ContinueWithoutTls(logonSettings)) return true;
    ReportError(PLAIN_LOGON_REFUSED_TEXT);
    CloseControlConnection();
    return false;
}

bool CFTPClient::StartControlTls()
{
    // Nothing may come between the 234 and the server's part of the handshake: text that
    // did was sent in the clear, by the server or by someone on the way.
    if (!pendingLines.empty() || !partialLine.empty()) {
        ReportError(PLAIN_AFTER_AUTH_TEXT);
        CloseControlConnection();
        return false;
    }
    auto channel = std::make_unique<nsSocket::TlsChannel>(*controlSocket, NewTlsClient(logonSettings.host, nullptr));
    try {
        channel->Handshake(timeout);
    } catch (const nsSocket::CBlockingSocketException& failure) {
        ShowSocketFailure(failure);
        CloseControlConnection();
        return false;
    }
    tlsSession = channel->Engine().Info();
    controlTls = std::move(channel);
    if (tlsSession.trust == nsSocket::TlsTrust::Trusted) return true;
    if (tlsQuestions != nullptr && tlsQuestions->AcceptCertificate(logonSettings, tlsSession)) return true;
    ReportError(CERTIFICATE_REFUSED_TEXT + tlsSession.trustDetail);
    CloseControlConnection();
    return false;
}

bool CFTPClient::ProtectDataConnections()
{
    ServerReply reply;
    for (const wchar_t* command : {L"PBSZ 0", L"PROT P"}) {
        if (!SendCommand(command, true) || !ReadReply(reply, true)) {
            if (!reply.text.empty()) ReportError(reply.text);
            return false;
        }
        if (reply.code[0] == L'2') continue;
        // "If available" takes what the server offers: the logon itself was protected.
        if (!Requires(logonSettings.tls)) return true;
        ReportError(DATA_NOT_PROTECTED_TEXT + reply.text);
        CloseControlConnection();
        return false;
    }
    protectData = true;
    return true;
}

bool CFTPClient::SecureDataConnection(std::unique_ptr<nsSocket::IBlockingSocket>& dataSocket)
{
    if (!protectData || !controlTls) return true;
    auto channel = std::make_unique<nsSocket::TlsChannel>(std::move(dataSocket),
                                                          NewTlsClient(logonSettings.host, &controlTls->Engine()));
    nsSocket::TlsChannel& secured = *channel;
    dataSocket = std::move(channel);
    try {
        secured.Handshake(timeout);
    } catch (const nsSocket::CBlockingSocketException& failure) {
        ShowSocketFailure(failure);
        dataSocket->CloseQuietly();
        DrainFinalReply();
        return false;
    }
    // The user judged the control connection's certificate; a data connection must show
    // the same one.
    if (secured.Engine().Info().certificate.sha256 != tlsSession.certificate.sha256) {
        ReportError(DATA_CERTIFICATE_CHANGED_TEXT);
        dataSocket->CloseQuietly();
        DrainFinalReply();
        return false;
    }
    return true;
}

} // namespace nsFTP
