#include "OrletRun.h"

OrletRun::OrletRun() : app(std::make_unique<COrletApp>())
{
    app->SetInstance(GetModuleHandleW(nullptr));
    started = app->InitInstance();
    // The start-up's Connect would open the Site Manager modally and stop the test's
    // thread there; tests that want it send the command themselves.
    MSG connect;
    if (started) PeekMessageW(&connect, View().Handle(), WM_COMMAND, WM_COMMAND, PM_REMOVE);
    PumpMessages();
}

OrletRun::~OrletRun()
{
    if (started && !closed) {
        Frame().Send(WM_CLOSE);
        bool quit = false;
        PumpUntil([&] { return quit; }, testsupport::kPatience, &quit);
    }
    app.reset();
    PumpMessages();
}

bool OrletRun::WaitForQuit()
{
    closed = true;
    bool quit = false;
    return PumpUntil([&] { return quit; }, testsupport::kPatience, &quit);
}

fw::CommandState OrletRun::Update(UINT command) const
{
    fw::CommandState state(command);
    fw::RouteUpdate(Frame().GetCommandChain(), state);
    return state;
}

void OrletRun::ChooseMode(int entry) const
{
    fw::ComboBox modes = View().ModeList();
    modes.SetCurSel(entry);
    View().Send(WM_COMMAND, MAKEWPARAM(IDC_MODE_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(modes.Handle()));
    PumpMessages();
}

void OrletRun::Focus(ListSide side) const
{
    switch (side) {
    case ListSide::Local: View().LocalList().SetFocus(); break;
    case ListSide::Remote: View().RemoteList().SetFocus(); break;
    case ListSide::None: View().ModeList().SetFocus(); break;
    }
    PumpMessages();
}

std::vector<std::wstring> OrletRun::Names(const fw::ListView& list)
{
    std::vector<std::wstring> names;
    for (int row = 0; row < list.GetItemCount(); ++row)
        names.push_back(list.GetItemText(row, 0));
    return names;
}
