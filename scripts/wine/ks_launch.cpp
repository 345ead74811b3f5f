// Helper that the Wine harness starts inside a virtual desktop.
//
//   ks_launch.exe --exit-file C:\path [--timeout-ms N] PROGRAM [ARGS...]
//       Runs PROGRAM with ARGS, waits for it and writes its exit code (decimal)
//       to the exit file. `wine explorer /desktop=...` does not pass exit codes
//       on, so this is how the harness learns them. After N ms the program is
//       terminated and the file says "timeout".
//   ks_launch.exe --exit-file C:\path --close TITLE
//       Posts WM_CLOSE to every top-level window titled TITLE on this desktop;
//       the exit file says how many windows got it.
//   ks_launch.exe --keep
//       Stays on the desktop, windowless, until it is ended. Wine closes a
//       virtual desktop a moment after its last program ends, and a program
//       that starts just then dies on the closing desktop's X window
//       (BadWindow); the harness starts its desktop with this as its first
//       program, so that the desktop lives as long as the session.
//
// The exit file is written under a temporary name and renamed, so the harness
// never reads half a number.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : h_(h) {}
    Handle(Handle&& other) noexcept : h_(other.h_) { other.h_ = nullptr; }
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other) {
            reset();
            h_ = other.h_;
            other.h_ = nullptr;
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }
    HANDLE get() const { return h_; }

private:
    void reset()
    {
        if (h_ && h_ != INVALID_HANDLE_VALUE)
            CloseHandle(h_);
        h_ = nullptr;
    }
    HANDLE h_;
};

// Quotes one argument so that the child's C runtime parses it back unchanged.
std::wstring quoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    for (auto it = arg.begin();; ++it) {
        size_t backslashes = 0;
        while (it != arg.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == arg.end()) {
            out.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out.push_back(L'"');
        } else {
            out.append(backslashes, L'\\');
            out.push_back(*it);
        }
    }
    out.push_back(L'"');
    return out;
}

bool writeResult(const std::wstring& path, const std::string& text)
{
    const std::wstring tmp = path + L".tmp";
    {
        Handle file(CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
            return false;
    }
    return MoveFileExW(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

struct CloseRequest {
    const wchar_t* title;
    int posted;
};

BOOL CALLBACK closeIfTitled(HWND hwnd, LPARAM param)
{
    auto* request = reinterpret_cast<CloseRequest*>(param);
    wchar_t text[512];
    if (GetWindowTextW(hwnd, text, 512) > 0 && std::wcscmp(text, request->title) == 0
        && PostMessageW(hwnd, WM_CLOSE, 0, 0))
        ++request->posted;
    return TRUE;
}

int usage()
{
    std::fprintf(stderr, "usage: ks_launch.exe --exit-file PATH [--timeout-ms N] PROGRAM [ARGS...]\n"
                         "       ks_launch.exe --exit-file PATH --close TITLE\n"
                         "       ks_launch.exe --keep\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 2 && std::wcscmp(argv[1], L"--keep") == 0) {
        GetDesktopWindow();  // the process joins the desktop
        Sleep(INFINITE);
        return 0;
    }
    std::wstring exitFile;
    DWORD timeoutMs = INFINITE;
    int i = 1;
    for (; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--exit-file") == 0)
            exitFile = argv[i + 1];
        else if (std::wcscmp(argv[i], L"--timeout-ms") == 0)
            timeoutMs = static_cast<DWORD>(std::wcstoul(argv[i + 1], nullptr, 10));
        else
            break;
    }
    if (exitFile.empty() || i >= argc)
        return usage();

    if (std::wcscmp(argv[i], L"--close") == 0) {
        if (i + 1 >= argc)
            return usage();
        CloseRequest request{argv[i + 1], 0};
        EnumWindows(closeIfTitled, reinterpret_cast<LPARAM>(&request));
        writeResult(exitFile, std::to_string(request.posted) + "\n");
        return request.posted > 0 ? 0 : 1;
    }

    std::wstring commandLine;
    for (int a = i; a < argc; ++a) {
        if (!commandLine.empty())
            commandLine.push_back(L' ');
        commandLine += quoteArgument(argv[a]);
    }
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Wine now and then fails a start with ERROR_INTERNAL_ERROR while its
    // session is still settling; a later try goes through.
    bool started = false;
    DWORD error = 0;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) Sleep(1000);
        started = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &info) != 0;
        if (!started) error = GetLastError();
        if (!started && error != ERROR_INTERNAL_ERROR) break;
    }
    if (!started) {
        std::fprintf(stderr, "ks_launch: cannot start %ls (error %lu)\n", argv[i], error);
        writeResult(exitFile, "launch-failed " + std::to_string(error) + "\n");
        return 3;
    }
    Handle process(info.hProcess);
    Handle thread(info.hThread);

    if (WaitForSingleObject(process.get(), timeoutMs) == WAIT_TIMEOUT) {
        TerminateProcess(process.get(), 124);
        WaitForSingleObject(process.get(), 5000);
        writeResult(exitFile, "timeout\n");
        return 124;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    writeResult(exitFile, std::to_string(code) + "\n");
    return 0;
}
