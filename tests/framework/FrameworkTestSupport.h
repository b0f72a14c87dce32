#pragma once
// Shared pieces of the framework tests: common controls, and a small single-document
// setup (app, document, frame, form view) whose targets record the commands they see.
#include "App.h"
#include "Command.h"
#include "Document.h"
#include "FormView.h"
#include "FrameWindow.h"
#include "TestResource.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <new>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fwtest {

inline void InitControls()
{
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&init);
}

// Runs the thread's messages until none are waiting.
inline void DrainMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// A target that runs the commands in `runs`, decides the update of those in `updates`
// with the given states, and writes its name into a shared log for every command.
struct RecordingTarget {
    explicit RecordingTarget(std::string targetName) : name(std::move(targetName)) {}
    std::string name;
    std::vector<std::string>* log = nullptr;
    std::set<UINT> runs;
    std::set<UINT> handlesWithoutUpdate;
    // Commands whose handler runs out of memory.
    std::set<UINT> exhausts;
    struct Update {
        UINT id;
        bool enable;
        int check; // -1 leaves it, 0/1 sets
        int radio; // -1 leaves it, 0/1 sets
        const wchar_t* text;
    };
    std::vector<Update> updates;

    bool Run(UINT id)
    {
        if (log) log->push_back(name + ":" + std::to_string(id));
        if (exhausts.count(id) != 0) throw std::bad_alloc();
        return runs.count(id) != 0;
    }
    bool Decide(fw::CommandState& state) const
    {
        for (const Update& update : updates) {
            if (update.id != state.Id()) continue;
            state.Enable(update.enable);
            if (update.check >= 0) state.SetCheck(update.check != 0);
            if (update.radio >= 0) state.SetRadio(update.radio != 0);
            if (update.text) state.SetText(update.text);
            return true;
        }
        return false;
    }
    bool Handles(UINT id) const { return handlesWithoutUpdate.count(id) != 0; }
};

#define FWTEST_RECORDING_OVERRIDES                                                                                     \
    bool OnCommand(UINT id) override { return recorder.Run(id) || Base::OnCommand(id); }                               \
    bool OnUpdateCommand(fw::CommandState& state) override                                                             \
    {                                                                                                                  \
        return recorder.Decide(state) || Base::OnUpdateCommand(state);                                                 \
    }                                                                                                                  \
    bool HandlesCommand(UINT id) const override { return recorder.Handles(id) || Base::HandlesCommand(id); }

class TestFrame : public fw::FrameWindow {
    using Base = fw::FrameWindow;

public:
    RecordingTarget recorder{"frame"};
    FWTEST_RECORDING_OVERRIDES
};

class TestView : public fw::FormView {
    using Base = fw::FormView;

public:
    TestView() : FormView(IDD_FORM) {}
    RecordingTarget recorder{"view"};
    int initialUpdates = 0;
    FWTEST_RECORDING_OVERRIDES

protected:
    void OnInitialUpdate() override { ++initialUpdates; }
};

class TestDocument : public fw::Document {
    using Base = fw::Document;

public:
    RecordingTarget recorder{"document"};
    FWTEST_RECORDING_OVERRIDES

    bool OnNewDocument() override
    {
        Base::OnNewDocument();
        SetTitle(L"Untitled");
        return true;
    }
};

class TestApp : public fw::App {
    using Base = fw::App;

public:
    RecordingTarget recorder{"app"};
    FWTEST_RECORDING_OVERRIDES
};

// App, document, frame and view created through the app, as a program does.
struct SingleDocument {
    TestApp app;
    TestDocument* document = nullptr;
    TestFrame* frame = nullptr;
    TestView* view = nullptr;
    std::vector<std::string> log;

    bool Create()
    {
        InitControls();
        app.SetInstance(::GetModuleHandleW(nullptr));
        auto doc = std::make_unique<TestDocument>();
        auto frm = std::make_unique<TestFrame>();
        auto vw = std::make_unique<TestView>();
        document = doc.get();
        frame = frm.get();
        view = vw.get();
        for (RecordingTarget* target : {&app.recorder, &document->recorder, &frame->recorder, &view->recorder}) {
            target->log = &log;
        }
        return app.CreateSingleDocument(std::move(doc), std::move(frm), std::move(vw), IDR_FRAME);
    }
};

} // namespace fwtest
