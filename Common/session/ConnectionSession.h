#pragma once
// One FTP connection session: the engine with its control socket, the site of the current
// connection, the server's home directory and the current remote listing. The document
// owns one; every other part of the program reaches the server through it. It belongs to
// the user-interface thread; worker threads use it only while that thread waits in a
// modal dialog.
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/FTPClient.h"
#include "session/RemoteEntryList.h"
#include "sites/SiteRecord.h"
#include "sites/SiteStore.h"

// The anonymous logon: servers expect an e-mail-style text as its password.
extern const wchar_t* const ANONYMOUS_USER;
extern const wchar_t* const ANONYMOUS_PASSWORD;

// Whether LIST can take the path as its argument. Servers disagree on how LIST takes a path
// with blanks (one wants them escaped with "\", others take them literally) and some read
// an argument that begins with "-" as options; such a directory is listed from inside it.
bool ListsByPath(const std::wstring& path);

class ConnectionSession {
public:
    // A session on a new blocking socket.
    ConnectionSession();
    // A session on the given control socket (tests hand in their own).
    explicit ConnectionSession(std::unique_ptr<nsSocket::IBlockingSocket> controlSocket);
    ConnectionSession(const ConnectionSession&) = delete;
    ConnectionSession& operator=(const ConnectionSession&) = delete;
    ~ConnectionSession();

    RemoteEntryList entries;
    SiteRecord currentSite = {}; // all zero until the first successful connect
    SiteList siteList;
    // Links to the filter bar's controls, set by the main frame; not owned, may be null.
    HWND filterEdit = nullptr;
    HWND kindCombo = nullptr;
    HWND typeCombo = nullptr;
    std::wstring homeDirectory; // PWD right after logon; empty when it failed
    // The encryption of currentSite's last logon, as the status bar showed it; kept after
    // the log-off, for Site Properties (the Site Manager opens once the connection is gone).
    std::wstring lastSecurity;
    // Tools that run with nobody to ask set this: it answers the TLS questions of OpenSite's
    // logon instead of the dialogs. Not owned.
    nsFTP::ITlsQuestions* unattendedAnswers = nullptr;
    // The engine serves one caller at a time: a worker thread (a transfer job, a find, a
    // listing) or one of the shell's uses (the walk behind the list of files it is about
    // to copy, or a content stream holding a data connection open). Whoever starts such
    // work claims the engine in one step as it starts, so that two can never both win, not
    // even when the shell's thread and a command started from a modal prompt race; false
    // when another has it. Timers of the user-interface thread still run inside a job's
    // modal loop; they keep off the connection meanwhile.
    bool TryClaimEngine() noexcept;
    void ReleaseEngine() noexcept;
    // While true the window starts nothing on the engine, the keep-alive included.
    bool IsBusy() const noexcept { return engineClaimed; }

    nsFTP::CFTPClient& Engine() noexcept { return *engine; }
    bool IsConnected() const { return engine->IsConnected(); }
    // The logon info of the current (or last) connection.
    nsFTP::LogonSettings logonSettings;

    // QUIT when connected; the connection is closed in every case.
    void LogOff();
    // PWD; empty text on failure.
    std::wstring CurrentDirectory();
    bool ChangeDirectory(const std::wstring& path);
    bool MakeDirectory(const std::wstring& path, bool report);
    void RemoveRemoteDirectory(const std::wstring& path);
    void DeleteRemoteFile(const std::wstring& path);
    int RenameRemote(const std::wstring& oldPath, const std::wstring& newPath);
    bool ListDirectory(const std::wstring& path, std::vector<nsFTP::FileStatusPtr>& records);
    // Lists the path into the listing as the records arrive, "." and ".." left out.
    bool ListDirectory(const std::wstring& path, RemoteEntryList& listing);
    std::unique_ptr<nsSocket::IBlockingSocket> OpenRemoteTransfer(const std::wstring& path, bool upload);
    // Lists the current directory into entries (sorted, "." and ".." skipped); true when
    // at least one entry was stored. The listing runs on a worker thread while this
    // thread's windows paint and answer messages; input waits until it is done, but Esc
    // stops it (the entries stay as they were) and closing the window stops it too.
    bool RefreshRemote();

