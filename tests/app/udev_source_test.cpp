// The libudev event source and the watcher over it, against umockdev's mock
// udev: the test binary runs with umockdev's preload library (CTest sets
// LD_PRELOAD), which gives libudev a monitor socket fed by the test bed's
// synthetic uevents, so no root, netlink or real device is needed.
#include <gtest/gtest.h>
#include <umockdev.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "app/linux/udev_event_source.h"

namespace hotplug {
namespace {

using namespace std::chrono_literals;

bool PreloadActive() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "umockdev-preload") != nullptr;
}

class UdevSource : public testing::Test {
protected:
    void SetUp() override {
        if (!PreloadActive()) GTEST_SKIP() << "run under umockdev's preload library (as CTest does)";
        testbed_ = umockdev_testbed_new();
        ASSERT_NE(testbed_, nullptr);
        source_ = MakeUdevEventSource();
        ASSERT_NE(source_, nullptr);
    }
    void TearDown() override {
        source_.reset();
        if (testbed_) g_object_unref(testbed_);
    }

    // A USB converter as udev would see it; returns its syspath.
    std::string AddUsbDevice(const char* name) {
        return Syspath(umockdev_testbed_add_device(testbed_, "usb", name, nullptr, "idVendor", "0403", "idProduct",
                                                   "6001", nullptr, "DEVTYPE", "usb_device", nullptr));
    }
    std::string AddChild(const char* subsystem, const char* name, const std::string& parent) {
        return Syspath(umockdev_testbed_add_device(testbed_, subsystem, name, parent.c_str(), nullptr, nullptr));
    }
    // The test bed's newly allocated path as a string (empty when it failed).
    static std::string Syspath(gchar* path) {
        std::string syspath = path ? path : "";
        g_free(path);
        return syspath;
    }
    void Uevent(const std::string& syspath, const char* action) {
        umockdev_testbed_uevent(testbed_, syspath.c_str(), action);
    }
    // Waits (bounded) until `wanted` relevant events have been taken.
    int TakeEvents(int wanted, Milliseconds limit) {
        int taken = 0;
        const Clock::time_point end = Clock::now() + limit;
        while (taken < wanted && Clock::now() < end)
            taken += source_->Wait(std::chrono::ceil<Milliseconds>(end - Clock::now()));
        return taken;
    }

    UMockdevTestbed* testbed_ = nullptr;
    std::unique_ptr<DeviceEventSource> source_;
};

// The test bed announces every device it creates with an "add" uevent, as
// the kernel does on a plug-in.
TEST_F(UdevSource, UsbAndTtyEventsArrive) {
    const std::string usb = AddUsbDevice("1-1");
    ASSERT_FALSE(usb.empty());
    const std::string tty = AddChild("tty", "ttyUSB0", usb);
    ASSERT_FALSE(tty.empty());
    EXPECT_EQ(TakeEvents(2, 5s), 2);
    EXPECT_EQ(TakeEvents(1, 200ms), 0) << "each event is counted once";
    Uevent(tty, "remove");
    Uevent(usb, "remove");
    EXPECT_EQ(TakeEvents(2, 5s), 2);
}

TEST_F(UdevSource, OtherEventsAreNotCounted) {
    const std::string usb = AddUsbDevice("1-2");
    ASSERT_EQ(TakeEvents(1, 5s), 1);
    AddChild("block", "sdb", usb);  // its own "add", of another subsystem
    Uevent(usb, "change");
    EXPECT_EQ(TakeEvents(1, 300ms), 0);
    Uevent(usb, "unbind");  // and the source still counts after them
    EXPECT_EQ(TakeEvents(1, 5s), 1);
}

// A flood is taken in bounded portions, so that the watcher gets back to
// its rate rule and to Stop between them; nothing is lost. (A small bound:
// the mock's socket queues only a few datagrams, 10 by the kernel's default.)
TEST_F(UdevSource, AFloodIsTakenInBoundedPortions) {
    constexpr int kBound = 3;
    source_ = MakeUdevEventSource(kBound);
    ASSERT_NE(source_, nullptr);
    const std::string usb = AddUsbDevice("1-4");
    ASSERT_EQ(TakeEvents(1, 5s), 1);
    const int flood = 8;
    for (int i = 0; i < flood; ++i) Uevent(usb, i % 2 == 0 ? "unbind" : "bind");
    std::vector<int> portions;
    for (int taken = 0; taken < flood && portions.size() < 20;) {
        portions.push_back(source_->Wait(5000ms));
        if (portions.back() <= 0) break;
        taken += portions.back();
    }
    EXPECT_EQ(portions, (std::vector<int>{kBound, kBound, flood - 2 * kBound}));
}

TEST_F(UdevSource, InterruptReleasesAWaitWithoutDeadline) {
    std::thread releaser([this] {
        std::this_thread::sleep_for(50ms);
        source_->Interrupt();
    });
    EXPECT_EQ(source_->Wait(std::nullopt), 0);
    releaser.join();
}

TEST_F(UdevSource, WatcherAnswersAPlugInBurstOnce) {
    // The burst is queued on the monitor before the watcher starts: the test
    // bed uses libudev too, and libudev is not meant for two threads at once.
    const std::string usb = AddUsbDevice("1-3");
    const std::string port0 = AddChild("tty", "ttyUSB3", usb);
    const std::string port1 = AddChild("tty", "ttyUSB4", usb);
    Uevent(usb, "bind");
    Uevent(port0, "change");
    Uevent(port1, "change");
    std::mutex lock;
    std::condition_variable changed;
    int calls = 0;
    HotplugWatcher watcher(std::move(source_), [&] {
        {
            std::lock_guard guard(lock);
            ++calls;
        }
        changed.notify_all();
    }, {300ms, 50ms});
    std::unique_lock guard(lock);
    ASSERT_TRUE(changed.wait_for(guard, 5s, [&] { return calls >= 1; }));
    EXPECT_FALSE(changed.wait_for(guard, 700ms, [&] { return calls >= 2; })) << "one burst, one call";
    guard.unlock();
    watcher.Stop();
}

}  // namespace
}  // namespace hotplug
