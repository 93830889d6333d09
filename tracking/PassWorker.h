#pragma once
// A helper thread for one job at a time, handed over and awaited by one owner thread. The
// background model gives it the row passes of the lower part of the Tracking Area, which it
// works on while the owner goes through the upper part. The thread is started with the first
// job and ended with the worker.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class PassWorker
{
public:
    PassWorker() = default;
    ~PassWorker();
    PassWorker(const PassWorker &) = delete;
    PassWorker &operator=(const PassWorker &) = delete;

    // Hands the thread a job; the previous one must have been awaited.
    void start(std::function<void()> job);
    // Returns when the job handed last is done.
    void wait();

private:
    void loop();

    std::thread thread;
    std::mutex mutex;             // guards job, hasJob and quit
    std::condition_variable wake; // signalled on a new job, a finished job and quitting
    std::function<void()> job;
    bool hasJob = false;
    bool quit = false;
};
