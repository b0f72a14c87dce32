#ifdef _WIN32
#include "support/WindowAnswerer.h"

namespace testsupport {
namespace {

constexpr auto LOOK_INTERVAL = std::chrono::milliseconds(10);
// The static that holds a message box's text.
constexpr int MESSAGE_BOX_TEXT_ID = 0xFFFF;
constexpr int TEXT_CAPACITY = 8192;
constexpr int CLASS_CAPACITY = 64;

struct Search {
    DWORD process;
    std::vector<HWND> found;
};

BOOL CALLBACK NoteDialog(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    wchar_t name[CLASS_CAPACITY] = {};
    GetClassNameW(window, name, CLASS_CAPACITY);
    if (std::wstring(name) == L"#32770") search->found.push_back(window);
    return TRUE;
}

} // namespace

WindowAnswerer::WindowAnswerer() : thread_([this] { Run(); }) {}

WindowAnswerer::~WindowAnswerer()
{
    stopping_ = true;
    thread_.join();
}

WindowAnswerer& WindowAnswerer::OnDialog(const std::wstring& caption, Action action)
{
    std::lock_guard lock(mutex_);
    actions_.emplace_back(caption, std::move(action));
    return *this;
}

void WindowAnswerer::SetMessageBoxAnswer(int button)
{
    std::lock_guard lock(mutex_);
    messageBoxButton_ = button;
}

std::vector<std::wstring> WindowAnswerer::MessageTexts() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::wstring> WindowAnswerer::DialogsAnswered() const
{
    std::lock_guard lock(mutex_);
    return answered_;
}

bool WindowAnswerer::WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (MessageTexts().size() >= count) return true;
        std::this_thread::sleep_for(LOOK_INTERVAL);
    }
    return MessageTexts().size() >= count;
}

void WindowAnswerer::Run()
{
    while (!stopping_) {
        Look();
        std::this_thread::sleep_for(LOOK_INTERVAL);
    }
}

void WindowAnswerer::Look()
{
    Search search{GetCurrentProcessId(), {}};
    EnumWindows(NoteDialog, reinterpret_cast<LPARAM>(&search));
    {
        // Forget closed windows, so that a new window with a reused handle counts as new.
        std::lock_guard lock(mutex_);
        std::erase_if(handled_, [](HWND window) { return !IsWindow(window); });
    }
    for (HWND window : search.found)
        Handle(window);
}

void WindowAnswerer::Handle(HWND window)
{
    Action action;
    std::wstring caption = WindowCaption(window);
    {
        std::lock_guard lock(mutex_);
        if (handled_.count(window) != 0) return;
        if (!IsMessageBox(window)) {
            auto rule = std::find_if(actions_.begin(), actions_.end(),
                                     [&](const auto& entry) { return entry.first == caption; });
            if (rule == actions_.end()) return;
            action = std::move(rule->second);
            actions_.erase(rule);
            answered_.push_back(caption);
        }
        handled_.insert(window);
    }
    if (action) {
        action(window);
        return;
    }
    const std::wstring text = ItemText(window, MESSAGE_BOX_TEXT_ID);
    int button = IDOK;
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
        button = messageBoxButton_;
    }
    PostCommand(window, button);
}

std::wstring ItemText(HWND dialog, int controlId)
{
    std::wstring text(TEXT_CAPACITY, L'\0');
    text.resize(GetDlgItemTextW(dialog, controlId, text.data(), TEXT_CAPACITY));
    return text;
}

std::wstring WindowCaption(HWND window)
{
    std::wstring text(TEXT_CAPACITY, L'\0');
    text.resize(GetWindowTextW(window, text.data(), TEXT_CAPACITY));
    return text;
}

bool IsMessageBox(HWND window) { return GetDlgItem(window, MESSAGE_BOX_TEXT_ID) != nullptr; }

void PostCommand(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

} // namespace testsupport
#endif
