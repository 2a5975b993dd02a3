#include "ui/main_window_input_win.h"

#include <windows.h>
#include <gdiplus.h>
#include <malloc.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ui/launcher_state_win.h"
#include "ui/layout.h"
#include "ui/main_window_commands_win.h"
#include "ui/main_window_update_win.h"
#include "ui/main_window_win.h"
#include "ui/web_links.h"
#include "update/run/update_worker_win.h"

namespace {

constexpr int kW = 1024;
constexpr int kH = 660;

// What the window asked of the world outside it while a test ran.
std::vector<std::string> openedLinks;
int launchGameCalls = 0;
std::vector<HWND> infoDialogOwners;
std::vector<HWND> workerWindows;
std::vector<std::shared_ptr<UpdateRunFlags>> workerFlags;
bool workerStarts = true;
std::vector<std::wstring> musicCommands;

void RecordOpenLink(const char* address) {
    openedLinks.push_back(address);
}
void RecordLaunchGame() {
    ++launchGameCalls;
}
void RecordOpenInfoDialog(HWND owner) {
    infoDialogOwners.push_back(owner);
}
// The worker it stands for has ended at once: its handle is a signalled event.
HANDLE RecordStartUpdateWorker(HWND window, const std::shared_ptr<UpdateRunFlags>& flags) {
    workerWindows.push_back(window);
    workerFlags.push_back(flags);
    return workerStarts ? CreateEventW(nullptr, TRUE, TRUE, nullptr) : nullptr;
}
unsigned RecordMusicCommand(const std::wstring& command) {
    musicCommands.push_back(command);
    return 0;
}

void ClearRecords() {
    openedLinks.clear();
    launchGameCalls = 0;
    infoDialogOwners.clear();
    workerWindows.clear();
    workerFlags.clear();
    musicCommands.clear();
}

// A pointer position as the system packs it: two signed 16-bit words.
LPARAM At(int x, int y) {
    return static_cast<LPARAM>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16));
}

std::wstring WindowText(HWND window) {
    std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
    text.resize(GetWindowTextW(window, &text[0], static_cast<int>(text.size())));
    return text;
}

// Bytes in use on the C runtime's heap, where new and delete get their blocks.
size_t CrtHeapBytesInUse() {
    _HEAPINFO entry = {};
    size_t used = 0;
    while (_heapwalk(&entry) == _HEAPOK) {
        if (entry._useflag == _USEDENTRY)
            used += entry._size;
    }
    return used;
}

HCURSOR SystemCursor(int id) {
    return LoadCursorA(nullptr, MAKEINTRESOURCEA(id));
}

// The main window's own class, procedure and creation, with every command, the worker start and
// the music device replaced by recorders. It is a captionless popup with the same client area:
// hiding a captioned window under a bare X server waits two seconds for a window manager that is
// not there. It is shown because a hidden window keeps no update region to look at. The animation
// timer is stopped so that the tests send the ticks themselves, and the pointer is parked outside.
class MainWindowInputTest : public testing::Test {
protected:
    void SetUp() override {
        SaveState();
        ClearRecords();
        workerStarts = true;
        mainWindowCommands = {RecordOpenLink, RecordLaunchGame, RecordOpenInfoDialog, RecordStartUpdateWorker,
                              RecordMusicCommand};
        // The window shuts GDI+ down when it is destroyed; this start is the one it balances.
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&launcherState.gdiplusToken, &input, nullptr);
        launcherState.musicPath.clear();
        ParkCursor();

