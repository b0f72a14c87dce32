#include "program/ProgramDoc.h"

#include "ProgramResource.h"
#include "sitedialogs/SiteManager.h"

const wchar_t* const DISCONNECTED_TITLE = L"Disconnected";

ProgramDoc::~ProgramDoc() { session.LogOff(); }

void ProgramDoc::LogOffIfConnected()
{
    if (!session.IsConnected()) return;
    session.LogOff();
    OnLoggedOff();
}

void ProgramDoc::DeleteContents()
{
    SetTitle(DISCONNECTED_TITLE);
    LogOffIfConnected();
}

bool ProgramDoc::OnCommand(UINT id)
{
    switch (id) {
    case ID_FILE_CONNECT:
        if (WindowMayUseEngine(session)) Connect();
        return true;
    case ID_FILE_DISCONNECT:
        if (WindowMayUseEngine(session)) Disconnect();
        return true;
    default: return false;
    }
}

bool ProgramDoc::OnUpdateCommand(fw::CommandState& state)
{
    switch (state.Id()) {
    case ID_FILE_CONNECT: state.Enable(!session.IsConnected()); return true;
    case ID_FILE_DISCONNECT: state.Enable(session.IsConnected()); return true;
    default: return false;
    }
}

void ProgramDoc::PrepareConnect()
{
    session.LogOff();
    OnLoggedOff();
}

void ProgramDoc::Connect()
{
    PrepareConnect();
    CSiteManager manager(session);
    PrepareSiteManager(manager);
    HWND owner = GetFrame() != nullptr ? GetFrame()->Handle() : nullptr;
    if (manager.DoModal(owner) == IDOK) OnSiteConnected(manager.TitleText());
}

void ProgramDoc::OnSiteConnected(const std::wstring& title)
{
    SetTitle(title);
    if (!ShowListing()) session.RefreshRemote();
}

void ProgramDoc::Disconnect()
{
    if (!session.IsConnected()) return;
    ClearListing();
    session.LogOff();
    OnLoggedOff();
    DeleteContents();
    OnDisconnected();
}
