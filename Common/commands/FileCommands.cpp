#include "commands/FileCommands.h"

#include <shlwapi.h>

#include <memory>
#include <string>
#include <string_view>

#include "engine/TextCodec.h"
#include "framework/Handles.h"
#include "framework/Wait.h"
#include "remotetools/FileAttributes.h"
#include "remotetools/PropDlg.h"
#include "shell/Format.h"
#include "shell/ShellHelpers.h"
#include "shell/TempDirectory.h"
#include "shell/TextDlg.h"
#include "transfer/TransferList.h"
#include "transfer/UploadDlg.h"

namespace {

const wchar_t* const SET_TEMP_DIRECTORY_CAPTION = L"Set Temp Directory";
const wchar_t* const CHMOD_COMMAND = L"CHMOD ";
const std::wstring UNUSABLE_LOCAL_NAME_MESSAGE = L"This name cannot be used for a local file:\n";
const wchar_t* const LINE_BREAK_MESSAGE = L"The text cannot contain a line break.";
const wchar_t* const RUNNABLE_TYPE_QUESTION = L"This file type can run programs. Open it anyway?";
const std::wstring COPY_FOLDER_FAILED_MESSAGE = L"The folder for opened files cannot be created:\n";
constexpr int REPLY_SUCCESS = 0;
constexpr int DWORD_BITS = 32;

// Opened files are copied below this folder of the temporary directory, never into the
// temporary directory itself, where a file of the user's could have the same name.
const wchar_t* const OPENED_COPIES_FOLDER = L"Orvid";
const wchar_t* const HOST_PORT_SEPARATOR = L"_";
constexpr wchar_t HOST_REPLACEMENT = L'_';
// 64-bit FNV-1a: the same folder name for a server's directory in every run.
constexpr std::uint64_t FNV_OFFSET_BASIS = 0xCBF29CE484222325ULL;
constexpr std::uint64_t FNV_PRIME = 0x100000001B3ULL;
constexpr unsigned BYTE_BITS = 8;
constexpr unsigned BYTE_MASK = 0xFF;
constexpr unsigned HEX_DIGIT_BITS = 4;
constexpr unsigned HEX_DIGIT_MASK = 0xF;
constexpr unsigned HASH_HEX_DIGITS = 16;
const wchar_t* const HEX_DIGITS = L"0123456789abcdef";
const wchar_t* const URL_HEX_DIGITS = L"0123456789ABCDEF";
const wchar_t* const FTP_URL_SCHEME = L"ftp://";

// A copy the program opens carries the mark browsers give what they download: it came
// from the Internet zone (3), from this address. The system's warnings and the programs
// that open the copy go by it.
const wchar_t* const ZONE_STREAM_SUFFIX = L":Zone.Identifier";
const wchar_t* const ZONE_TRANSFER_HEADER = L"[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=";

// Types that run something when the shell opens them. The system's own judgement
// (AssocIsDangerous) is asked too, but it is missing or shorter on some systems.
// Disk images and packages count too: opening one mounts or installs what it holds, and
// the files inside carry no mark of where they came from.
constexpr std::wstring_view RUNNABLE_EXTENSIONS[] = {L".exe",          L".com",       L".bat",  L".cmd",
                                                     L".scr",          L".pif",       L".lnk",  L".url",
                                                     L".hta",          L".js",        L".jse",  L".vbs",
                                                     L".vbe",          L".wsf",       L".wsh",  L".ws",
                                                     L".wsc",          L".msi",       L".msp",  L".mst",
                                                     L".ps1",          L".psm1",      L".jar",  L".cpl",
                                                     L".msc",          L".reg",       L".scf",  L".inf",
                                                     L".sct",          L".shs",       L".chm",  L".hlp",
                                                     L".application",  L".appref-ms", L".py",   L".pyw",
                                                     L".appinstaller", L".msix",      L".appx", L".iso",
                                                     L".img",          L".vhd",       L".vhdx", L".settingcontent-ms",
                                                     L".library-ms",   L".search-ms"};

// A typed text goes into a command line as it is, so a line break in it would end that
// line early and make the rest a command of its own.
bool IsSingleLine(HWND owner, const std::wstring& text)
{
    if (text.find_first_of(L"\r\n") == std::wstring::npos) return true;
    AppMessageBox(owner, LINE_BREAK_MESSAGE, MB_ICONERROR | MB_OK);
    return false;
}

// True when the prompt ended with OK on a non-empty, single-line text.
bool Prompt(HWND owner, const wchar_t* caption, const std::wstring& initial, std::wstring& text)
{
    CTextDlg prompt(caption, initial);
    if (prompt.DoModal(owner) != IDOK || prompt.Text().empty()) return false;
    if (!IsSingleLine(owner, prompt.Text())) return false;
    text = prompt.Text();
    return true;
}

// The engine keeps the last known directory after its connection has closed; a closed
// connection must read as "no current directory" so that the commands do nothing.
std::wstring ConnectedDirectory(ConnectionSession& session)
{
    if (!session.IsConnected()) return {};
    return session.CurrentDirectory();
}

std::wstring EntryPath(const RemoteEntry& entry) { return JoinRemotePath(entry.directory, entry.name); }

// The local copy exists and has the listed size, the job's own measure of a whole
// download (a listing without a size never passes it).
bool IsWholeCopy(const std::wstring& copy, std::uint64_t listedSize)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(copy.c_str(), GetFileExInfoStandard, &data)) return false;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << DWORD_BITS) | data.nFileSizeLow;
    // A download takes its name only once whole, so a copy of unknown size is whole too.
    return listedSize == REMOTE_SIZE_UNKNOWN || size == listedSize;
}

