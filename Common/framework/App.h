#pragma once
// The application object: one per program, reachable from anywhere with GetApp.
#include "Command.h"

#include <windows.h>

#include <memory>
#include <string>

namespace fw {

class Document;
class FormView;
class FrameWindow;

class App : public CommandTarget {
public:
    App() noexcept;
    App(const App&) = delete;
    App& operator=(const App&) = delete;
    ~App() override;

    // wWinMain's body: InitInstance, Run while it succeeded, ExitInstance.
    int Main(HINSTANCE instance, int showCommand);

    HINSTANCE GetInstance() const noexcept { return instance_; }
    void SetInstance(HINSTANCE instance) noexcept { instance_ = instance; }
    int GetShowCommand() const noexcept { return showCommand_; }
    // The text before the first "\n" of the string resource; also the caption suffix.
    bool LoadAppName(UINT stringId);
    const std::wstring& GetAppName() const noexcept { return appName_; }
    void SetAppName(const std::wstring& name) { appName_ = name; }
    // Only remembered; the layer stores nothing under it.
    void SetRegistryKey(const std::wstring& name) { registryKey_ = name; }
    const std::wstring& GetRegistryKey() const noexcept { return registryKey_; }

    // Creates the program's windows; false ends the program. Default: false.
    virtual bool InitInstance();
    // The exit code; default the WM_QUIT code Run returned.
    virtual int ExitInstance();
    // The message loop; returns the WM_QUIT code.
    int Run();
    // Once each time the queue runs empty: toolbar states. Derived apps may add work.
    virtual void OnIdle();
    // Whether a command closes the program (File > Exit); a wait that holds the input
    // takes it as a close request. Default: none does.
    virtual bool IsCloseCommand(UINT id) const;

    // Takes ownership of all three: creates the frame (hidden) from resourceId, the view
    // inside it, resets the document (OnNewDocument), lays the frame out and gives the
    // view its initial update. False if any step fails.
    bool CreateSingleDocument(std::unique_ptr<Document> document, std::unique_ptr<FrameWindow> frame,
                              std::unique_ptr<FormView> view, UINT resourceId);
    FrameWindow* GetMainFrame() const noexcept { return mainFrame_.get(); }
    Document* GetDocument() const noexcept { return document_.get(); }
    FormView* GetView() const noexcept { return view_.get(); }

private:
    HINSTANCE instance_ = nullptr;
    int showCommand_ = SW_SHOWNORMAL;
    int quitCode_ = 0;
    std::wstring appName_;
    std::wstring registryKey_;
    // Destroyed view first, then frame, then document (reverse of declaration).
    std::unique_ptr<Document> document_;
    std::unique_ptr<FrameWindow> mainFrame_;
    std::unique_ptr<FormView> view_;
};

// The one App of the program, or nullptr before it is constructed.
App* GetApp() noexcept;

} // namespace fw