        const HINSTANCE instance = GetModuleHandleW(nullptr);
        RegisterMainWindowClass(instance);  // fails harmlessly when an earlier test registered it
        window_ = CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_POPUP, 100, 100, kW, kH, nullptr, nullptr,
                                  instance, nullptr);
        ASSERT_NE(window_, nullptr);
        ASSERT_NE(launcherState.statusLabel, nullptr);
        KillTimer(window_, kAnimationTimerId);
        ShowWindow(window_, SW_SHOWNOACTIVATE);
        RECT client;
        GetClientRect(window_, &client);
        ASSERT_EQ(client.right, kW);
        ASSERT_EQ(client.bottom, kH);
        // Without an update region of its own, "no repaint requested" would prove nothing.
        ValidateRect(window_, nullptr);
        InvalidateRect(window_, nullptr, FALSE);
        ASSERT_TRUE(GetUpdateRect(window_, nullptr, FALSE));
        ValidateRect(window_, nullptr);

        // A run may have started at creation if a game client lies beside the test binary.
        launcherState.updateRunning = false;
        launcherState.updateRun.reset();
        launcherState.progressDone = 0;
        launcherState.progressTotal = 100;
        ClearRecords();
    }

    void TearDown() override {
        ReleaseCapture();
        if (window_)
            DestroyWindow(window_);
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        if (launcherState.resources.buttonFont)
            DeleteObject(launcherState.resources.buttonFont);
        if (launcherState.resources.statusFont)
            DeleteObject(launcherState.resources.statusFont);
        ParkCursor();
        RestoreState();
    }

    void Press(int x, int y) { SendMessageW(window_, WM_LBUTTONDOWN, MK_LBUTTON, At(x, y)); }
    void Release(int x, int y) { SendMessageW(window_, WM_LBUTTONUP, 0, At(x, y)); }
    void Move(int x, int y) { SendMessageW(window_, WM_MOUSEMOVE, 0, At(x, y)); }
    void Tick() { SendMessageW(window_, WM_TIMER, kAnimationTimerId, 0); }

    // Whether `action` asked for the window to be painted again.
    bool RequestsRepaint(const std::function<void()>& action) {
        ValidateRect(window_, nullptr);
        action();
        const bool requested = GetUpdateRect(window_, nullptr, FALSE) != FALSE;
        ValidateRect(window_, nullptr);
        return requested;
    }

    // Puts the pointer on a client point of the window; false when the system did not move it.
    bool PutCursorAt(int x, int y) {
        POINT point{x, y};
        ClientToScreen(window_, &point);
        SetCursorPos(point.x, point.y);
        POINT now{-1, -1};
        GetCursorPos(&now);
        return now.x == point.x && now.y == point.y;
    }

    // The window sits at (100, 100), so the screen's corner is outside it.
    static void ParkCursor() { SetCursorPos(0, 0); }

    HWND window_ = nullptr;

private:
    void SaveState() {
        savedCommands_ = mainWindowCommands;
        savedMainWindow_ = launcherState.mainWindow;
        savedStatusLabel_ = launcherState.statusLabel;
        savedButtonFont_ = launcherState.resources.buttonFont;
        savedStatusFont_ = launcherState.resources.statusFont;
        savedToken_ = launcherState.gdiplusToken;
        savedMusicPath_ = launcherState.musicPath;
        savedFlags_ = {launcherState.updateRunning,    launcherState.gameReady,      launcherState.musicPlaying,
                       launcherState.musicMuted,       launcherState.draggingVolume, launcherState.updateHovered,
                       launcherState.gameStartHovered, launcherState.titleHovered,   launcherState.infoHovered};
        savedRun_ = launcherState.updateRun;
        savedVolume_ = launcherState.musicVolume;
        savedDone_ = launcherState.progressDone;
        savedTotal_ = launcherState.progressTotal;
        savedLevels_ = {launcherState.updateHoverLevel, launcherState.gameStartHoverLevel,
                        launcherState.titleHoverLevel,  launcherState.infoHoverLevel,
                        launcherState.playHoverLevel,   launcherState.muteHoverLevel};
    }
    void RestoreState() {
        mainWindowCommands = savedCommands_;
        launcherState.mainWindow = savedMainWindow_;
        launcherState.statusLabel = savedStatusLabel_;
        launcherState.resources.buttonFont = savedButtonFont_;
        launcherState.resources.statusFont = savedStatusFont_;
        launcherState.gdiplusToken = savedToken_;
        launcherState.musicPath = savedMusicPath_;
        bool* flags[] = {&launcherState.updateRunning,    &launcherState.gameReady,      &launcherState.musicPlaying,
                         &launcherState.musicMuted,       &launcherState.draggingVolume, &launcherState.updateHovered,
                         &launcherState.gameStartHovered, &launcherState.titleHovered,   &launcherState.infoHovered};
        for (size_t i = 0; i < savedFlags_.size(); ++i)
            *flags[i] = savedFlags_[i];
        launcherState.updateRun = savedRun_;
        launcherState.musicVolume = savedVolume_;
        launcherState.progressDone = savedDone_;
        launcherState.progressTotal = savedTotal_;
        float* levels[] = {&launcherState.updateHoverLevel, &launcherState.gameStartHoverLevel,
                           &launcherState.titleHoverLevel,  &launcherState.infoHoverLevel,
                           &launcherState.playHoverLevel,   &launcherState.muteHoverLevel};
        for (size_t i = 0; i < savedLevels_.size(); ++i)
            *levels[i] = savedLevels_[i];
    }

    MainWindowCommands savedCommands_ = {};
    HWND savedMainWindow_ = nullptr;
    HWND savedStatusLabel_ = nullptr;
    HFONT savedButtonFont_ = nullptr;
    HFONT savedStatusFont_ = nullptr;
    ULONG_PTR savedToken_ = 0;
    std::wstring savedMusicPath_;
    std::vector<bool> savedFlags_;
    std::shared_ptr<UpdateRunFlags> savedRun_;
    int32_t savedVolume_ = 0;
    int32_t savedDone_ = 0;
    int32_t savedTotal_ = 0;
    std::vector<float> savedLevels_;
};