bool EqualsIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The extension as the file will have it: Windows drops trailing dots and blanks from a
// name, so "setup.exe. " is stored, and opened, as "setup.exe".
std::wstring StoredExtension(const std::wstring& name)
{
    const std::size_t kept = name.find_last_not_of(L". ");
    if (kept == std::wstring::npos) return {};
    const std::wstring stored = name.substr(0, kept + 1);
    const std::size_t dot = stored.rfind(L'.');
    if (dot == std::wstring::npos) return {};
    return stored.substr(dot);
}

bool IsRunnableType(const std::wstring& name)
{
    const std::wstring extension = StoredExtension(name);
    if (extension.empty()) return false;
    for (std::wstring_view runnable : RUNNABLE_EXTENSIONS)
        if (EqualsIgnoringCase(extension, runnable)) return true;
    return AssocIsDangerous(extension.c_str()) != FALSE;
}

std::uint64_t StableHash(const std::wstring& text)
{
    std::uint64_t hash = FNV_OFFSET_BASIS;
    for (wchar_t unit : text) {
        for (unsigned shift = 0; shift < sizeof(wchar_t) * BYTE_BITS; shift += BYTE_BITS) {
            hash ^= (static_cast<unsigned>(unit) >> shift) & BYTE_MASK;
            hash *= FNV_PRIME;
        }
    }
    return hash;
}

std::wstring HexText(std::uint64_t value)
{
    std::wstring text(HASH_HEX_DIGITS, L'0');
    for (unsigned digit = HASH_HEX_DIGITS; digit-- > 0; value >>= HEX_DIGIT_BITS)
        text[digit] = HEX_DIGITS[value & HEX_DIGIT_MASK];
    return text;
}

// "<host>_<port>" with every character but ASCII letters, digits, '-' and '.' replaced.
// A host whose first label is a device name ("nul.example.com") loses its dots too, since
// Windows would open such a name as the device.
std::wstring ServerFolderName(const std::wstring& host, std::uint16_t port)
{
    std::wstring safe = host;
    for (wchar_t& unit : safe) {
        const bool kept = (unit >= L'a' && unit <= L'z') || (unit >= L'A' && unit <= L'Z') ||
                          (unit >= L'0' && unit <= L'9') || unit == L'-' || unit == L'.';
        if (!kept) unit = HOST_REPLACEMENT;
    }
    std::wstring folder = safe + HOST_PORT_SEPARATOR + std::to_wstring(port);
    if (!IsUsableLocalName(folder)) {
        for (wchar_t& unit : folder)
            if (unit == L'.') unit = HOST_REPLACEMENT;
    }
    return folder;
}

