#include "orvanerfid/link/DetectReader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <type_traits>

#include "LinkTestSupport.h"
#include "orvanerfid/link/EATransport.h"

namespace orvane {
namespace {

// Objects whose handlers hold them weakly exist only inside a shared_ptr.
static_assert(!std::is_default_constructible_v<DetectReader>);
static_assert(!std::is_default_constructible_v<EATransport>);

class Reports : public DetectReaderDelegate {
  public:
    void didConnectReader(const std::shared_ptr<OrvaneDevice>& device) override {
        std::lock_guard guard(lock_);
        connected.push_back(device);
    }
    void didDisconnectReader(const std::shared_ptr<OrvaneDevice>& device) override {
        std::lock_guard guard(lock_);
        disconnected.push_back(device);
    }
    std::size_t connectCount() const {
        std::lock_guard guard(lock_);
        return connected.size();
    }
    std::size_t disconnectCount() const {
        std::lock_guard guard(lock_);
        return disconnected.size();
    }

    std::vector<std::shared_ptr<OrvaneDevice>> connected;
    std::vector<std::shared_ptr<OrvaneDevice>> disconnected;

  private:
    mutable std::mutex lock_;
};

// Uses the process-wide manager, as the detector does; detaches what it attached.
class DetectReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        log = test::LogCapture::install();
        detector->setDelegate(reports);
    }
    void TearDown() override {
        detector->stopDetect();
        for (const auto& accessory : AccessoryManager::shared().connectedAccessories()) {
            AccessoryManager::shared().detach(accessory);
        }
    }
    std::shared_ptr<SimAccessory> attach(std::string manufacturer) {
        auto accessory = test::makeSimReader(std::move(manufacturer));
        AccessoryManager::shared().attach(accessory);
        return accessory;
    }

    std::shared_ptr<test::LogCapture> log;
    std::shared_ptr<Reports> reports = std::make_shared<Reports>();
    std::shared_ptr<DetectReader> detector = DetectReader::create();
};

TEST_F(DetectReaderTest, ReportsMatchingAttachedAccessoriesInListOrderBeforeReturning) {
    auto first = attach("ORVANE INC");
    attach("Acme");
    auto second = attach("orvane");
    detector->startDetect();
    EXPECT_TRUE(detector->isDetecting());
    ASSERT_EQ(reports->connected.size(), 2u);
    EXPECT_EQ(reports->connected[0]->eaaccessory(), first);
    EXPECT_EQ(reports->connected[1]->eaaccessory(), second);
    EXPECT_EQ(log->count("Detect Accessory: ------------", LogLevel::debug), 2);
}

TEST_F(DetectReaderTest, TheManufacturerMustContainTheWordInAnyCase) {
    detector->startDetect();
    const std::pair<const char*, bool> cases[] = {
        {"ORVANE", true}, {"Orvane Technology Co.", true}, {"xxorvanexx", true}, {"Orvan", false},
        {"", false},      {"O r v a n e", false},
    };
    for (auto [manufacturer, matches] : cases) {
        const std::size_t before = reports->connected.size();
        auto accessory = attach(manufacturer);
        EXPECT_EQ(reports->connected.size(), before + (matches ? 1 : 0)) << manufacturer;
        AccessoryManager::shared().detach(accessory);
    }
    // Every accessory is named in the INFO lines, matching or not.
    EXPECT_EQ(log->count("Accessory connected: VK210", LogLevel::info), 6);
    EXPECT_EQ(log->count("Accessory disconnected: VK210", LogLevel::info), 6);
}

TEST_F(DetectReaderTest, StartTwiceAndStopInTheWrongStateOnlyLog) {
    detector->stopDetect();
    EXPECT_EQ(log->count("Not detecting"), 1);
    detector->startDetect();
    detector->startDetect();
    EXPECT_EQ(log->count("Already detecting"), 1);
    attach("Orvane");
    EXPECT_EQ(reports->connected.size(), 1u);  // one observer, one report

    detector->stopDetect();
    EXPECT_FALSE(detector->isDetecting());
    attach("Orvane");
    EXPECT_EQ(reports->connected.size(), 1u);
}