    enum class WorkEnd { Done, Stopped, Busy };
    // Runs the work on a worker thread that holds the engine's claim (Busy, with the status
    // bar saying so, when another user holds it), while this thread's windows paint
    // and answer messages and the status bar shows statusText() as it changes. Input waits
    // until the work is done, except Esc and closing: they stop the work by interrupting
    // the data connection, and the whole connection when that did not end it within a
    // second (at once when stopClosesConnection). A close is carried out afterwards.
    WorkEnd RunWhileWindowAnswers(const std::function<void()>& work, const std::function<std::wstring()>& statusText,
                                  bool stopClosesConnection);
    // For the work of RunWhileWindowAnswers, so that it can ask the user: runs the call on
    // the thread that waits for the work (within about a tenth of a second, so that the
    // call's dialogs belong to that thread's windows) and returns once it has run. False,
    // without running it, when the user stopped the work first or the call threw. Called
    // on the waiting thread, or while no work runs, it runs at once.
    bool CallOnWindowThread(const std::function<void()>& call);
    // The quiet PWD of the idle keep-alive, sent only while connected, no worker uses the
    // engine and the current site asks for it.
    void KeepAlive();

private:
    WorkEnd ListWhileWindowAnswers(const std::wstring& path, RemoteEntryList& listing, bool& listed);
    // Runs the call the work waits for, if any (on the waiting thread); a stopped work's is
    // answered without it.
    void ServeWindowCall(bool stopped);

    std::unique_ptr<nsFTP::CFTPClient> engine;
    std::atomic<bool> engineClaimed{false};
    // The thread in RunWhileWindowAnswers' wait, 0 while none waits; the call its work has
    // handed over, and how it ended.
    std::atomic<DWORD> waitingThread{0};
    std::mutex windowCallLock;
    std::condition_variable windowCallServed;
    const std::function<void()>* windowCall = nullptr;
    bool windowCallRan = false;
};

// The status text of a window command refused while the shell's copy or a job has the
// connection, or a command that lost the claim to it.
extern const wchar_t* const SESSION_BUSY_TEXT;
// The status texts of a listing that takes a while ("%s" is the count of entries so far),
// and of one the user stopped.
extern const wchar_t* const LISTING_PROGRESS_FORMAT;
extern const wchar_t* const LISTING_STOPPED_TEXT;
// The status text while a logon takes a while ("%s" is the host).
extern const wchar_t* const CONNECTING_FORMAT;
// Whether the window may start an engine command now; when not, the status bar says why.
bool WindowMayUseEngine(const ConnectionSession& session);

// Fills the logon info from the site, logs on with the site's timeout (on a worker, Esc
// stopping it, as RunWhileWindowAnswers) and, on success, keeps the site as currentSite and
// the server's PWD as homeDirectory, and shows the connection's encryption in the status
// bar. The engine's FTP over TLS questions are put to the user (SiteTlsQuestions); what the
// user chose to keep for the site is stored with the site list under sitesKey.
bool OpenSite(ConnectionSession& session, const SiteRecord& site, const std::wstring& sitesKey = SITES_KEY);
// The status bar's text for a connection: the TLS version and cipher, or that it is not
// encrypted (tls is null), or that only its data connections are not.
std::wstring ConnectionSecurityText(const nsSocket::TlsSessionInfo* tls, bool dataProtected);
// Changes to the start directory taken relative to the home directory; falls back to the
// home directory when it does not exist. Does nothing when not connected.
void GoToStartDirectory(ConnectionSession& session, const std::wstring& startDirectory);
// The logon info OpenSite uses for a site.
nsFTP::LogonSettings MakeLogonSettings(const SiteRecord& site);
// The directory GoToStartDirectory changes to, or empty when it stays where it is.
std::wstring StartDirectoryTarget(const std::wstring& homeDirectory, const std::wstring& startDirectory);