bool MakeFolder(const std::wstring& path)
{
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// temp\Orvid\<host>_<port>\<hash of the server and the entry's directory>, created when
// missing; empty when a level cannot be made or a part would not be a plain local name.
// The hash covers the host as typed, so two hosts that read alike once made safe for a
// folder name still get folders of their own.
std::wstring MakeCopyFolder(const std::wstring& tempDirectory, const nsFTP::LogonSettings& server,
                            const std::wstring& remoteDirectory)
{
    const std::wstring serverId = server.host + L"\n" + std::to_wstring(server.port) + L"\n";
    const std::wstring parts[] = {OPENED_COPIES_FOLDER, ServerFolderName(server.host, server.port),
                                  HexText(StableHash(serverId + remoteDirectory))};
    std::wstring folder = tempDirectory;
    for (const std::wstring& part : parts) {
        if (!IsUsableLocalName(part)) return {};
        folder = JoinLocalPath(folder, part);
        if (!MakeFolder(folder)) return {};
    }
    return folder;
}

bool IsUnreservedInUrl(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

// UTF-8 with every byte but the unreserved ones (and those in keep) as %XX; a name that
// held bytes which are no UTF-8 gets those bytes back, as the server sent them.
std::wstring PercentEncoded(const std::wstring& text, std::string_view keep)
{
    std::wstring encoded;
    for (const char unit : nsFTP::WideToWire(text)) {
        const auto byte = static_cast<unsigned char>(unit);
        if (IsUnreservedInUrl(byte) || keep.find(unit) != std::string_view::npos) {
            encoded += static_cast<wchar_t>(byte);
        } else {
            encoded += L'%';
            encoded += URL_HEX_DIGITS[byte >> HEX_DIGIT_BITS];
            encoded += URL_HEX_DIGITS[byte & HEX_DIGIT_MASK];
        }
    }
    return encoded;
}

} // namespace

std::wstring RemoteFileUrl(const nsFTP::LogonSettings& server, const std::wstring& remotePath)
{
    // An IPv6 address holds colons, which a URL sets apart with brackets.
    const bool literalAddress = server.host.find(L':') != std::wstring::npos;
    std::wstring url = FTP_URL_SCHEME;
    url += literalAddress ? L"[" + PercentEncoded(server.host, ":") + L"]" : PercentEncoded(server.host, "");
    if (server.port != nsFTP::DEFAULT_FTP_PORT) url += L":" + std::to_wstring(server.port);
    if (remotePath.empty() || remotePath.front() != L'/') url += L'/';
    return url + PercentEncoded(remotePath, "/");
}

bool MarkAsFromInternet(const std::wstring& file, const std::wstring& sourceUrl)
{
    // Only a volume with named streams can hold the mark; elsewhere the name with a colon
    // would be taken as a file of its own beside the copy.
    fw::FileHandle copy(CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD volumeFlags = 0;
    if (!copy || !GetVolumeInformationByHandleW(copy.Get(), nullptr, 0, nullptr, nullptr, &volumeFlags, nullptr, 0) ||
        (volumeFlags & FILE_NAMED_STREAMS) == 0)
        return false;
    fw::FileHandle stream(CreateFileW((file + ZONE_STREAM_SUFFIX).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!stream) return false;
    // The URL is ASCII once encoded.
    const std::wstring wide = ZONE_TRANSFER_HEADER + sourceUrl + L"\r\n";
    const std::string text(wide.begin(), wide.end());
    DWORD written = 0;
    return WriteFile(stream.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

std::wstring PropertiesSizeText(std::uint64_t size)
{
    if (size == REMOTE_SIZE_UNKNOWN) return {};
    return FormatSize(size) + L" (" + std::to_wstring(size) + L" bytes)";
}

bool NewDirectoryCommand(HWND owner, ConnectionSession& session, const std::wstring& targetDirectory)
{
    if (targetDirectory.empty()) return false;
    std::wstring name;
    if (!Prompt(owner, NEW_DIRECTORY_CAPTION, std::wstring(), name)) return false;
    fw::WaitCursor wait;
    if (!session.MakeDirectory(JoinRemotePath(targetDirectory, name), true)) return false;
    return session.ChangeDirectory(targetDirectory);
}

bool RenameCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected)
{
    if (ConnectedDirectory(session).empty() || selected.empty()) return false;
    const RemoteEntry& entry = selected.front();
    std::wstring newName;
    if (!Prompt(owner, RENAME_CAPTION, entry.name, newName)) return false;
    fw::WaitCursor wait;
    return session.RenameRemote(EntryPath(entry), JoinRemotePath(entry.directory, newName)) == REPLY_SUCCESS;
}

bool DeleteCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected)
{
    const std::wstring current = ConnectedDirectory(session);
    if (current.empty() || selected.empty()) return false;
    if (!ConfirmDelete(owner)) return false;
    CUploadDlg job(&session, MakeTransferList(session, selected), current, JOB_DELETE_REMOTE);
    job.DoModal(owner);
    return true;
}

bool MoveToCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected)
{
    const std::wstring current = ConnectedDirectory(session);
    if (current.empty() || selected.empty()) return false;
    std::wstring target;
    if (!Prompt(owner, MOVE_TO_CAPTION, current, target)) return false;
    CUploadDlg job(&session, MakeTransferList(session, selected), target, JOB_MOVE_REMOTE);
    job.DoModal(owner);
    return true;
}

void OpenRemoteFileCommand(HWND owner, ConnectionSession& session, const RemoteEntry& entry)
{
    if (ConnectedDirectory(session).empty()) return;
    const std::wstring directory = GetTempDirectory();
    if (directory.empty()) return;
    if (!IsUsableLocalName(entry.name)) {
        AppMessageBox(owner, (UNUSABLE_LOCAL_NAME_MESSAGE + entry.name).c_str(), MB_ICONERROR | MB_OK);
        return;
    }
    if (IsRunnableType(entry.name) &&
        AppMessageBox(owner, RUNNABLE_TYPE_QUESTION, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return;
    const std::wstring folder = MakeCopyFolder(directory, session.logonSettings, entry.directory);
    if (folder.empty()) {
        AppMessageBox(owner, (COPY_FOLDER_FAILED_MESSAGE + directory).c_str(), MB_ICONERROR | MB_OK);
        return;
    }
    const std::wstring copy = JoinLocalPath(folder, entry.name);
    // The folder is the program's own, so an earlier copy there, whole or partial, goes
    // without asking; the download would otherwise ask whether to replace or resume it.
    DeleteFileW(copy.c_str());
    DeleteFileW((copy + PARTIAL_DOWNLOAD_SUFFIX).c_str());
    CUploadDlg job(&session, MakeTransferList(session, {entry}), folder, JOB_DOWNLOAD);
    if (job.DoModal(owner) != IDOK) return;
    // The job also ends with IDOK when it stopped at a failure; only a whole copy is opened.
    if (!IsWholeCopy(copy, entry.size)) return;
    // Where the volume can't hold the mark, the copy opens without it.
    MarkAsFromInternet(copy, RemoteFileUrl(session.logonSettings, EntryPath(entry)));
    OpenWithShell(owner, copy);
}

void PropertiesCommand(HWND owner, const std::vector<RemoteEntry>& selected)
{
    if (selected.empty()) return;
    const RemoteEntry& entry = selected.front();
    CPropDlg properties;
    properties.localItem = false;
    properties.directory = entry.isDirectory != 0;
    properties.name = entry.displayName;
    properties.path = entry.directory;
    properties.sizeText = PropertiesSizeText(entry.size);
    properties.modifiedText = FormatFileTime(entry.time);
    properties.attributesText = entry.attributes;
    properties.ownerText = entry.owner;
    properties.DoModal(owner);
}

bool ChmodCommand(HWND owner, ConnectionSession& session, const std::vector<RemoteEntry>& selected)
{
    if (selected.empty()) return false;
    CFileAttributes permissions;
    if (permissions.DoModal(owner) != IDOK) return false;
    const std::wstring mode = permissions.ManualValue();
    if (!IsSingleLine(owner, mode)) return false;
    if (ConnectedDirectory(session).empty()) return false;
    fw::WaitCursor wait;
    // One SITE command per entry, each answered before the next; a refusal is shown by the
    // engine and the others still go out.
    for (const RemoteEntry& entry : selected)
        session.Engine().SiteCommand(CHMOD_COMMAND + mode + L" " + EntryPath(entry));
    return true;
}

void SetTempDirectoryCommand(HWND owner)
{
    CTextDlg prompt(SET_TEMP_DIRECTORY_CAPTION, GetTempDirectory());
    if (prompt.DoModal(owner) != IDOK) return;
    // Only the last level is created; the directory usually exists already.
    CreateDirectoryW(prompt.Text().c_str(), nullptr);
    SetTempDirectoryValue(prompt.Text());
}
