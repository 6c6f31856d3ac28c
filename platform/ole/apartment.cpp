#include "platform/ole/apartment.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <vector>

#include "platform/base/hresult.h"
#include "platform/ole/message_queue.h"
#include "platform/ole/process_state.h"
#include "platform/os/process.h"

namespace comrt {
namespace {

// The message the loop returns for a ready runtime socket; never posted by anyone.
constexpr UINT WM_COMRT_IO = 0xC0DE;

struct IoWatch {
    IoHandler handler;
    short events = POLLIN;
};

using Clock = std::chrono::steady_clock;

struct Timer {
    std::chrono::milliseconds interval;
    Clock::time_point due;
    TIMERPROC proc;
};

struct Apartment {
    int init_count = 0;
    DWORD thread_id = 0;
    std::shared_ptr<MessageQueue> queue;
    std::map<int, IoWatch> io;
    std::size_t next_io = 0;  // round robin over ready sockets
    std::map<UINT_PTR, Timer> timers;
    UINT_PTR next_timer = 1;

    // The timer that is due soonest, or null without timers.
    std::pair<const UINT_PTR, Timer>* first_timer() {
        std::pair<const UINT_PTR, Timer>* first = nullptr;
        for (auto& entry : timers)
            if (first == nullptr || entry.second.due < first->second.due)
                first = &entry;
        return first;
    }
};

// How long poll may wait for the next timer: -1 (for ever) without one.
int poll_timeout(Apartment& apt) {
    auto* timer = apt.first_timer();
    if (timer == nullptr)
        return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(timer->second.due - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
}

thread_local std::unique_ptr<Apartment> t_apartment;

}  // namespace

bool in_apartment() {
    return t_apartment != nullptr;
}

bool apartment_watch(int fd, IoHandler handler) {
    if (!t_apartment)
        return false;
    t_apartment->io[fd] = IoWatch{std::move(handler), POLLIN};
    return true;
}

void apartment_unwatch(int fd) {
    if (t_apartment)
        t_apartment->io.erase(fd);
}

void apartment_watch_events(int fd, short events) {
    if (!t_apartment)
        return;
    auto it = t_apartment->io.find(fd);
    if (it != t_apartment->io.end())
        it->second.events = events;
}

}  // namespace comrt

using comrt::t_apartment;

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
    if (t_apartment) {
        if (dwCoInit != COINIT_APARTMENTTHREADED)
            return RPC_E_CHANGED_MODE;
        ++t_apartment->init_count;
        return S_FALSE;
    }
    if (dwCoInit != COINIT_APARTMENTTHREADED)
        return E_NOTIMPL;  // only apartments are served
    try {
        auto apartment = std::make_unique<comrt::Apartment>();
        apartment->queue = std::make_shared<comrt::MessageQueue>();
        if (!*apartment->queue)
            return E_OUTOFMEMORY;
        apartment->thread_id = GetCurrentThreadId();
        apartment->init_count = 1;
        comrt::process_state().thread_queues.add(apartment->thread_id, apartment->queue);
        t_apartment = std::move(apartment);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (!t_apartment || --t_apartment->init_count > 0)
        return;
    comrt::process_state().thread_queues.remove(t_apartment->thread_id);
    t_apartment.reset();
}

BOOL GetMessageA(MSG* lpMsg, HWND, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr || !t_apartment)
        return -1;
    comrt::Apartment& apt = *t_apartment;
    std::vector<pollfd> fds;
    std::vector<int> io_fds;
    bool any = wMsgFilterMin == 0 && wMsgFilterMax == 0;
    bool timers = any || (WM_TIMER >= wMsgFilterMin && WM_TIMER <= wMsgFilterMax);
    for (;;) {
        if (apt.queue->pop(wMsgFilterMin, wMsgFilterMax, *lpMsg))
            return lpMsg->message == WM_QUIT ? 0 : 1;
        auto* timer = timers ? apt.first_timer() : nullptr;
        if (timer != nullptr && timer->second.due <= comrt::Clock::now()) {
            timer->second.due = comrt::Clock::now() + timer->second.interval;
            *lpMsg =
                MSG{nullptr, WM_TIMER, timer->first, reinterpret_cast<LPARAM>(timer->second.proc),
                    0,       {0, 0}};
            return 1;
        }
        fds.assign(1, pollfd{apt.queue->wake_fd(), POLLIN, 0});
        io_fds.clear();
        for (const auto& [fd, watch] : apt.io) {
            fds.push_back(pollfd{fd, watch.events, 0});
            io_fds.push_back(fd);
        }
        int ready = ::poll(fds.data(), fds.size(), timers ? comrt::poll_timeout(apt) : -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (ready == 0)
            continue;  // a timer is due
        if (fds[0].revents != 0)
            apt.queue->drain_wake();
        if (io_fds.empty())
            continue;
        for (std::size_t k = 0; k < io_fds.size(); ++k) {
            std::size_t i = (apt.next_io + k) % io_fds.size();
            if (fds[i + 1].revents != 0) {
                apt.next_io = i + 1;
                *lpMsg = MSG{nullptr,
                             comrt::WM_COMRT_IO,
                             static_cast<WPARAM>(io_fds[i]),
                             fds[i + 1].revents,
                             0,
                             {0, 0}};
                return 1;
            }
        }
    }
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}  // no keyboard input in a windowless loop

LRESULT DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg != nullptr && lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        auto proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
            comrt::Clock::now().time_since_epoch());
        proc(nullptr, WM_TIMER, lpMsg->wParam, static_cast<DWORD>(now.count()));
        return 0;
    }
    if (lpMsg == nullptr || lpMsg->message != comrt::WM_COMRT_IO || !t_apartment)
        return 0;
    auto it = t_apartment->io.find(static_cast<int>(lpMsg->wParam));
    if (it == t_apartment->io.end())
        return 0;                                   // unwatched since the message was taken
    comrt::IoHandler handler = it->second.handler;  // the handler may unwatch itself
    handler(static_cast<short>(lpMsg->lParam));
    return 0;
}

BOOL PostThreadMessageA(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<comrt::MessageQueue> queue =
        comrt::process_state().thread_queues.find(idThread);
    if (!queue)
        return FALSE;
    queue->post(MSG{nullptr, Msg, wParam, lParam, 0, {0, 0}});
    return TRUE;
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    if (hWnd != nullptr || !t_apartment)
        return 0;
    comrt::Apartment& apt = *t_apartment;
    // As on Windows, intervals are at least 10 ms.
    auto interval = std::chrono::milliseconds(std::max<UINT>(uElapse, 10));
    UINT_PTR id = apt.timers.count(nIDEvent) != 0 ? nIDEvent : apt.next_timer++;
    apt.timers[id] = comrt::Timer{interval, comrt::Clock::now() + interval, lpTimerFunc};
    return id;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    if (hWnd != nullptr || !t_apartment)
        return FALSE;
    return t_apartment->timers.erase(uIDEvent) != 0 ? TRUE : FALSE;
}