// A worker that goes on for a while after CANCEL: the window waits for it before it goes.
struct SlowWorkerArgument {
    std::shared_ptr<UpdateRunFlags> flags;
    std::atomic<bool>* ended;
};
DWORD WINAPI SlowWorker(LPVOID argument) {
    const std::unique_ptr<SlowWorkerArgument> work(static_cast<SlowWorkerArgument*>(argument));
    while (!work->flags->cancelRequested.load())
        Sleep(10);
    Sleep(300);
    work->ended->store(true);
    return 0;
}

TEST_F(MainWindowInputTest, ClosingTheWindowCancelsTheRunAndWaitsForItsWorker) {
    std::atomic<bool> workerEnded{false};
    mainWindowCommands.startUpdateWorker = [&](HWND, const std::shared_ptr<UpdateRunFlags>& flags) -> HANDLE {
        return CreateThread(nullptr, 0, SlowWorker, new SlowWorkerArgument{flags, &workerEnded}, 0, nullptr);
    };
    Press(80, kH - 30);
    ASSERT_TRUE(launcherState.updateRunning);
    const std::shared_ptr<UpdateRunFlags> run = launcherState.updateRun;
    DestroyWindow(window_);
    window_ = nullptr;
    EXPECT_TRUE(run->cancelRequested.load());
    EXPECT_TRUE(workerEnded.load());
    EXPECT_FALSE(launcherState.updateWorker.IsValid());
}

TEST_F(MainWindowInputTest, UpdateStartsOneRunAndCancelOnlyRaisesTheFlag) {
    launcherState.progressDone = 7;
    launcherState.progressTotal = 9;
    EXPECT_TRUE(RequestsRepaint([&] { Press(80, kH - 30); }));
    EXPECT_TRUE(launcherState.updateRunning);  // the button now reads "CANCEL"
    EXPECT_EQ(launcherState.progressDone, 0);
    EXPECT_EQ(launcherState.progressTotal, 100);
    EXPECT_EQ(workerWindows, std::vector<HWND>{window_});
    ASSERT_EQ(workerFlags.size(), 1u);
    const std::shared_ptr<UpdateRunFlags> first = workerFlags[0];
    ASSERT_TRUE(first);
    EXPECT_EQ(first, launcherState.updateRun);  // the window keeps what it shares with the worker
    EXPECT_FALSE(first->cancelRequested.load());

    launcherState.progressDone = 3;
    launcherState.progressTotal = 8;
    for (int press = 0; press < 2; ++press) {
        EXPECT_FALSE(RequestsRepaint([&] { Press(80, kH - 30); })) << "press " << press;
        EXPECT_TRUE(first->cancelRequested.load());
        EXPECT_TRUE(launcherState.updateRunning) << "still CANCEL until the worker reports the end";
        EXPECT_EQ(launcherState.progressDone, 3);
        EXPECT_EQ(launcherState.progressTotal, 8);
        EXPECT_EQ(workerWindows.size(), 1u);
    }

    // Only the finish message returns the button to UPDATE; then a press starts a new run.
    launcherState.gameReady = true;
    SendMessageW(window_, WM_UPDATE_FINISHED, 0, 0);
    EXPECT_FALSE(launcherState.updateRunning);
    Press(80, kH - 30);
    EXPECT_TRUE(launcherState.updateRunning);
    // The new run has flags of its own: the old run's CANCEL cannot reach it.
    ASSERT_EQ(workerFlags.size(), 2u);
    EXPECT_NE(workerFlags[1], first);
    EXPECT_FALSE(workerFlags[1]->cancelRequested.load());
    EXPECT_TRUE(first->cancelRequested.load());
    EXPECT_EQ(launcherState.progressDone, 0);
    EXPECT_EQ(launcherState.progressTotal, 100);
    EXPECT_TRUE(launcherState.gameReady);
    EXPECT_EQ(workerWindows.size(), 2u);
}

