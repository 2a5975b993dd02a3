#include "update/run/digests_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A digest that takes until `stop` is set, but never more than two seconds: a fault in the
// hand-over then fails the test instead of hanging it.
FileDigest DigestUntilStopped(const std::atomic<bool>& stop) {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
    while (!stop && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return FileDigest(stop ? "" : "not stopped");
}

std::vector<std::wstring> Paths(int count) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < count; ++i)
        paths.push_back(L"C:\\L2\\f" + std::to_wstring(i));
    return paths;
}

FileDigest NameDigest(const std::wstring& path, const std::atomic<bool>&) {
    return FileDigest(std::string(path.begin() + 6, path.end()), path == L"C:\\L2\\f3");
}

TEST(DigestsAhead, HandsOverEachPathsDigestInOrderWhateverThreadsCouldStart) {
    const struct {
        const char* name;
        size_t threads;
        int startable;  // threads the platform lets us have
        bool running;
    } cases[] = {
        {"three threads", 3, 3, true},
        {"the second cannot start", 3, 1, true},
        {"none can start", 2, 0, false},
    };
    for (const auto& c : cases) {
        int started = 0;
        const StartThread startThread = [&](std::function<void()> body, std::thread* thread) {
            if (started == c.startable)
                return false;
            ++started;
            return StartStandardThread(std::move(body), thread);
        };
        DigestsAhead ahead(Paths(40), 4, c.threads, NameDigest, startThread);
        ASSERT_EQ(ahead.IsRunning(), c.running) << c.name;
        if (!c.running)
            continue;
        for (size_t i = 0; i < 40; ++i) {
            const FileDigest digest = ahead.Take(i);
            EXPECT_EQ(digest.digest, "f" + std::to_string(i)) << c.name;
            EXPECT_EQ(digest.inUse, i == 3) << c.name;
        }
    }
}

TEST(DigestsAhead, StaysWithinItsDepthAndTellsWhatIsReady) {
    std::atomic<int> computed{0};
    DigestsAhead ahead(Paths(20), 3, 2, [&](const std::wstring& path, const std::atomic<bool>& stop) {
        ++computed;
        return NameDigest(path, stop);
    });
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
    while (!ahead.IsReady(2) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(ahead.IsReady(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(computed.load(), 3);  // nothing past the depth before the run takes one
    EXPECT_FALSE(ahead.IsReady(3));
    EXPECT_FALSE(ahead.WaitUntilReady(3, 20));  // beyond the depth: not before a Take
    EXPECT_TRUE(ahead.WaitUntilReady(2, 0));
    EXPECT_EQ(ahead.Take(0).digest, "f0");
    EXPECT_EQ(ahead.Take(1).digest, "f1");
}

TEST(DigestsAhead, EndingStopsTheDigestsUnderWayAndJoinsAtOnce) {
    // The run ends (cancelled, failed) while every thread is inside a digest that would last.
    for (const size_t taken : {size_t{0}, size_t{1}}) {
        std::atomic<int> inside{0};
        Clock::time_point ended;
        {
            DigestsAhead ahead(Paths(10), 8, 2, [&](const std::wstring& path, const std::atomic<bool>& stop) {
                if (path == L"C:\\L2\\f0")
                    return FileDigest("f0");
                ++inside;
                return DigestUntilStopped(stop);
            });
            if (taken) {
                EXPECT_EQ(ahead.Take(0).digest, "f0");
            }
            const Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
            while (inside < 2 && Clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_EQ(inside.load(), 2);
            ended = Clock::now();
        }
        EXPECT_LT(Clock::now() - ended, std::chrono::milliseconds(500)) << "taken " << taken;
    }
}

}  // namespace
