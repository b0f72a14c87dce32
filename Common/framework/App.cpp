#include "App.h"

#include "Dialog.h"
#include "Document.h"
#include "FormView.h"
#include "FrameWindow.h"

namespace fw {
namespace {

App* g_app = nullptr;

// WM_SYSTIMER: the caret's blink timer, which says nothing about the program's state.
constexpr UINT SYSTEM_TIMER_MESSAGE = 0x0118;

bool TriggersIdle(const MSG& msg) { return msg.message != WM_PAINT && msg.message != SYSTEM_TIMER_MESSAGE; }

} // namespace

App* GetApp() noexcept { return g_app; }

App::App() noexcept { g_app = this; }

App::~App()
{
    view_.reset();
    mainFrame_.reset();
    document_.reset();
    if (g_app == this) g_app = nullptr;
}

int App::Main(HINSTANCE instance, int showCommand)
{
    instance_ = instance;
    showCommand_ = showCommand;
    if (InitInstance()) Run();
    return ExitInstance();
}

bool App::LoadAppName(UINT stringId)
{
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(instance_, stringId, reinterpret_cast<wchar_t*>(&text), 0);
    if (length <= 0) return false;
    std::wstring whole(text, static_cast<size_t>(length));
    appName_ = whole.substr(0, whole.find(L'\n'));
    return true;
}

bool App::InitInstance() { return false; }

int App::ExitInstance() { return quitCode_; }

bool App::IsCloseCommand(UINT /*id*/) const { return false; }

int App::Run()
{
    MSG msg{};
    bool idle = true;
    for (;;) {
        if (idle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            OnIdle();
            idle = false;
        }
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quitCode_ = static_cast<int>(msg.wParam);
            return quitCode_;
        }
        if (got == -1) return -1;

        // Accelerators before dialog navigation, which would otherwise swallow keys
        // such as Del typed in the view's list.
        FrameWindow* frame = mainFrame_.get();
        HWND frameWindow = frame ? frame->Handle() : nullptr;
        bool translated = frameWindow && frame->GetAccelerators() &&
                          (msg.hwnd == frameWindow || ::IsChild(frameWindow, msg.hwnd)) &&
                          ::TranslateAcceleratorW(frameWindow, frame->GetAccelerators(), &msg);
        if (!translated && !Dialog::PreTranslateModeless(msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (TriggersIdle(msg)) idle = true;
    }
}

void App::OnIdle()
{
    if (mainFrame_ && mainFrame_->Handle()) mainFrame_->UpdateToolBars();
}

bool App::CreateSingleDocument(std::unique_ptr<Document> document, std::unique_ptr<FrameWindow> frame,
                               std::unique_ptr<FormView> view, UINT resourceId)
{
    document_ = std::move(document);
    mainFrame_ = std::move(frame);
    view_ = std::move(view);
    if (!document_ || !mainFrame_ || !view_) return false;
    if (appName_.empty()) LoadAppName(resourceId);
    mainFrame_->SetAppName(appName_);
    if (!mainFrame_->Create(instance_, resourceId, appName_)) return false;
    mainFrame_->SetDocument(document_.get());
    if (!view_->Create(*mainFrame_)) return false;
    if (!document_->OnNewDocument()) return false;
    mainFrame_->RecalcLayout();
    view_->InitialUpdate();
    return true;
}

} // namespace fw
