#pragma once
// The top-level frame of the single document: menu, accelerators and icon from one
// resource id; control bars on the top and bottom edges; the view in the rest.
//
// Layout (RecalcLayout): visible top bars stack downwards from the top in the order
// they were added, visible bottom bars stack upwards from the bottom in the order they
// were added, each as wide as the client area and as high as its fixed height; the view
// fills what is left.
#include "Command.h"
#include "Window.h"

#include <string>
#include <vector>

namespace fw {

class Document;
class FormView;
class StatusBar;
class ToolBar;

enum class BarSide { Top, Bottom };

class FrameWindow : public Window, public CommandTarget {
public:
    FrameWindow() = default;
    FrameWindow(const FrameWindow&) = delete;
    FrameWindow& operator=(const FrameWindow&) = delete;
    ~FrameWindow() override;

    // Creates the window, hidden, with menu, accelerators and icon of resourceId (each
    // only if the module has it). OnCreate runs inside; false if it returned -1.
    bool Create(HINSTANCE instance, UINT resourceId, const std::wstring& caption,
                DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
    HACCEL GetAccelerators() const noexcept { return accelerators_; }
    UINT ResourceId() const noexcept { return resourceId_; }

    // Bars: height is fixed (a toolbar's ideal height, a dialog bar's template height,
    // a status bar's own height); SetBarHeight changes it later.
    void AddBar(HWND bar, BarSide side, int height);
    // A toolbar at its ideal height; call SetBarHeight after its buttons change size.
    void AddBar(const ToolBar& bar, BarSide side = BarSide::Top);
    // A status bar at the bottom; the frame re-spreads its panes on every layout. The
    // object must live as long as the frame.
    void AddBar(StatusBar& bar);
    void SetBarHeight(HWND bar, int height);
    // A command that toggles the bar: the frame handles it and ticks it while the bar
    // is visible. Several commands may toggle one bar.
    void SetBarToggleCommand(HWND bar, UINT commandId);
    bool IsBarVisible(HWND bar) const;
    // Shows or hides, then RecalcLayout.
    void ShowBar(HWND bar, bool show);
    void ToggleBar(HWND bar);
    void RecalcLayout();
    // The client area left for the view.
    RECT GetViewRect() const;

    void SetView(FormView* view) noexcept { view_ = view; }
    FormView* GetView() const noexcept { return view_; }
    void SetDocument(Document* document) noexcept;
    Document* GetDocument() const noexcept { return document_; }

    // "<document title> - <application name>", or the application name alone.
    void UpdateCaption();
    void SetAppName(const std::wstring& name) { appName_ = name; }
    const std::wstring& GetAppName() const noexcept { return appName_; }

    bool GetWindowPlacement(WINDOWPLACEMENT& placement) const;
    bool SetWindowPlacement(const WINDOWPLACEMENT& placement) const;

    // Frame, view, document, app.
    CommandChain GetCommandChain();
    // Routes a command unless an update handler disables it (an accelerator or a
    // button may fire while its menu item is stale). True when a target handled it.
    bool RouteCommand(UINT id);
    // Applies update states to every toolbar among the bars; the app calls it when idle.
    void UpdateToolBars();

    // The frame's own commands: the bar toggles. Derived frames call these as fallback.
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(CommandState& state) override;
    bool HandlesCommand(UINT id) const override;

protected:
    // Inside WM_CREATE; -1 ends creation.
    virtual int OnCreate(CREATESTRUCTW* create);
    // WM_CLOSE. Default destroys the window.
    virtual void OnClose();
    // WM_DESTROY. Default posts WM_QUIT.
    virtual void OnDestroy();
    virtual void OnTimer(UINT_PTR id);
    // WM_SIZE. Default RecalcLayout.
    virtual void OnSize(UINT type, int width, int height);
    // Asked first for every message: return true (with result) to answer it instead
    // of the handlers above and DefWindowProc. Default: false.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    struct Bar {
        HWND hwnd;
        BarSide side;
        int height;
        std::vector<UINT> toggleCommands;
        StatusBar* statusBar;
        bool isToolBar;
    };
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    Bar* FindBar(HWND bar);
    const Bar* FindBar(HWND bar) const;
    const Bar* FindBarByCommand(UINT id) const;

    std::vector<Bar> bars_;
    FormView* view_ = nullptr;
    Document* document_ = nullptr;
    HACCEL accelerators_ = nullptr;
    UINT resourceId_ = 0;
    std::wstring appName_;
};

} // namespace fw
