#pragma once
// The desktop program's document. Until a connection exists it only names the frame.
#include "framework/Document.h"

extern const wchar_t* const DISCONNECTED_TITLE;

class COrvidDoc : public fw::Document {
public:
    void DeleteContents() override;
};
