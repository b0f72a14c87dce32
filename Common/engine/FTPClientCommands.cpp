// The single-command operations: working directory, directories, delete, rename, SITE.
#include "engine/FTPClient.h"
#include "engine/Reporter.h"

namespace nsFTP {

int CFTPClient::SimpleCommand(const std::wstring& command)
{
    ServerReply reply;
    if (!SendCommand(command, true) || !ReadReply(reply, true)) {
        if (!reply.text.empty()) ReportError(reply.text);
        return REPLY_OTHER;
    }
    return ShowReplyResult(reply);
}

int CFTPClient::KeepAlivePwd()
{
    ServerReply reply;
    if (!SendCommand(L"PWD", false) || !ReadReply(reply, false)) return REPLY_OTHER;
    return reply.Result();
}

int CFTPClient::ChangeDir(const std::wstring& path)
{
    const int result = SimpleCommand(L"CWD " + path);
    if (result == REPLY_OK) currentDirectory = path;
    return result;
}

int CFTPClient::MakeDir(const std::wstring& path, bool show)
{
    ServerReply reply;
    if (!SendCommand(L"MKD " + path, true) || !ReadReply(reply, true)) {
        if (show && !reply.text.empty()) ReportError(reply.text);
        return REPLY_OTHER;
    }
    if (show) return ShowReplyResult(reply);
    return reply.Result();
}

int CFTPClient::RemoveDir(const std::wstring& path) { return SimpleCommand(L"RMD " + path); }

int CFTPClient::Delete(const std::wstring& path) { return SimpleCommand(L"DELE " + path); }

int CFTPClient::SiteCommand(const std::wstring& text) { return SimpleCommand(L"SITE " + text); }

int CFTPClient::Rename(const std::wstring& from, const std::wstring& to)
{
    // Both names are checked first: an RNFR whose RNTO cannot follow would leave the
    // server waiting for it.
    if (HoldsLineBreak(to, true)) return REPLY_OTHER;
    ServerReply reply;
    if (!SendCommand(L"RNFR " + from, true) || !ReadReply(reply, true)) {
        if (!reply.text.empty()) ReportError(reply.text);
        return REPLY_OTHER;
    }
    if (reply.code[0] == L'3') return SimpleCommand(L"RNTO " + to);
    if (!reply.text.empty()) ReportError(reply.text);
    return reply.code[0] == L'4' || reply.code[0] == L'5' ? REPLY_REFUSED : REPLY_OTHER;
}

} // namespace nsFTP