TEST_F(MainWindowInputTest, WorkerThatCannotStartLeavesTheButtonAtUpdate) {
    workerStarts = false;
    EXPECT_TRUE(RequestsRepaint([&] { Press(80, kH - 30); }));
    EXPECT_EQ(workerWindows.size(), 1u);
    EXPECT_FALSE(launcherState.updateRunning);
    EXPECT_EQ(WindowText(launcherState.statusLabel), kWorkerStartFailedText);
    // The player can try again.
    Press(80, kH - 30);
    EXPECT_EQ(workerWindows.size(), 2u);
    EXPECT_FALSE(launcherState.updateRunning);
}

TEST_F(MainWindowInputTest, FinishMessagesEnableGameStartOnlyAfterASuccess) {
    struct Case {
        const char* name;
        std::vector<WPARAM> results;
        bool ready;
    };
    const Case cases[] = {
        {"success", {1}, true},
        {"failure", {0}, false},
        {"unknown result", {2}, false},
        {"failure after success", {1, 0}, true},
        {"unknown after success", {1, 2}, true},
        {"success after failure", {0, 1}, true},
    };
    for (const Case& c : cases) {
        launcherState.gameReady = false;
        for (WPARAM result : c.results) {
            launcherState.updateRunning = true;
            launcherState.progressDone = 4;
            launcherState.progressTotal = 6;
            EXPECT_TRUE(RequestsRepaint([&] { SendMessageW(window_, WM_UPDATE_FINISHED, result, 0); })) << c.name;
            EXPECT_FALSE(launcherState.updateRunning) << c.name;
            EXPECT_EQ(launcherState.progressDone, 4) << c.name;
            EXPECT_EQ(launcherState.progressTotal, 6) << c.name;
        }
        EXPECT_EQ(launcherState.gameReady, c.ready) << c.name;
    }
}

TEST_F(MainWindowInputTest, ProgressWithoutAPositiveTotalIsDropped) {
    launcherState.progressDone = 3;
    launcherState.progressTotal = 8;
    for (LPARAM total : {LPARAM{0}, LPARAM{-10}}) {
        EXPECT_FALSE(RequestsRepaint([&] { SendMessageW(window_, WM_UPDATE_PROGRESS, 5, total); })) << total;
        EXPECT_EQ(launcherState.progressDone, 3);
        EXPECT_EQ(launcherState.progressTotal, 8);
    }
    EXPECT_TRUE(RequestsRepaint([&] { SendMessageW(window_, WM_UPDATE_PROGRESS, 5, 10); }));
    EXPECT_EQ(launcherState.progressDone, 5);
    EXPECT_EQ(launcherState.progressTotal, 10);
    // The next tick lets the worker post its next figure.
    launcherState.updateRun = std::make_shared<UpdateRunFlags>();
    launcherState.updateRun->progressUnread.store(true);
    Tick();
    EXPECT_FALSE(launcherState.updateRun->progressUnread.load());
}

TEST_F(MainWindowInputTest, StatusMessageSetsTheLabelAndFreesItsString) {
    // Long enough that a string left behind stands out from the heap's own movements.
    const std::wstring text = L"Downloading: system\\" + std::wstring(4000, L'x') + L".u";
    const size_t before = CrtHeapBytesInUse();
    ASSERT_TRUE(PostStatusText(window_, text));
    const size_t posted = CrtHeapBytesInUse();
    ASSERT_GE(posted, before + text.size() * sizeof(wchar_t)) << "the heap walk does not see the posted copy";

    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, window_, WM_UPDATE_STATUS, WM_UPDATE_STATUS, PM_REMOVE));
    EXPECT_FALSE(RequestsRepaint([&] { DispatchMessageW(&message); })) << "the label redraws itself";
    const size_t after = CrtHeapBytesInUse();
    EXPECT_LT(after, before + text.size()) << "the status string was not freed";
    EXPECT_EQ(WindowText(launcherState.statusLabel), text);
}

