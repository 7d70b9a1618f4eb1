// runProgram over CreateProcess: the Windows suite's way of running veldrin.exe as a user would.
// Windows has no signals, so RunControl's signal is not sent; the deadline still holds.
#include "tests/app/run_program.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

// Every argument in quotes; a quote inside, and the backslashes before one, escaped. Plainer than
// the product's own quoting on purpose: the two are checked against each other through the C
// runtime's splitting.
std::string commandLine(const std::vector<std::string>& args) {
    std::string line = "veldrin";
    for (const std::string& arg : args) {
        line += " \"";
        std::size_t backslashes = 0;
        for (const char c : arg) {
            if (c == '\\') {
                ++backslashes;
            } else {
                if (c == '"') line.append(backslashes + 1, '\\');
                backslashes = 0;
            }
            line += c;
        }
        line.append(backslashes, '\\');
        line += '"';
    }
    return line;
}

// The environment block: ours, with the test's changes; names compare without case, as Windows
// compares them.
std::string environmentWith(const std::vector<std::string>& changes) {
    auto upper = [](std::string name) {
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        return name;
    };
    std::map<std::string, std::string> entries;
    char* block = GetEnvironmentStringsA();
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const std::string text = entry;
        const std::size_t equals = text.find('=', 1);  // "=C:=C:\..." entries start with '='
        if (equals != std::string::npos) entries[upper(text.substr(0, equals))] = text;
    }
    FreeEnvironmentStringsA(block);
    for (const std::string& change : changes) {
        const std::size_t equals = change.find('=');
        if (equals == std::string::npos) entries.erase(upper(change));
        else entries[upper(change.substr(0, equals))] = change;
    }
    std::string result;
    for (const auto& [name, entry] : entries) result.append(entry).push_back('\0');
    result.push_back('\0');
    return result;
}

HANDLE openForChild(const std::string& path) {
    SECURITY_ATTRIBUTES inherited = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProgramRun runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                      const RunControl& control) {
    TempFolder files;
    ProgramRun run;
    if (files.path().empty()) return run;
    const std::string errorsPath = files.path() + "\\stderr", outputPath = files.path() + "\\stdout";
    SECURITY_ATTRIBUTES inherited = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0,
                               nullptr);
    HANDLE output = openForChild(outputPath), errors = openForChild(errorsPath);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    std::string line = commandLine(args);
    std::string environment = environmentWith(extraEnv);
    PROCESS_INFORMATION started = {};
    const BOOL ok = CreateProcessA(VELDRIN_PROGRAM, line.data(), nullptr, nullptr, TRUE, 0, environment.data(),
                                   nullptr, &startup, &started);
    for (HANDLE handle : {input, output, errors}) CloseHandle(handle);
    if (!ok) return run;
    CloseHandle(started.hThread);
    const DWORD deadlineMs = DWORD(control.deadlineSeconds * 1000.0);
    DWORD code = 137;
    if (WaitForSingleObject(started.hProcess, deadlineMs) != WAIT_OBJECT_0) {
        TerminateProcess(started.hProcess, 137);
        WaitForSingleObject(started.hProcess, INFINITE);
    } else {
        GetExitCodeProcess(started.hProcess, &code);
    }
    CloseHandle(started.hProcess);
    run.status = int(code);
    run.errors = readFile(errorsPath);
    run.output = readFile(outputPath);
    return run;
}
