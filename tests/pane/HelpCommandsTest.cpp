// Where the Help menu looks for its documents.
#include <gtest/gtest.h>

#include "HelpCommands.h"

TEST(HelpDocuments, LieBesideTheProgram)
{
    EXPECT_EQ(HelpDocumentPath(L"C:\\Program Files\\Vantrel\\Orvid.exe", OVERVIEW_DOCUMENT_FORMAT),
              L"C:\\Program Files\\Vantrel\\Overview-FTP-Client.pdf");
    EXPECT_EQ(HelpDocumentPath(L"D:\\Orvid.exe", MANUAL_DOCUMENT_FORMAT), L"D:\\FTP-Client-Manual.chm");
    // A directory whose name holds "%s" itself stays as it is.
    EXPECT_EQ(HelpDocumentPath(L"C:\\100%s\\Orvid.exe", MANUAL_DOCUMENT_FORMAT), L"C:\\100%s\\FTP-Client-Manual.chm");
    EXPECT_EQ(HelpDocumentPath(L"\\\\server\\share\\tools\\Orvid.exe", OVERVIEW_DOCUMENT_FORMAT),
              L"\\\\server\\share\\tools\\Overview-FTP-Client.pdf");
    EXPECT_EQ(std::wstring(HOME_PAGE_ADDRESS), L"https://www.vantrel.example/");
}
