#include "engine/FTPDataTypes.h"

#include "engine/TextCodec.h"

namespace nsFTP {

const std::array<const wchar_t*, FIREWALL_MODE_COUNT> FirewallModeLabels = {
    L"No Proxy",
    L"SITE Hostname",
    L"USER After Logon",
    L"Proxy OPEN",
    L"Transparent",
    L"USER With no Logon",
    L"USER FireID@Host",
    L"USER RemoteID@Host FireID",
    L"USER RemoteID@FireID@Host",
};

// clang-format off
const int LogonSteps[FIREWALL_MODE_COUNT][LOGON_ROW_LENGTH] = {
    // U, P, A
    { 0,-2, 3,   1,-2, 6,   2,-2,-1,   0, 0, 0,   0, 0, 0,   0, 0, 0 },
    // FU, FP, SITE, U, P, A
    { 3, 6, 3,   4, 6,-1,   5,-1, 9,   0,-2,12,   1,-2,15,   2,-2,-1 },
    // FU, FP, U@T, P, A
    { 3, 6, 3,   4, 6,-1,   6,-2, 9,   1,-2,12,   2,-2,-1,   0, 0, 0 },
    // OPEN, U, P, A
    { 7, 3, 3,   0,-2, 6,   1,-2, 9,   2,-2,-1,   0, 0, 0,   0, 0, 0 },
    // FU, FP, U, P, A
    { 3, 6, 3,   4, 6,-1,   0,-2, 9,   1,-2,12,   2,-2,-1,   0, 0, 0 },
    // U@T, P, A
    { 6,-2, 3,   1,-2, 6,   2,-2,-1,   0, 0, 0,   0, 0, 0,   0, 0, 0 },
    // FU@T, FP, U, P, A
    { 8, 6, 3,   4, 6,-1,   0,-2, 9,   1,-2,12,   2,-2,-1,   0, 0, 0 },
    // U@T F, P, A
    { 9,-1, 3,   1,-2, 6,   2,-2,-1,   0, 0, 0,   0, 0, 0,   0, 0, 0 },
    // U@F@T, P@FP, A
    {10,-2, 3,  11,-2, 6,   2,-2,-1,   0, 0, 0,   0, 0, 0,   0, 0, 0 },
};
// clang-format on

std::wstring TargetText(const LogonSettings& settings)
{
    if (settings.port == DEFAULT_FTP_PORT) return settings.host;
    return settings.host + L":" + std::to_wstring(settings.port);
}

std::wstring LogonCommandText(int command, const LogonSettings& s)
{
    switch (command) {
    case LOGON_USER: return L"USER " + s.user;
    case LOGON_PASS: return L"PASS " + s.password;
    case LOGON_ACCT: return L"ACCT " + s.account;
    case LOGON_FIREWALL_USER: return L"USER " + s.firewallUser;
    case LOGON_FIREWALL_PASS: return L"PASS " + s.firewallPassword;
    case LOGON_SITE: return L"SITE " + TargetText(s);
    case LOGON_USER_AT_TARGET: return L"USER " + s.user + L"@" + TargetText(s);
    case LOGON_OPEN: return L"OPEN " + TargetText(s);
    case LOGON_FIREWALL_USER_AT_TARGET: return L"USER " + s.firewallUser + L"@" + TargetText(s);
    case LOGON_USER_AT_TARGET_FIREWALL_USER: return L"USER " + s.user + L"@" + TargetText(s) + L" " + s.firewallUser;
    case LOGON_USER_AT_FIREWALL_USER_AT_TARGET: return L"USER " + s.user + L"@" + s.firewallUser + L"@" + TargetText(s);
    case LOGON_PASS_AT_FIREWALL_PASS: return L"PASS " + s.password + L"@" + s.firewallPassword;
    default: return {};
    }
}

std::wstring RepresentationType::CommandText() const
{
    std::wstring text;
    switch (dataType) {
    case ASCII: text = L"TYPE A"; break;
    case EBCDIC: text = L"TYPE E"; break;
    case IMAGE: return L"TYPE I";
    // Nothing selects Local byte, and the type carries no byte size of its own.
    case LOCAL_BYTE: return L"TYPE L 0";
    default: return {};
    }
    switch (formatControl) {
    case NON_PRINT: text += L" N"; break;
    case TELNET_FORMAT: text += L" T"; break;
    case CARRIAGE_CONTROL: text += L" C"; break;
    }
    return text;
}

std::wstring TransferCommandText(TransferCommand command, const std::wstring& path)
{
    switch (command) {
    case TRANSFER_LIST: return path.empty() ? L"LIST" : L"LIST " + path;
    case TRANSFER_NAME_LIST: return path.empty() ? L"NLST" : L"NLST " + path;
    case TRANSFER_RETRIEVE: return L"RETR " + path;
    case TRANSFER_STORE: return L"STOR " + path;
    case TRANSFER_STORE_UNIQUE: return L"STOU " + path;
    case TRANSFER_APPEND: return L"APPE " + path;
    case TRANSFER_MACHINE_LIST: return path.empty() ? L"MLSD" : L"MLSD " + path;
    }
    return {};
}

bool TransferReceivesData(TransferCommand command)
{
    return command == TRANSFER_LIST || command == TRANSFER_NAME_LIST || command == TRANSFER_RETRIEVE ||
           command == TRANSFER_MACHINE_LIST;
}

bool ServerReply::IsValidCode(std::wstring_view text)
{
    return text.size() >= 3 && text[0] >= L'1' && text[0] <= L'5' && text[1] >= L'0' && text[1] <= L'5';
}

bool ServerReply::Assign(std::wstring replyText)
{
    text = std::move(replyText);
    code = {};
    if (!IsValidCode(text)) return false;
    for (int i = 0; i < 3; ++i)
        code[i] = text[i];
    return true;
}

void ServerReply::Clear()
{
    text.clear();
    code = {};
}

int ServerReply::Result() const
{
    switch (code[0]) {
    case L'2': return REPLY_OK;
    case L'4':
    case L'5': return REPLY_REFUSED;
    default: return REPLY_OTHER;
    }
}

void COutputStream::OnBytesReceived(const unsigned char* buffer, std::int32_t count)
{
    if (count <= 0) return;
    const std::string_view bytes(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(count));
    if (pendingBytes.empty()) {
        const std::size_t used = codec.AppendDecoded(bytes, text, true);
        pendingBytes.assign(bytes.substr(used));
    } else {
        pendingBytes.append(bytes);
        const std::size_t used = codec.AppendDecoded(pendingBytes, text, true);
        pendingBytes.erase(0, used);
    }
}

void COutputStream::DecodePendingBytes()
{
    if (pendingBytes.empty()) return;
    codec.AppendDecoded(pendingBytes, text, false);
    pendingBytes.clear();
}

bool COutputStream::GetNextLine(std::wstring& line)
{
    // Undecoded bytes can only follow the last separator, so lines never depend on them.
    if (separator.empty()) return false;
    const std::size_t found = text.find(separator, readPosition);
    if (found == std::wstring::npos) return false;
    line.assign(text, readPosition, found - readPosition);
    readPosition = found + separator.size();
    return true;
}

void COutputStream::DiscardReadText()
{
    text.erase(0, readPosition);
    readPosition = 0;
}

void COutputStream::SetStartPosition()
{
    DecodePendingBytes();
    readPosition = 0;
}

const std::wstring& COutputStream::GetText()
{
    DecodePendingBytes();
    return text;
}

} // namespace nsFTP
