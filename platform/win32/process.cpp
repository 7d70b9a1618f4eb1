// ChildProcess over CreateProcessA: Windows' port. The program gets one command line, which the
// C runtime on the other side splits into arguments again, so every argument is quoted by the
// rules that splitting follows.
#include "platform/process.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>

namespace {

bool isProgramFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// CreateProcess starts .exe and .com files itself; anything else on PATHEXT (.bat, .cmd, ...)
// would need the command interpreter, with quoting rules of its own.
bool findWithExtensions(const std::string& stem, std::string& path) {
    const std::size_t slash = stem.find_last_of("\\/:");
    const std::size_t dot = stem.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        if (!isProgramFile(stem)) return false;
        path = stem;
        return true;
    }
    for (const char* extension : {".exe", ".com"}) {
        if (isProgramFile(stem + extension)) {
            path = stem + extension;
            return true;
        }
    }
    return false;
}

// One argument as the C runtime's splitting reads it back unchanged: in quotes when it is empty
// or holds a blank or a quote; inside them a quote is escaped with a backslash, and backslashes
// are doubled only where they come before a quote (the closing one included).
void appendQuoted(std::string& line, const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += argument;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

HANDLE handleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
std::intptr_t valueOf(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

}  // namespace

bool findProgram(const char* name, std::string& path) {
    const std::string wanted = name;
    if (wanted.find_first_of("\\/:") != std::string::npos) return findWithExtensions(wanted, path);
    const char* env = std::getenv("PATH");
    const std::string dirs = env != nullptr ? env : "";
    std::size_t begin = 0;
    while (begin < dirs.size()) {
        std::size_t end = dirs.find(';', begin);
        if (end == std::string::npos) end = dirs.size();
        std::string dir = dirs.substr(begin, end - begin);
        // An entry may be quoted, as it must be where it holds a semicolon.
        if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"') dir = dir.substr(1, dir.size() - 2);
        if (!dir.empty()) {
            const char last = dir.back();
            if (findWithExtensions(dir + (last == '\\' || last == '/' ? "" : "\\") + wanted, path)) return true;
        }
        begin = end + 1;
    }
    return false;
}

ChildProcess::~ChildProcess() {
    if (process_ != -1) kill();
}

bool ChildProcess::start(const std::string& path, const std::vector<std::string>& args, const char* stderrPath) {
    SECURITY_ATTRIBUTES inherited = {};
    inherited.nLength = sizeof inherited;
    inherited.bInheritHandle = TRUE;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    // A big pipe lets the encoder take a whole frame while we draw the next one.
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 1 << 20)) {
        errno = EMFILE;
        return false;
    }
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);  // ours only: its end must close with us
    HANDLE log = INVALID_HANDLE_VALUE;
    if (stderrPath != nullptr) {
        log = CreateFileA(stderrPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    std::string line;
    appendQuoted(line, path);
    for (const std::string& arg : args) {
        line += ' ';
        appendQuoted(line, arg);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = readEnd;
    startup.hStdOutput = log;
    startup.hStdError = log;
    PROCESS_INFORMATION started = {};
    // No console window pops up for it, and being in a group of its own a Ctrl-C on our console
    // reaches only us: we decide how it ends.
    const BOOL ok = CreateProcessA(path.c_str(), line.data(), nullptr, nullptr, TRUE,
                                   CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &started);
    const DWORD failure = ok ? 0 : GetLastError();
    CloseHandle(readEnd);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
    if (!ok) {
        CloseHandle(writeEnd);
        errno = failure == ERROR_FILE_NOT_FOUND || failure == ERROR_PATH_NOT_FOUND ? ENOENT
                : failure == ERROR_ACCESS_DENIED                                   ? EACCES
                                                                                   : ENOEXEC;
        return false;
    }
    CloseHandle(started.hThread);
    process_ = valueOf(started.hProcess);
    input_ = valueOf(writeEnd);
    return true;
}

bool ChildProcess::write(const void* data, std::size_t size) {
    if (input_ == -1) return false;
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        // Once the program has ended the pipe reports itself broken: an error here, nothing more.
        const DWORD chunk = size > (1u << 30) ? DWORD(1u << 30) : DWORD(size);
        DWORD written = 0;
        if (!WriteFile(handleOf(input_), bytes, chunk, &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return true;
}

int ChildProcess::finish() {
    if (input_ != -1) {
        CloseHandle(handleOf(input_));
        input_ = -1;
    }
    if (process_ == -1) return -1;
    HANDLE process = handleOf(process_);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    const bool known = GetExitCodeProcess(process, &code) != 0;
    CloseHandle(process);
    process_ = -1;
    return known ? int(code) : -1;
}

void ChildProcess::kill() {
    // The exit status of a program ended from outside, like a death by signal elsewhere.
    if (process_ != -1) TerminateProcess(handleOf(process_), DWORD(-1));
    finish();
}