TEST_F(MainWindowInputTest, ButtonEdgesCountAndTheNextPixelDoesNot) {
    struct Case {
        int x, y;
        bool starts;
    };
    const Case cases[] = {
        {160, kH - 18, true}, {10, kH - 46, true},  {10, kH - 18, true},  {160, kH - 46, true},  {161, kH - 30, false},
        {9, kH - 30, false},  {80, kH - 47, false}, {80, kH - 17, false}, {161, kH - 18, false}, {160, kH - 17, false},
    };
    for (const Case& c : cases) {
        launcherState.updateRunning = false;
        workerWindows.clear();
        Press(c.x, c.y);
        EXPECT_EQ(workerWindows.size(), c.starts ? 1u : 0u) << "(" << c.x << ", " << c.y << ")";
        EXPECT_EQ(launcherState.updateRunning, c.starts) << "(" << c.x << ", " << c.y << ")";
    }
}

TEST_F(MainWindowInputTest, EachTopRowElementOpensItsOwnAddress) {
    struct Case {
        LayoutRect r;  // at 1024 x 660, both edges answering
        const char* address;
    };
    const Case cases[] = {
        {{882, 10, 910, 38}, kYoutubeAddress}, {{918, 10, 946, 38}, kInstagramAddress},
        {{954, 10, 982, 38}, kDiscordAddress}, {{990, 10, 1018, 38}, kTiktokAddress},
        {{10, 10, 160, 38}, kWebsiteAddress},
    };
    std::set<std::string> distinct;
    for (const Case& c : cases) {
        distinct.insert(c.address);
        const LayoutRect& r = c.r;
        const POINT inside[] = {{r.left, r.top},
                                {r.right, r.top},
                                {r.left, r.bottom},
                                {r.right, r.bottom},
                                {(r.left + r.right) / 2, (r.top + r.bottom) / 2}};
        for (POINT p : inside) {
            openedLinks.clear();
            Press(p.x, p.y);
            EXPECT_EQ(openedLinks, std::vector<std::string>{c.address}) << "(" << p.x << ", " << p.y << ")";
        }
        const POINT outside[] = {
            {r.left - 1, r.top}, {r.right + 1, r.bottom}, {r.left, r.top - 1}, {r.right, r.bottom + 1}};
        for (POINT p : outside) {
            openedLinks.clear();
            Press(p.x, p.y);
            EXPECT_TRUE(openedLinks.empty()) << "(" << p.x << ", " << p.y << ") opened " << openedLinks.front();
        }
    }
    EXPECT_EQ(distinct.size(), 5u) << "two elements share an address";
    EXPECT_EQ(launchGameCalls, 0);
    EXPECT_TRUE(infoDialogOwners.empty());
    EXPECT_TRUE(workerWindows.empty());
}

TEST_F(MainWindowInputTest, SliderPressSetsTheVolumeAndSendsItOnlyWhenNotMuted) {
    struct Case {
        int x;
        bool muted;
        int32_t volume;
        std::vector<std::wstring> sent;
    };
    const Case cases[] = {
        {508, false, 0, {L"setaudio bgmusic volume to 0"}},
        {668, false, 100, {L"setaudio bgmusic volume to 1000"}},
        {588, false, 50, {L"setaudio bgmusic volume to 500"}},
        {509, false, 0, {L"setaudio bgmusic volume to 0"}},  // 0.625 truncates to 0
        {508, true, 0, {}},
        {668, true, 100, {}},
    };
    for (const Case& c : cases) {
        launcherState.musicMuted = c.muted;
        launcherState.musicVolume = 30;
        musicCommands.clear();
        EXPECT_TRUE(RequestsRepaint([&] { Press(c.x, kH - 87); })) << c.x;
        EXPECT_EQ(launcherState.musicVolume, c.volume) << c.x;
        EXPECT_EQ(musicCommands, c.sent) << c.x << (c.muted ? " muted" : "");
        EXPECT_EQ(launcherState.musicMuted, c.muted);
        EXPECT_TRUE(launcherState.draggingVolume);
        EXPECT_EQ(GetCapture(), window_);
        Release(c.x, kH - 87);
        EXPECT_FALSE(launcherState.draggingVolume);
        EXPECT_EQ(GetCapture(), nullptr);
    }
}

