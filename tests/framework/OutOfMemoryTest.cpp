#include "OutOfMemory.h"
#include "FrameworkTestSupport.h"
#include "OleDataSource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <new>

#include "support/WindowAnswerer.h"

namespace {

using fwtest::SingleDocument;

constexpr auto BOX_TIMEOUT = std::chrono::seconds(10);

// A data object whose rendering runs out of memory, as a very large offer can.
class ExhaustedSource : public fw::OleDataSource {
protected:
    HRESULT OnRenderData(const FORMATETC&, STGMEDIUM&) override { throw std::bad_alloc(); }
};

} // namespace

// Running out of memory where a window procedure, a dialog procedure or another process's
// GetData enters the program: one error box says so, the caller gets a failure, and the
// windows go on answering.
TEST(OutOfMemory, EachEntryFromOutsideReportsItAndTheProgramGoesOn)
{
    SingleDocument doc;
    ASSERT_TRUE(doc.Create());
    testsupport::WindowAnswerer answerer;
    doc.view->recorder.exhausts = {ID_CMD_PLAIN};
    doc.frame->recorder.runs = {ID_CMD_CHECKED};

    struct Case {
        const char* entry;
        std::function<bool()> enter; // true when the caller saw a failure, where it can see one
    };
    const Case cases[] = {
        {"frame window procedure",
         [&] {
             doc.frame->Send(WM_COMMAND, MAKEWPARAM(ID_CMD_PLAIN, 0), 0);
             return true;
         }},
        {"view dialog procedure",
         [&] {
             doc.view->Send(WM_COMMAND, MAKEWPARAM(ID_CMD_PLAIN, BN_CLICKED), 0);
             return true;
         }},
        {"GetData",
         [] {
             auto* source = new ExhaustedSource;
             source->DelayRenderData(CF_UNICODETEXT);
             FORMATETC format = {CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
             STGMEDIUM medium = {};
             const HRESULT result = source->GetData(&format, &medium);
             source->Release();
             return result == E_OUTOFMEMORY && medium.hGlobal == nullptr;
         }},
    };
    std::size_t boxes = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        EXPECT_TRUE(c.enter());
        ++boxes;
        ASSERT_TRUE(answerer.WaitForMessages(boxes, BOX_TIMEOUT));
        EXPECT_EQ(answerer.MessageTexts().back(), fw::OUT_OF_MEMORY_TEXT);

        doc.log.clear();
        doc.frame->Send(WM_COMMAND, MAKEWPARAM(ID_CMD_CHECKED, 0), 0);
        EXPECT_THAT(doc.log, ::testing::Contains("frame:" + std::to_string(ID_CMD_CHECKED)));
    }
    EXPECT_EQ(answerer.MessageTexts().size(), boxes);
}
