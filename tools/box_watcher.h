// Reads and closes the next message box this process shows, from a thread of
// its own, since MessageBoxA blocks the thread that calls it.
#pragma once

#include <windows.h>

#include <future>
#include <string>
#include <thread>

class BoxWatcher {
public:
    struct Box {
        bool seen = false;
        std::string caption;
        std::string body;
        bool errorIcon = false;
    };

    // Returns once the watching thread runs: a box shown under the loader
    // lock would otherwise keep the thread from ever starting. The time a
    // box may take to show is long, for a loaded machine: a box that shows
    // is closed at once, so only a failing test waits it out.
    explicit BoxWatcher(DWORD timeoutMs = 60000) {
        // Looked up here: finding a resource takes the loader lock, which a
        // box shown from DllMain holds.
        errorIcon_ = LoadIconA(nullptr, IDI_HAND);
        std::future<void> started = running_.get_future();
        thread_ = std::thread([this, timeoutMs] {
            running_.set_value();
            watch(timeoutMs);
        });
        started.wait();
    }
    ~BoxWatcher() {
        if (thread_.joinable()) thread_.join();
    }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // Waits until the box was closed or the time ran out.
    Box result() {
        if (thread_.joinable()) thread_.join();
        return box_;
    }

private:
    static HWND findOwnBox() {
        HWND window = nullptr;
        while ((window = FindWindowExA(nullptr, window, "#32770", nullptr)) != nullptr) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == GetCurrentProcessId() && IsWindowVisible(window)) return window;
        }
        return nullptr;
    }

    void watch(DWORD timeoutMs) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < timeoutMs) {
            if (const HWND box = findOwnBox()) {
                char text[8192];
                GetWindowTextA(box, text, sizeof text);
                box_.caption = text;
                GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
                box_.body = text;
                const auto icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x440, STM_GETICON, 0, 0));
                box_.errorIcon = icon != nullptr && icon == errorIcon_;
                box_.seen = true;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(20);
        }
    }

    Box box_;
    HICON errorIcon_ = nullptr;
    std::promise<void> running_;
    std::thread thread_;
};
