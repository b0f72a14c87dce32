#include "TransferTestSupport.h"

#include <algorithm>
#include <fstream>
#include <random>

#include "SharedResource.h"
#include "transfer/UploadDlg.h"

namespace transfertests {
namespace {

ProgressRecorder* currentRecorder = nullptr;
int directoryCounter = 0;
constexpr int TEXT_CAPACITY = 4096;
constexpr std::uint64_t FNV_OFFSET = 1469598103934665603ULL;
constexpr std::uint64_t FNV_PRIME = 1099511628211ULL;

std::wstring ControlText(HWND dialog, int id)
{
    std::wstring text(TEXT_CAPACITY, L'\0');
    text.resize(GetDlgItemTextW(dialog, id, text.data(), TEXT_CAPACITY));
    return text;
}

bool IsProgressDialog(HWND window)
{
    return GetDlgItem(window, IDC_TRANSFER_COUNT) != nullptr && GetDlgItem(window, IDC_TRANSFER_NAME) != nullptr &&
           GetDlgItem(window, IDC_TRANSFER_PROGRESS) != nullptr;
}

std::uint64_t Hash(const std::string& bytes)
{
    std::uint64_t hash = FNV_OFFSET;
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= FNV_PRIME;
    }
    return hash;
}

std::wstring FileName(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"/\\");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

} // namespace

LocalDirectory::LocalDirectory()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    path = fs::path(temp) /
           (L"orvid-transfer-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++directoryCounter));
    fs::remove_all(path);
    fs::create_directories(path);
}

LocalDirectory::~LocalDirectory()
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

void WriteBytes(const fs::path& path, std::size_t size, unsigned seed)
{
    fs::create_directories(path.parent_path());
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(generator() & 0xFF);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::wstring> ExactNames(const fs::path& directory)
{
    std::vector<std::wstring> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().wstring());
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::wstring, std::string> Snapshot(const fs::path& root)
{
    std::map<std::wstring, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        std::wstring name = entry.path().lexically_relative(root).generic_wstring();
        if (entry.is_directory()) {
            entries[name] = "dir";
        } else {
            const std::string bytes = ReadBytes(entry.path());
            entries[name] = std::to_string(bytes.size()) + ":" + std::to_string(Hash(bytes));
        }
    }
    return entries;
}

ProgressRecorder::ProgressRecorder()
{
    currentRecorder = this;
    getMessageHook = SetWindowsHookExW(WH_GETMESSAGE, OnGetMessage, nullptr, GetCurrentThreadId());
    callWindowHook = SetWindowsHookExW(WH_CALLWNDPROC, OnCallWindow, nullptr, GetCurrentThreadId());
}

ProgressRecorder::~ProgressRecorder()
{
    UnhookWindowsHookEx(getMessageHook);
    UnhookWindowsHookEx(callWindowHook);
    currentRecorder = nullptr;
}

LRESULT CALLBACK ProgressRecorder::OnGetMessage(int code, WPARAM wParam, LPARAM lParam)
{
    auto* msg = reinterpret_cast<MSG*>(lParam);
    ProgressRecorder* self = currentRecorder;
    if (code == HC_ACTION && wParam == PM_REMOVE && self != nullptr && msg->message == WM_JOB_PROGRESS) {
        if (msg->lParam == JOB_PROGRESS_NAME) {
            self->names.push_back(reinterpret_cast<const wchar_t*>(msg->wParam));
            if (self->onName) self->onName(msg->hwnd, self->names.back());
        } else if (msg->lParam == JOB_PROGRESS_POSITION && !self->positionSeen) {
            self->positionSeen = true;
            if (self->onFirstPosition) self->onFirstPosition(msg->hwnd);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK ProgressRecorder::OnCallWindow(int code, WPARAM wParam, LPARAM lParam)
{
    auto* call = reinterpret_cast<CWPSTRUCT*>(lParam);
    ProgressRecorder* self = currentRecorder;
    if (code == HC_ACTION && self != nullptr && call->message == WM_DESTROY && IsProgressDialog(call->hwnd)) {
        HWND dialog = call->hwnd;
        wchar_t caption[TEXT_CAPACITY] = {};
        GetWindowTextW(dialog, caption, TEXT_CAPACITY);
        self->title = caption;
        self->finalName = ControlText(dialog, IDC_TRANSFER_NAME);
        self->finalCount = ControlText(dialog, IDC_TRANSFER_COUNT);
        HWND bar = GetDlgItem(dialog, IDC_TRANSFER_PROGRESS);
        self->finalPosition = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
        self->finalRangeHigh = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
        self->closed = true;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR RunJob(ConnectionSession* session, std::unique_ptr<TransferList> list, const std::wstring& target, UINT kind)
{
    CUploadDlg dialog(session, std::move(list), target, kind);
    return dialog.DoModal(nullptr);
}

std::unique_ptr<TransferList> LocalList(const std::vector<fs::path>& paths)
{
    auto list = std::make_unique<TransferList>();
    for (const fs::path& path : paths) {
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
        const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        AddItem(directory ? 0 : size, list.get(), directory, path.filename().wstring(), path.wstring(),
                data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime);
    }
    return list;
}

std::unique_ptr<TransferList> RemoteList(ConnectionSession* owner,
                                         const std::vector<std::pair<std::wstring, bool>>& pathsAndDirectoryFlags,
                                         const std::vector<std::uint64_t>& sizes)
{
    auto list = std::make_unique<TransferList>();
    list->owner = owner;
    for (std::size_t i = 0; i < pathsAndDirectoryFlags.size(); ++i) {
        const auto& [path, directory] = pathsAndDirectoryFlags[i];
        AddItem(i < sizes.size() ? sizes[i] : 0, list.get(), directory, FileName(path), path, 0, 0);
    }
    return list;
}

} // namespace transfertests
