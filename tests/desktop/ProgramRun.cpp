#include "ProgramRun.h"

#include "framework/Handles.h"

ProgramRun::ProgramRun() : app(std::make_unique<COrvidApp>())
{
    app->SetInstance(GetModuleHandleW(nullptr));
    started = app->InitInstance();
    // The start-up's Connect would open the Site Manager modally and stop the test's
    // thread there; tests that want it send the command themselves.
    MSG connect;
    if (started) PeekMessageW(&connect, Frame().Handle(), WM_COMMAND, WM_COMMAND, PM_REMOVE);
    PumpMessages();
}

ProgramRun::~ProgramRun()
{
    if (started && !closed) Close();
    app.reset();
    PumpMessages();
}

void ProgramRun::Close()
{
    if (closed || !started) return;
    closed = true;
    Frame().Send(WM_CLOSE);
    bool quit = false;
    PumpUntil([&] { return quit; }, testsupport::kPatience, &quit);
}

bool ProgramRun::WaitForQuit()
{
    closed = true;
    bool quit = false;
    return PumpUntil([&] { return quit; }, testsupport::kPatience, &quit);
}

fw::CommandState ProgramRun::Update(UINT command) const
{
    fw::CommandState state(command);
    fw::RouteUpdate(Frame().GetCommandChain(), state);
    return state;
}

UINT ProgramRun::MenuItemState(const std::vector<int>& popupPath, UINT command) const
{
    HMENU menu = GetMenu(Frame().Handle());
    for (int index : popupPath) {
        menu = GetSubMenu(menu, index);
        if (menu == nullptr) return static_cast<UINT>(-1);
        Frame().Send(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(index, FALSE));
    }
    return GetMenuState(menu, command, MF_BYCOMMAND);
}

LayoutKeyGuard::LayoutKeyGuard()
{
    fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, LAYOUT_KEY);
    existed = key.IsOpen();
    if (existed) {
        Value value;
        for (DWORD index = 0; key.EnumValue(index, value.name, &value.data, &value.type); ++index)
            values.push_back(value);
    }
    fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, LAYOUT_KEY);
}

LayoutKeyGuard::~LayoutKeyGuard()
{
    fw::RegistryKey::DeleteTree(HKEY_CURRENT_USER, LAYOUT_KEY);
    if (!existed) return;
    fw::RegistryKey key = fw::RegistryKey::Create(HKEY_CURRENT_USER, LAYOUT_KEY);
    for (const Value& value : values)
        RegSetValueExW(key.Get(), value.name.c_str(), 0, value.type, value.data.data(),
                       static_cast<DWORD>(value.data.size()));
}

std::wstring PaneText(int pane)
{
    auto* app = static_cast<COrvidApp*>(fw::GetApp());
    return app->MainFrame()->StatusBar().GetText(pane);
}
