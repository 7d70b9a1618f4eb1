// The Windows shell as a user meets it, seen from outside: veldrin.exe runs as a child and the
// test finds its window and boxes by class and caption, answers the boxes (nobody else would:
// a box waits for ever), and ends the show the way a user does. Every wait has a limit and a
// child still running at the end is killed, so nothing here can stall.
#include <gtest/gtest.h>

#include <string>

#include <windows.h>

namespace {

constexpr DWORD kStartLimitMs = 60000;  // Wine's first start of a program is slow
constexpr DWORD kEndLimitMs = 20000;
constexpr const char* kModeSwitchText = "Mode Switch Failed.\nRunning In Windowed Mode.";

std::string programPath() {
    std::string path = VELDRIN_PROGRAM;
    // The build names the program by its path on the building machine; under Wine the same
    // file is on drive Z:.
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

class Child {
public:
    explicit Child(const std::string& arguments) {
        std::string command = "\"" + programPath() + "\" " + arguments;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &process_) != 0;
    }
    ~Child() {
        if (!started_) return;
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return started_; }
    DWORD id() const { return process_.dwProcessId; }
    // Its exit status, or -1 when it has not ended within the limit.
    long exitStatus(DWORD limitMs) const {
        if (!started_ || WaitForSingleObject(process_.hProcess, limitMs) != WAIT_OBJECT_0) return -1;
        DWORD status = 0;
        GetExitCodeProcess(process_.hProcess, &status);
        return long(status);
    }
    bool running() const { return started_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

struct Search {
    DWORD process;
    const char* className;
    const char* title;  // null: any
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    Search& search = *reinterpret_cast<Search*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char name[64] = "";
    char title[256] = "";
    GetClassNameA(window, name, sizeof name);
    GetWindowTextA(window, title, sizeof title);
    if (owner == search.process && std::string(name) == search.className &&
        (search.title == nullptr || std::string(title) == search.title)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

// A top-level window of the child's, once it appears; null after the limit or once the child
// has ended.
HWND waitForWindow(const Child& child, const char* className, const char* title, DWORD limitMs) {
    const ULONGLONG until = GetTickCount64() + limitMs;
    while (GetTickCount64() < until && child.running()) {
        Search search{child.id(), className, title, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(50);
    }
    return nullptr;
}

BOOL CALLBACK collectText(HWND control, LPARAM param) {
    char text[256] = "";
    GetWindowTextA(control, text, sizeof text);
    *reinterpret_cast<std::string*>(param) += text;
    return TRUE;
}

// The box's message: the text of its controls (the message and the button's label).
std::string boxText(HWND box) {
    std::string text;
    EnumChildWindows(box, collectText, reinterpret_cast<LPARAM>(&text));
    return text;
}

bool screenIs800x600() { return GetSystemMetrics(SM_CXSCREEN) == 800 && GetSystemMetrics(SM_CYSCREEN) == 600; }

SIZE outerSize(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

SIZE clientSize(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// Without --windowed the display is switched to 800 × 600, which works only on a screen that
// has that mode: CTest runs this once on an 800 × 600 screen and once on a larger one.
TEST(WindowsShell, ModeSwitchOrItsBoxThenWindowCloseEndsWithZero) {
    Child child("");
    ASSERT_TRUE(child.started());
    HWND window = nullptr;
    if (screenIs800x600()) {
        window = waitForWindow(child, "TAVO", "veldrin | korrimeet 2006", kStartLimitMs);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & (WS_POPUP | WS_CAPTION), WS_POPUP);
        EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
        EXPECT_EQ(clientSize(window).cx, 800);
        EXPECT_EQ(clientSize(window).cy, 600);
    } else {
        HWND box = waitForWindow(child, "#32770", "Error", kStartLimitMs);
        ASSERT_NE(box, nullptr);
        EXPECT_NE(boxText(box).find(kModeSwitchText), std::string::npos) << boxText(box);
        // No window before the box is answered.
        Sleep(300);
        Search early{child.id(), "TAVO", nullptr, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&early));
        EXPECT_EQ(early.found, nullptr);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        window = waitForWindow(child, "TAVO", "veldrin | korrimeet 2006", kStartLimitMs);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
        EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
        // The fallback window keeps the size meant for the screen, frame and all.
        EXPECT_EQ(outerSize(window).cx, 800);
        EXPECT_EQ(outerSize(window).cy, 600);
        EXPECT_LT(clientSize(window).cy, 600);
    }
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(child.exitStatus(kEndLimitMs), 0);
}

TEST(WindowsShell, WindowedClientIs800x600AndEscapeEndsWithZero) {
    Child child("--windowed");
    ASSERT_TRUE(child.started());
    HWND window = waitForWindow(child, "TAVO", nullptr, kStartLimitMs);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(clientSize(window).cx, 800);
    EXPECT_EQ(clientSize(window).cy, 600);
    // A key code past 255 is the system's, not the show's: whose low byte is Escape's ends
    // nothing. The sent message returns once the window procedure has taken it; a few frames
    // later the show must still run.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_KEYDOWN, 0x100 + VK_ESCAPE, 0, SMTO_ABORTIFHUNG, kEndLimitMs, &ignored);
    Sleep(500);
    EXPECT_TRUE(child.running());
    PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(child.exitStatus(kEndLimitMs), 0);
}

TEST(WindowsShell, BadUsageEndsWithTwo) {
    Child child("--windowed --fps fast");
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.exitStatus(kStartLimitMs), 2);
}

}  // namespace
