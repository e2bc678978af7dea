#include "module_fixture.h"
#include "sensor/thermal_probe.h"

namespace {

struct ProbeCase {
    const char *label;
    const char *vendor;  // null: the processor has no CPUID instruction
    uint32_t max_leaf;
    uint32_t leaf6_eax;
    int32_t answer;
    std::vector<Call> calls;
};

void PrintTo(const ProbeCase &c, std::ostream *out) { *out << c.label; }

const Call kLeaf0{.op = Op::CpuidGuarded, .leaf = 0};
const Call kLeaf6{.op = Op::Cpuid, .leaf = 6};

class ProbeTest : public ModuleTest, public testing::WithParamInterface<ProbeCase> {};

TEST_P(ProbeTest, AnswersAndAsksOnlyTheLeavesItNeeds) {
    const ProbeCase &c = GetParam();
    if (c.vendor == nullptr) {
        Fake().cpuid_missing = true;
    } else {
        Fake().ScriptCpu(c.vendor, c.max_leaf, c.leaf6_eax);
    }
    EXPECT_EQ(DetectThermalSensor(), c.answer != 0);
    EXPECT_EQ(Fake().calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Processors, ProbeTest,
    testing::Values(
        ProbeCase{"IntelWithSensor", "GenuineIntel", 0x16, 0x1, 1, {kLeaf0, kLeaf6}},
        ProbeCase{"IntelLeaf6Eax2", "GenuineIntel", 0x6, 0x2, 0, {kLeaf0, kLeaf6}},
        ProbeCase{"IntelLeaf6Eax77", "GenuineIntel", 0x6, 0x77, 1, {kLeaf0, kLeaf6}},
        ProbeCase{"IntelHighestLeaf5", "GenuineIntel", 0x5, 0x1, 0, {kLeaf0}},
        ProbeCase{"IntelHighestLeafAboveSignedRange", "GenuineIntel", 0x80000001u, 0x1, 1, {kLeaf0, kLeaf6}},
        ProbeCase{"Amd", "AuthenticAMD", 0x10, 0x1, 0, {kLeaf0}},
        ProbeCase{"Hygon", "HygonGenuine", 0x10, 0x1, 0, {kLeaf0}},
        ProbeCase{"Centaur", "CentaurHauls", 0x10, 0x1, 0, {kLeaf0}},
        ProbeCase{"IntelLookalike", "GenuineIntex", 0x10, 0x1, 0, {kLeaf0}},
        ProbeCase{"NoCpuidInstruction", nullptr, 0, 0, 0, {kLeaf0}}),
    [](const testing::TestParamInfo<ProbeCase> &info) { return std::string(info.param.label); });

TEST_F(ModuleTest, VendorBytesAreReadInTheOrderEbxEdxEcx) {
    // "GenuineIntel" with its EDX and ECX words swapped spells "GenuntelineI".
    Fake().ScriptCpu("GenuntelineI", 0x16, 0x1);
    EXPECT_FALSE(DetectThermalSensor());
}

}  // namespace
