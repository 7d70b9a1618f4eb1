// The Windows shell as a user meets it, seen from outside: veldrin.exe runs as a child and the
// test finds its window and boxes by class and caption, answers the boxes (nobody else would:
// a box waits for ever), and ends the show the way a user does. Every wait has a limit and a
// child still running at the end is killed, so nothing here can stall.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

namespace {

constexpr DWORD kStartLimitMs = 60000;  // Wine's first start of a program is slow
constexpr DWORD kEndLimitMs = 20000;
constexpr const char* kModeSwitchText = "Mode Switch Failed.\nRunning In Windowed Mode.";

// The build names the program by its path on drive Z:, where Wine has the building machine's
// root; with Windows' own separators.
std::string programPath() {
    std::string path = VELDRIN_PROGRAM;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

// The program, quoted, and its arguments. (Appended piece by piece: GCC 12 warns falsely about
// a literal + string&& at -O2.)
std::string commandLine(const std::string& arguments) {
    std::string command = "\"";
    command += programPath();
    command += "\" ";
    command += arguments;
    return command;
}

class Child {
public:
    explicit Child(const std::string& arguments, DWORD flags = 0) {
        std::string command = commandLine(arguments);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
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
    HANDLE handle() const { return process_.hProcess; }

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
    EXPECT_EQ(GetClassLongPtrA(window, GCL_STYLE), ULONG_PTR(CS_HREDRAW | CS_VREDRAW | CS_OWNDC));
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

// The show's one log: each frame's music time as "%08.4f", through OutputDebugStringA, to a
// debugger. The test is that debugger; after some frames it closes the window.
TEST(WindowsShell, DebuggerHearsEachFramesMusicTime) {
    const Child child("--windowed", DEBUG_ONLY_THIS_PROCESS);
    ASSERT_TRUE(child.started());
    std::vector<std::string> times;
    bool ended = false;
    DWORD exitStatus = 99;
    const ULONGLONG until = GetTickCount64() + kStartLimitMs;
    while (!ended && GetTickCount64() < until) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, 50)) continue;
        DWORD answer = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case OUTPUT_DEBUG_STRING_EVENT: {
                std::string text(event.u.DebugString.nDebugStringLength, '\0');
                SIZE_T read = 0;
                ReadProcessMemory(child.handle(), event.u.DebugString.lpDebugStringData, text.data(), text.size(),
                                  &read);
                text.resize(read);
                if (!text.empty() && text.back() == '\0') text.pop_back();
                // The program's own notes (which decoder plays the music) share the channel.
                if (text.rfind("veldrin: ", 0) != 0) times.push_back(text);
                if (times.size() == 30) {
                    Search search{child.id(), "TAVO", nullptr, nullptr};
                    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
                    if (search.found != nullptr) PostMessageA(search.found, WM_CLOSE, 0, 0);
                }
                break;
            }
            case EXCEPTION_DEBUG_EVENT:
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) answer = DBG_EXCEPTION_NOT_HANDLED;
                break;
            case CREATE_PROCESS_DEBUG_EVENT: CloseHandle(event.u.CreateProcessInfo.hFile); break;
            case LOAD_DLL_DEBUG_EVENT: CloseHandle(event.u.LoadDll.hFile); break;
            case EXIT_PROCESS_DEBUG_EVENT:
                ended = true;
                exitStatus = event.u.ExitProcess.dwExitCode;
                break;
            default: break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
    }
    ASSERT_TRUE(ended);
    EXPECT_EQ(exitStatus, 0u);
    ASSERT_GE(times.size(), 30u);
    EXPECT_EQ(times[0], "000.0000");
    double last = 0.0;
    for (const std::string& time : times) {
        ASSERT_EQ(time.size(), 8u) << time;
        ASSERT_EQ(time[3], '.') << time;
        const double seconds = std::stod(time);
        EXPECT_GE(seconds, last);
        last = seconds;
    }
    EXPECT_GT(last, 0.0);
}

// The icon the class is registered with: resource 101, a 32 × 32 and a 16 × 16 image.
TEST(WindowsShell, ProgramCarriesIcon101In32And16) {
    HMODULE program = LoadLibraryExA(programPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HRSRC group = FindResourceA(program, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(program, group)));
    ASSERT_NE(directory, nullptr);
    // A header of three words, then 14 bytes an image, its width first (0 means 256).
    const int count = directory[4] | directory[5] << 8;
    std::string widths;
    for (int i = 0; i < count; ++i) widths += std::to_string(directory[6 + 14 * i]) + " ";
    EXPECT_EQ(widths, "32 16 ");
    FreeLibrary(program);
}

TEST(WindowsShell, BadUsageEndsWithTwo) {
    Child child("--windowed --fps fast");
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.exitStatus(kStartLimitMs), 2);
}

}  // namespace