TEST_F(MainWindowInputTest, MuteKeepsTheSliderVolumeAndUnmutingSendsIt) {
    launcherState.musicVolume = 30;
    EXPECT_TRUE(RequestsRepaint([&] { Press(470, kH - 87); }));  // VOL
    EXPECT_TRUE(launcherState.musicMuted);
    EXPECT_EQ(launcherState.musicVolume, 30);
    EXPECT_EQ(musicCommands, std::vector<std::wstring>{L"setaudio bgmusic volume to 0"});

    musicCommands.clear();
    Press(628, kH - 87);  // 75 % along the track
    Release(628, kH - 87);
    EXPECT_EQ(launcherState.musicVolume, 75);
    EXPECT_TRUE(musicCommands.empty());

    EXPECT_TRUE(RequestsRepaint([&] { Press(470, kH - 87); }));  // MUTED
    EXPECT_FALSE(launcherState.musicMuted);
    EXPECT_EQ(musicCommands, std::vector<std::wstring>{L"setaudio bgmusic volume to 750"});
}

TEST_F(MainWindowInputTest, DraggingOutsideTheWindowClampsAndTheReleaseEndsIt) {
    Press(588, kH - 87);
    ASSERT_EQ(GetCapture(), window_);
    struct Step {
        int x, y;
        int32_t volume;
    };
    // Left of and below the window the coordinates arrive as negative 16-bit words.
    const Step steps[] = {
        {-1, kH - 87, 0}, {628, kH - 87, 75},   {-200, -40, 0},   {2000, kH + 300, 100},
        {548, 5, 25},     {1024, kH - 87, 100}, {-32768, 200, 0},
    };
    for (const Step& s : steps) {
        musicCommands.clear();
        EXPECT_TRUE(RequestsRepaint([&] { Move(s.x, s.y); })) << s.x;
        EXPECT_EQ(launcherState.musicVolume, s.volume) << "at x = " << s.x;
        EXPECT_EQ(musicCommands,
                  std::vector<std::wstring>{L"setaudio bgmusic volume to " + std::to_wstring(s.volume * 10)})
            << s.x;
    }
    Release(-50, 700);
    EXPECT_FALSE(launcherState.draggingVolume);
    EXPECT_EQ(GetCapture(), nullptr);
    // After the release a move over the track changes nothing.
    musicCommands.clear();
    Move(508, kH - 87);
    EXPECT_EQ(launcherState.musicVolume, 0);  // from the last drag step
    Move(668, kH - 87);
    EXPECT_EQ(launcherState.musicVolume, 0);
    EXPECT_TRUE(musicCommands.empty());
    // A release without a drag leaves someone else's capture alone.
    SetCapture(window_);
    Release(600, 300);
    EXPECT_EQ(GetCapture(), window_);
}

TEST_F(MainWindowInputTest, GameStartActsOnlyWhenReady) {
    const POINT points[] = {{939, 628}, {kW - 160, kH - 46}, {kW - 10, kH - 18}};
    launcherState.gameReady = false;
    for (POINT p : points) {
        EXPECT_FALSE(RequestsRepaint([&] { Press(p.x, p.y); }));
    }
    EXPECT_EQ(launchGameCalls, 0);
    launcherState.gameReady = true;
    Press(939, 628);
    EXPECT_EQ(launchGameCalls, 1);
    Press(kW - 10, kH - 18);
    EXPECT_EQ(launchGameCalls, 2);
    Press(kW - 9, kH - 18);
    Press(kW - 161, kH - 30);
    EXPECT_EQ(launchGameCalls, 2);
    EXPECT_TRUE(launcherState.gameReady);
    EXPECT_TRUE(workerWindows.empty());
}

