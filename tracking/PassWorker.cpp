#include "tracking/PassWorker.h"

PassWorker::~PassWorker()
{
    if (!thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        quit = true;
    }
    wake.notify_all();
    thread.join();
}

void PassWorker::start(std::function<void()> next)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        job = std::move(next);
        hasJob = true;
    }
    if (!thread.joinable())
        thread = std::thread([this] { loop(); });
    wake.notify_all();
}

void PassWorker::wait()
{
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait(lock, [this] { return !hasJob; });
}

void PassWorker::loop()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return hasJob || quit; });
        if (!hasJob)
            return;
        std::function<void()> current = std::move(job);
        lock.unlock();
        current();
        lock.lock();
        hasJob = false;
        wake.notify_all();
    }
}
