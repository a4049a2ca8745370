// Helper programs on Windows: CreateProcess with the program's path and a command line quoted
// argument by argument (platform/command_line.h), never through a shell. A hidden start has no
// console window and its standard handles lead to NUL. Exit codes above 255 are the system's
// status codes of a program that ended abnormally (an access violation, TerminateProcess) and
// count as "did not exit normally".
#include "platform/process.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cwctype>
#include <map>

#include "platform/command_line.h"
#include "platform/win32/process_start.h"
#include "platform/win32/win_text.h"

namespace flintcast::platform {
namespace win32 {
namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// Our environment with the options' variables replacing or adding entries, as the sorted,
// double-NUL-terminated block CreateProcess takes. Names compare without regard to case.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& extra) {
    std::map<std::wstring, std::wstring> vars;  // lower-case name -> "Name=value"
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* e = block; *e != L'\0'; e += std::wcslen(e) + 1) {
            const std::wstring entry(e);
            const size_t eq = entry.find(L'=', 1);  // "=C:=C:\..." entries start with '='
            if (eq != std::wstring::npos) vars[Lower(entry.substr(0, eq))] = entry;
        }
        ::FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : extra) vars[Lower(Widen(name))] = Widen(name) + L"=" + Widen(value);
    std::wstring out;
    for (const auto& [key, entry] : vars) {
        out += entry;
        out += L'\0';
    }
    out += L'\0';
    return out;
}

HANDLE OpenInheritable(const wchar_t* path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return ::CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

StartedProcess StartProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                            const std::vector<std::pair<std::string, std::string>>& environment,
                            const std::filesystem::path& workingDirectory, bool hidden, HANDLE output) {
    StartedProcess started;
    const std::string line = WindowsCommandLine(program.string(), arguments);
    if (line.empty()) {
        errno = EINVAL;
        return started;
    }
    std::wstring commandLine = Widen(line);
    std::wstring env = EnvironmentBlock(environment);

    HANDLE nulIn = nullptr, nulOut = nullptr;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    const bool redirect = output != nullptr || hidden;
    if (redirect) {
        nulIn = OpenInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
        if (output == nullptr) nulOut = OpenInheritable(L"NUL", GENERIC_WRITE, OPEN_EXISTING);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = nulIn;
        si.hStdOutput = output != nullptr ? output : nulOut;
        si.hStdError = si.hStdOutput;
    }
    PROCESS_INFORMATION pi{};
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (hidden || output != nullptr ? CREATE_NO_WINDOW : 0);
    const std::wstring folder = workingDirectory.wstring();
    const BOOL ok = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, redirect ? TRUE : FALSE,
                                     flags, env.data(), folder.empty() ? nullptr : folder.c_str(), &si, &pi);
    const DWORD error = ::GetLastError();
    CloseIfOpen(nulIn);
    CloseIfOpen(nulOut);
    if (!ok) {
        errno = ErrnoFromWin32(error);
        return started;
    }
    ::CloseHandle(pi.hThread);
    started.process = pi.hProcess;
    started.pid = static_cast<int>(pi.dwProcessId);
    return started;
}

int ExitStatusOf(HANDLE process) {
    DWORD code = 0;
    if (!::GetExitCodeProcess(process, &code) || code > 255) return -1;
    return static_cast<int>(code);
}

}  // namespace win32

int LaunchDetached(const std::filesystem::path& program, const LaunchOptions& options) {
    auto started = win32::StartProcess(program, options.arguments, options.environment, options.workingDirectory,
                                       options.hidden, nullptr);
    if (started.process == nullptr) return -1;
    // Windows keeps no zombies: dropping the handle is all the reaping there is.
    ::CloseHandle(started.process);
    return started.pid;
}

int RunAndWait(const std::filesystem::path& program, const LaunchOptions& options) {
    auto started = win32::StartProcess(program, options.arguments, options.environment, options.workingDirectory,
                                       options.hidden, nullptr);
    if (started.process == nullptr) return -1;
    ::WaitForSingleObject(started.process, INFINITE);
    const int status = win32::ExitStatusOf(started.process);
    ::CloseHandle(started.process);
    return status;
}

CapturedRun RunCaptured(const std::filesystem::path& program, const LaunchOptions& options, const Clock& clock,
                        uint32_t limitMs, size_t keptOutputBytes) {
    CapturedRun run;
    // The output goes to a file deleted with its last handle, so a program left running in the
    // background can go on writing to it without harm.
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    if (::GetTempPathW(MAX_PATH, folder) == 0 || ::GetTempFileNameW(folder, L"fco", 0, name) == 0) {
        run.startError = win32::ErrnoFromWin32(::GetLastError());
        return run;
    }
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE file = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                &sa, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        run.startError = win32::ErrnoFromWin32(::GetLastError());
        ::DeleteFileW(name);
        return run;
    }
    auto started = win32::StartProcess(program, options.arguments, options.environment, options.workingDirectory,
                                       true, file);
    if (started.process == nullptr) {
        run.startError = errno;
        ::CloseHandle(file);
        return run;
    }
    run.started = true;
    const int realMs = clock.realTimeoutMs(limitMs);
    if (::WaitForSingleObject(started.process, static_cast<DWORD>(std::max(realMs, 0))) == WAIT_OBJECT_0) {
        run.exitStatus = win32::ExitStatusOf(started.process);
    } else {
        ::TerminateProcess(started.process, 0xFFFFFFFF);
        ::WaitForSingleObject(started.process, INFINITE);
        run.timedOut = true;
    }
    ::CloseHandle(started.process);
    ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    while (run.output.size() < keptOutputBytes) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, keptOutputBytes - run.output.size()));
        if (!::ReadFile(file, buffer, want, &n, nullptr) || n == 0) break;
        run.output.append(buffer, n);
    }
    ::CloseHandle(file);
    return run;
}

std::optional<std::filesystem::path> FindOnPath(std::string_view name) {
    const auto path = EnvironmentValue("PATH");
    if (!path || name.empty() || name.find_first_of("/\\:") != std::string_view::npos) return std::nullopt;
    // A name without an extension is tried with each of PATHEXT's, as the command prompt does.
    std::vector<std::string> names{std::string(name)};
    if (std::filesystem::path(name).extension().empty()) {
        const std::string extensions = EnvironmentValue("PATHEXT").value_or(".COM;.EXE;.BAT;.CMD");
        std::string_view rest(extensions);
        names.clear();
        while (!rest.empty()) {
            const size_t semi = rest.find(';');
            if (semi != 0) names.push_back(std::string(name) + std::string(rest.substr(0, semi)));
            rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
        }
    }
    std::string_view rest(*path);
    while (!rest.empty()) {
        const size_t semi = rest.find(';');
        const std::string_view folder = rest.substr(0, semi);
        rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
        if (folder.empty()) continue;
        for (const std::string& candidateName : names) {
            const std::filesystem::path candidate =
                std::filesystem::path(win32::Widen(folder)) / std::filesystem::path(win32::Widen(candidateName));
            std::error_code ec;
            if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
        }
    }
    return std::nullopt;
}

std::optional<std::string> EnvironmentValue(const char* name) {
    const wchar_t* value = ::_wgetenv(win32::Widen(name).c_str());
    if (value == nullptr) return std::nullopt;
    return win32::Narrow(value);
}

int CurrentProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

}  // namespace flintcast::platform