TEST_F(MainWindowInputTest, PlayStopStopsAndRestartsTheMusic) {
    ASSERT_TRUE(launcherState.musicPlaying) << "the window starts its music when it is created";
    launcherState.musicVolume = 40;
    EXPECT_TRUE(RequestsRepaint([&] { Press(392, 573); }));
    EXPECT_EQ(musicCommands, (std::vector<std::wstring>{L"stop bgmusic", L"close bgmusic"}));
    EXPECT_FALSE(launcherState.musicPlaying);

    musicCommands.clear();
    EXPECT_TRUE(RequestsRepaint([&] { Press(kW / 2 - 80, kH - 74); }));  // bottom-right edge
    ASSERT_EQ(musicCommands.size(), 4u);
    EXPECT_EQ(musicCommands[0], L"close bgmusic");
    EXPECT_EQ(musicCommands[1].rfind(L"open ", 0), 0u);
    EXPECT_EQ(musicCommands[2], L"play bgmusic repeat");
    EXPECT_EQ(musicCommands[3], L"setaudio bgmusic volume to 400");
    EXPECT_TRUE(launcherState.musicPlaying);
}

TEST_F(MainWindowInputTest, InfoOpensADialogOwnedByTheWindowOnEveryPress) {
    for (POINT p : {POINT{964, 570}, POINT{914, 555}, POINT{1014, 585}})
        EXPECT_FALSE(RequestsRepaint([&] { Press(p.x, p.y); }));
    EXPECT_EQ(infoDialogOwners, (std::vector<HWND>{window_, window_, window_}));
    for (POINT p : {POINT{913, 570}, POINT{964, 554}, POINT{1015, 585}, POINT{964, 586}})
        Press(p.x, p.y);
    EXPECT_EQ(infoDialogOwners.size(), 3u);
}

TEST_F(MainWindowInputTest, HandCursorOverTheListedAreasArrowElsewhere) {
    if (!PutCursorAt(500, 300))
        GTEST_SKIP() << "SetCursorPos does not move the pointer here";
    struct Case {
        int x, y;
        bool hand;
    };
    const Case cases[] = {
        {882, 10, true},
        {1018, 38, true},
        {946, 24, true},
        {911, 24, false},  // icons and a gap
        {10, 10, true},
        {160, 38, true},
        {161, 24, false},
        {10, 39, false},  // title box
        {0, kH - 46, true},
        {160, kH - 18, true},
        {5, kH - 30, true},
        {161, kH - 30, false},
        {kW - 160, kH - 46, true},
        {kW - 1, kH - 18, true},
        {kW - 161, kH - 30, false},  // button row strips
        {80, kH - 47, false},
        {80, kH - 17, false},
        {600, kH - 30, false},  // above, below, progress bar
        {914, 555, true},
        {1014, 585, true},
        {913, 570, false},  // INFO
        {352, 560, true},
        {432, 586, true},
        {440, 560, true},
        {500, 586, true},  // PLAY, VOL
        {436, 570, false},
        {508, 565, true},
        {668, 581, true},
        {669, 573, false},  // slider
        {500, 300, false},
        {kW - 1, kH - 1, false},
    };
    const HCURSOR hand = SystemCursor(32649);      // IDC_HAND
    const HCURSOR arrow = SystemCursor(32512);     // IDC_ARROW
    const HCURSOR sentinel = SystemCursor(32514);  // IDC_WAIT
    for (const Case& c : cases) {
        ASSERT_TRUE(PutCursorAt(c.x, c.y)) << "(" << c.x << ", " << c.y << ")";
        SetCursor(sentinel);
        const LRESULT result =
            SendMessageW(window_, WM_SETCURSOR, reinterpret_cast<WPARAM>(window_), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), c.hand ? hand : arrow) << "(" << c.x << ", " << c.y << ")";
        if (c.hand) {
            EXPECT_EQ(result, TRUE);
        }
    }
    ParkCursor();
}

