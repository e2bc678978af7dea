#include "module_fixture.h"

namespace {

TEST(SensorStateAtLoad, ComesFromInitialisedData) {
    EXPECT_EQ(LoadTimeState().dts_supported, 0);
    EXPECT_EQ(LoadTimeState().read_msr, nullptr);
    EXPECT_EQ(FloatBits(LoadTimeState().tj_max), 0x42C80000u);
    for (float slot : LoadTimeState().last_readings) {
        EXPECT_EQ(FloatBits(slot), kFltMaxBits);
    }
}


TEST_F(ModuleTest, LoadNotificationAnswersOneForEveryReasonAndProbesOnlyOnProcessAttach) {
    const struct {
        unsigned long reason;
        bool probes;
    } cases[] = {
        {0, false},  // process detach
        {1, true},   // process attach
        {2, false},  // thread attach
        {3, false},  // thread detach
        {0xFFFFFFFFul, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reason);
        FreshModule();
        Fake().ScriptIntelWithSensor();
        EXPECT_EQ(DllMain(nullptr, c.reason, nullptr), 1);
        EXPECT_EQ(g_sensor_state.dts_supported, c.probes ? 1 : 0);
        EXPECT_EQ(!Fake().calls.empty(), c.probes);
    }
}

TEST_F(ModuleTest, LoadsOnProcessorsWithoutTheSensorOrWithoutCpuid) {
    for (bool cpuid_missing : {false, true}) {
        FreshModule();
        Fake().ScriptCpu("AuthenticAMD", 0x10, 0x1);
        Fake().cpuid_missing = cpuid_missing;
        EXPECT_EQ(DllMain(nullptr, DIETHERM_PROCESS_ATTACH, nullptr), 1);
        EXPECT_EQ(g_sensor_state.dts_supported, 0);
    }
}

TEST_F(ModuleTest, LaterNotificationsLeaveTheProbesAnswerAlone) {
    Fake().ScriptIntelWithSensor();
    Load();
    Fake().calls.clear();
    for (unsigned long reason : {2ul, 3ul, 0ul}) {
        EXPECT_EQ(DllMain(nullptr, reason, nullptr), 1);
    }
    EXPECT_EQ(g_sensor_state.dts_supported, 1);
    EXPECT_TRUE(Fake().calls.empty());
}

}  // namespace