TEST_F(DetectReaderTest, TheDisconnectReportCarriesANewDescriptor) {
    detector->startDetect();
    auto accessory = attach("Orvane");
    AccessoryManager::shared().detach(accessory);
    ASSERT_EQ(reports->connected.size(), 1u);
    ASSERT_EQ(reports->disconnected.size(), 1u);
    EXPECT_NE(reports->connected[0], reports->disconnected[0]);
    EXPECT_EQ(reports->disconnected[0]->serialNumber(), accessory->serialNumber());
    EXPECT_EQ(reports->disconnected[0]->connectionID(), reports->connected[0]->connectionID());
    EXPECT_EQ(log->count("Accessory Disconnected: ------------"), 1);

    detector->accessoryDidConnect(AccessoryNotification{});
    detector->accessoryDidDisconnect({AccessoryNotificationName::didDisconnect, nullptr});
    EXPECT_EQ(reports->connected.size(), 1u);
    EXPECT_EQ(reports->disconnected.size(), 1u);
}

TEST_F(DetectReaderTest, AReleasedDetectorOrDelegateGetsNothing) {
    detector->startDetect();
    reports.reset();
    attach("Orvane");  // no delegate: logged only
    EXPECT_EQ(log->count("Accessory Connected: ------------"), 1);
    detector.reset();
    attach("Orvane");
    EXPECT_EQ(log->count("Accessory Connected: ------------"), 1);
    detector = DetectReader::create();
}

TEST_F(DetectReaderTest, AccessoriesComingAndGoingOnManyThreadsWhileDetecting) {
    detector->startDetect();
    constexpr int kThreads = 4;
    constexpr int kRounds = 25;
    std::vector<std::thread> threads;
    std::atomic<bool> stop{false};
    std::thread toggler([&] {
        // Another detector starts and stops meanwhile; it must not disturb the first.
        auto other = DetectReader::create();
        while (!stop.load()) {
            other->startDetect();
            other->stopDetect();
        }
    });
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                auto accessory = test::makeSimReader("Orvane");
                AccessoryManager::shared().attach(accessory);
                AccessoryManager::shared().detach(accessory);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    stop = true;
    toggler.join();
    EXPECT_EQ(reports->connectCount(), static_cast<std::size_t>(kThreads * kRounds));
    EXPECT_EQ(reports->disconnectCount(), static_cast<std::size_t>(kThreads * kRounds));
}

TEST(OrvaneDevice, EmulatorAndAccessoryDescriptors) {
    const OrvaneDevice emulator;
    EXPECT_TRUE(emulator.emulator());
    EXPECT_EQ(emulator.manufacturer(), "orvane emulator");
    EXPECT_EQ(emulator.deviceName(), "VK640");
    EXPECT_EQ(emulator.firmwareVersion(), "V1.0");
    EXPECT_EQ(emulator.connectionID(), 1);
    EXPECT_EQ(emulator.deviceType(), DeviceType::vk640);
    EXPECT_EQ(emulator.serialNumber(), "Emulator");
    EXPECT_EQ(emulator.protocolString(), "com.orvane.lumora.dcbridge");

    OrvaneDevice bare(test::makeSimReader("Orvane", "vk210", {}));
    EXPECT_EQ(bare.deviceType(), DeviceType::vk210);
    EXPECT_EQ(bare.protocolString(), "");
    bare.setEaaccessory(nullptr);
    EXPECT_FALSE(bare.emulator());
    EXPECT_EQ(bare.manufacturer(), "");
    EXPECT_EQ(bare.connectionID(), 0);
    EXPECT_TRUE(bare.protocolStrings().empty());
    EXPECT_EQ(bare.deviceType(), DeviceType::unknown);
}

}  // namespace
}  // namespace orvane