TEST_F(MainWindowInputTest, MouseMoveRepaintsOnlyWhenAHoverStateChanges) {
    struct Step {
        const char* name;
        int x, y;
        bool repaint;
        char hovered;  // the one stored flag that is set: U(PDATE), G(AME START), T(itle), I(NFO), or none
    };
    const Step steps[] = {
        {"background", 500, 300, false, 0},
        {"onto UPDATE", 80, kH - 30, true, 'U'},
        {"within UPDATE", 160, kH - 18, false, 'U'},
        {"onto GAME START while grey", 939, 628, true, 'G'},
        {"progress bar", 500, kH - 30, true, 0},
        {"slider without a drag", 588, kH - 87, false, 0},
        {"onto the title box", 10, 10, true, 'T'},
        {"icon", 890, 20, true, 0},
        {"onto INFO", 964, 570, true, 'I'},
        {"within INFO", 1014, 585, false, 'I'},
        {"onto PLAY, level at rest", 392, 573, true, 0},
        {"within PLAY, level still low", 400, 575, true, 0},
        {"onto VOL, level at rest", 470, 573, true, 0},
        {"background again", 500, 300, false, 0},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(RequestsRepaint([&] { Move(s.x, s.y); }), s.repaint) << s.name;
        EXPECT_EQ(launcherState.updateHovered, s.hovered == 'U') << s.name;
        EXPECT_EQ(launcherState.gameStartHovered, s.hovered == 'G') << s.name;
        EXPECT_EQ(launcherState.titleHovered, s.hovered == 'T') << s.name;
        EXPECT_EQ(launcherState.infoHovered, s.hovered == 'I') << s.name;
    }
    EXPECT_EQ(launcherState.musicVolume, 30) << "a move without a drag set the volume";

    // Once the timer has lit PLAY or VOL, staying on it is quiet and leaving it repaints.
    launcherState.playHoverLevel = 1.0f;
    EXPECT_FALSE(RequestsRepaint([&] { Move(392, 573); }));
    EXPECT_FALSE(RequestsRepaint([&] { Move(400, 575); }));
    EXPECT_TRUE(RequestsRepaint([&] { Move(500, 300); }));
    launcherState.muteHoverLevel = 0.6f;
    launcherState.playHoverLevel = 0.0f;
    EXPECT_FALSE(RequestsRepaint([&] { Move(470, 573); }));
    EXPECT_TRUE(RequestsRepaint([&] { Move(392, 573); }));
}

TEST_F(MainWindowInputTest, HoverLevelsReachTheirTargetIn24TicksAndThenRepaintsStop) {
    Move(80, kH - 30);  // onto UPDATE
    ASSERT_TRUE(launcherState.updateHovered);
    for (int tick = 1; tick <= 24; ++tick) {
        EXPECT_TRUE(RequestsRepaint([&] { Tick(); })) << "tick " << tick;
        if (tick < 24) {
            EXPECT_LT(launcherState.updateHoverLevel, 1.0f) << "tick " << tick;
        }
    }
    EXPECT_EQ(launcherState.updateHoverLevel, 1.0f);
    for (int tick = 25; tick <= 27; ++tick)
        EXPECT_FALSE(RequestsRepaint([&] { Tick(); })) << "tick " << tick;
    EXPECT_EQ(launcherState.gameStartHoverLevel, 0.0f);
    EXPECT_EQ(launcherState.titleHoverLevel, 0.0f);
    EXPECT_EQ(launcherState.infoHoverLevel, 0.0f);
    EXPECT_EQ(launcherState.playHoverLevel, 0.0f);
    EXPECT_EQ(launcherState.muteHoverLevel, 0.0f);

    // Moving to the title box fades one out while the other lights up, in the same 24 ticks.
    Move(80, 24);
    for (int tick = 1; tick <= 24; ++tick)
        EXPECT_TRUE(RequestsRepaint([&] { Tick(); })) << "tick " << tick;
    EXPECT_EQ(launcherState.updateHoverLevel, 0.0f);
    EXPECT_EQ(launcherState.titleHoverLevel, 1.0f);
    EXPECT_FALSE(RequestsRepaint([&] { Tick(); }));

    // PLAY/STOP follows the pointer itself, with no mouse message at all.
    if (!PutCursorAt(392, 573))
        GTEST_SKIP() << "SetCursorPos does not move the pointer here";
    for (int tick = 1; tick <= 24; ++tick)
        EXPECT_TRUE(RequestsRepaint([&] { Tick(); })) << "tick " << tick;
    EXPECT_EQ(launcherState.playHoverLevel, 1.0f);
    EXPECT_FALSE(RequestsRepaint([&] { Tick(); }));
    ParkCursor();  // out of the window: it fades although no move arrived
    for (int tick = 1; tick <= 24; ++tick)
        Tick();
    EXPECT_EQ(launcherState.playHoverLevel, 0.0f);
    EXPECT_EQ(launcherState.titleHoverLevel, 1.0f) << "a stored flag waits for a move inside the window";
    EXPECT_FALSE(RequestsRepaint([&] { Tick(); }));
}

}  // namespace
