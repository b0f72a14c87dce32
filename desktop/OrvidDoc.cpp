#include "OrvidDoc.h"

const wchar_t* const DISCONNECTED_TITLE = L"Disconnected";

void COrvidDoc::DeleteContents() { SetTitle(DISCONNECTED_TITLE); }
