// The event queue the program reads, the program's clock and the windows' timers.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <deque>

#include "toolkit/qt_internal.h"

// ---- Event queue ----------------------------------------------------------------------------

namespace {

std::deque<Event>& queue() {
    static std::deque<Event> events;
    return events;
}

QElapsedTimer& programClock() {
    static QElapsedTimer timer;
    if (!timer.isValid()) timer.start();
    return timer;
}

}  // namespace

void postEvent(const Event& event) {
    queue().push_back(event);
}

void postEvent(int kind, int window, int object, int64_t type) {
    Event e;
    e.kind = kind;
    e.window = window;
    e.object = object;
    e.type = type;
    postEvent(e);
}

void clearEvents() {
    queue().clear();
}

namespace {

// Windows and controls freed by the program are deleted here, when no Qt handler is on
// the stack: processEvents alone never runs deletions asked for outside an event loop.
void deleteFreedWidgets() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Some of Qt's drawing code leaves the upper halves of the AVX registers in use. The
// program's own loops are built for plain SSE, and on many processors every one of their
// vector instructions then waits on those halves: NeuQuant's training ran four times
// slower after a dithered preview had been painted. Clearing them whenever control comes
// back from Qt costs one instruction. (The program is built without AVX, so no value of
// its own lives in the upper halves.)
void clearUpperVectorState() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx) asm volatile("vzeroupper");
#endif
}

}  // namespace

Event windowEvent() {
    deleteFreedWidgets();
    if (queue().empty()) QCoreApplication::processEvents(QEventLoop::AllEvents);
    clearUpperVectorState();
    if (queue().empty()) return Event{};
    Event e = queue().front();
    queue().pop_front();
    return e;
}

namespace {
std::function<void()>& idleHandler() {
    static std::function<void()> handler;
    return handler;
}
}  // namespace

void setIdleHandler(std::function<void()> handler) {
    idleHandler() = std::move(handler);
}

Event waitWindowEvent() {
    deleteFreedWidgets();
    if (queue().empty() && idleHandler()) {
        // A copy: the handler may replace or remove itself.
        std::function<void()> handler = idleHandler();
        handler();
    }
    while (queue().empty()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    clearUpperVectorState();
    Event e = queue().front();
    queue().pop_front();
    return e;
}

namespace {
ClockFunction clockOverride = nullptr;
SleepFunction sleepOverride = nullptr;
}  // namespace

int64_t elapsedMilliseconds() {
    return clockOverride ? clockOverride() : programClock().elapsed();
}

void delay(int milliseconds) {
    if (sleepOverride) {
        sleepOverride(milliseconds);
        return;
    }
    if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void setClock(ClockFunction now, SleepFunction sleep) {
    clockOverride = now;
    sleepOverride = sleep;
}

// The files of the last drop, held until the program takes them.
namespace {
std::vector<std::string>& droppedFileList() {
    static std::vector<std::string> files;
    return files;
}
}  // namespace

void dropFiles(int window, const std::vector<std::string>& files) {
    // A drop replaces one the program has not taken yet: the user meant the last.
    droppedFileList() = files;
    postEvent(eventDropFiles, window);
}

std::vector<std::string> takeDroppedFiles() {
    std::vector<std::string> files;
    files.swap(droppedFileList());
    return files;
}

// ---- Timers ---------------------------------------------------------------------------------

namespace {

std::map<std::pair<int, int>, QTimer*>& timers() {
    static std::map<std::pair<int, int>, QTimer*> records;
    return records;
}

}  // namespace

void stopTimersOfWindow(int window) {
    auto& all = timers();
    for (auto it = all.begin(); it != all.end();) {
        if (it->first.first != window) {
            ++it;
            continue;
        }
        delete it->second;
        it = all.erase(it);
    }
}

void startWindowTimer(int window, int id, int milliseconds) {
    WindowRecord* rec = windowRecord(window);
    if (!rec) return;
    QTimer*& timer = timers()[{window, id}];
    if (!timer) {
        timer = new QTimer();
        timer->setSingleShot(true);
        // A coarse timer may fire a little early, before a deadline the program checks.
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout,
                         [window, id]() { postEvent(eventTimer, window, id); });
    }
    timer->start(std::max(milliseconds, 0));
}

void stopWindowTimer(int window, int id) {
    auto it = timers().find({window, id});
    if (it == timers().end()) return;
    delete it->second;
    timers().erase(it);
}

bool windowTimerActive(int window, int id) {
    auto it = timers().find({window, id});
    return it != timers().end() && it->second->isActive();
}
