// libFuzzer target: the input becomes a scripted processor, a sequence of
// platform answers and failures, register values, and a sequence of host
// calls with any arguments. After every call the module's answer, the
// record it wrote, its state and the platform calls it made are checked
// against an independent model of the rules, whose register numbers and
// fields are written as Intel defines them, not taken from the module.
#include <fuzzer/FuzzedDataProvider.h>

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "dietherm.h"
#include "expected_record.h"
#include "fake_platform.h"
#include "plugin/load_notification.h"
#include "sensor/sensor_state.h"

namespace {

const SensorState kLoadTimeState = g_sensor_state;

[[noreturn]] void Violation(const char *what) {
    std::fprintf(stderr, "module broke its rules: %s\n", what);
    std::abort();
}

void Require(bool condition, const char *what) {
    if (!condition) Violation(what);
}

bool SameFloat(float a, float b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

// What the module must do, written from the rules rather than from its code.
struct Model {
    int32_t dts_supported = 0;
    bool ready = false;  // ReadMSR found and the base fixed
    float tj_max = 100.0f;
    float last_readings[32];
    Model() {
        for (float &slot : last_readings) slot = FLT_MAX;
    }

    static int32_t Probe(const FakePlatform &fake) {
        if (fake.cpuid_missing) return 0;
        const auto leaf0 = fake.cpuid_leaves.find(0);
        if (leaf0 == fake.cpuid_leaves.end()) return 0;
        char vendor[12];
        std::memcpy(vendor + 0, &leaf0->second.ebx, 4);
        std::memcpy(vendor + 4, &leaf0->second.edx, 4);
        std::memcpy(vendor + 8, &leaf0->second.ecx, 4);
        if (std::memcmp(vendor, "GenuineIntel", 12) != 0 || leaf0->second.eax < 6) return 0;
        const auto leaf6 = fake.cpuid_leaves.find(6);
        return leaf6 != fake.cpuid_leaves.end() && (leaf6->second.eax & 1) != 0 ? 1 : 0;
    }

    static const MsrAnswer *Register(const FakePlatform &fake, uint32_t msr, int processor) {
        const auto found = fake.msrs.find({msr, processor});
        return found == fake.msrs.end() || !found->second.read ? nullptr : &found->second;
    }

    // Answers 1 or 0 and the number of platform calls the description makes.
    int32_t Describe(const FakePlatform &fake, size_t *calls) {
        *calls = 0;
        if (ready) return 1;
        *calls = 1;  // find ReadMSR
        if (!fake.host_has_read_msr || dts_supported == 0) return 0;
        *calls = 2;  // read 0xEE where the thread is
        const MsrAnswer *tj_max_select = Register(fake, 0xEE, fake.CurrentProcessor());
        if (tj_max_select != nullptr) {
            if ((tj_max_select->low & (1u << 30)) != 0) tj_max = 85.0f;
        } else {
            // No 0xEE: the thermal status, on the same processor, tells a
            // part without that register from a reader that reads nothing.
            *calls = 3;
            if (Register(fake, 0x19C, fake.CurrentProcessor()) == nullptr) return 0;
        }
        ready = true;
        return 1;
    }

    float Poll(const FakePlatform &fake, int32_t index, size_t *calls) {
        *calls = 0;
        if (index < 0 || index > 31 || dts_supported == 0 || !ready) return FLT_MAX;
        *calls = 1;
        if (fake.system_mask_fails) return FLT_MAX;
        *calls = 2;
        if (fake.set_process_affinity_fails) return FLT_MAX;
        *calls = 3;
        const AffinityMask processor = AffinityMask{1} << index;
        if (fake.bind_thread_fails || (processor & fake.system_mask) == 0) return FLT_MAX;
        *calls = 4;
        const MsrAnswer *status = Register(fake, 0x19C, index);
        if (status == nullptr) return FLT_MAX;
        if ((status->low & 0x80000000u) == 0) return last_readings[index];
        last_readings[index] = tj_max - static_cast<float>((status->low >> 16) & 0x7F);
        return last_readings[index];
    }
};

void CheckState(const Model &model) {
    Require(g_sensor_state.dts_supported == model.dts_supported, "dts_supported");
    Require((g_sensor_state.read_msr != nullptr) == model.ready, "read_msr set exactly when ready");
    Require(SameFloat(g_sensor_state.tj_max, model.tj_max), "tj_max");
    for (int i = 0; i < 32; ++i) Require(SameFloat(g_sensor_state.last_readings[i], model.last_readings[i]), "slot");
}

// Zero bytes decode to the common case (an Intel processor with the sensor,
// a host with ReadMSR, readable registers, valid readings), so that the
// fuzzer reaches the reading paths at once and mutates away from them.
void ScriptProcessor(FuzzedDataProvider &input, FakePlatform &fake) {
    fake.cpuid_missing = input.ConsumeBool() && input.ConsumeBool();
    static const char *const kVendors[] = {"GenuineIntel", "AuthenticAMD", "GenuineIotel", "HygonGenuine"};
    const char *vendor = kVendors[input.ConsumeIntegralInRange<size_t>(0, 3)];
    const uint32_t leaf_choice = input.ConsumeIntegralInRange<uint32_t>(0, 8);
    const uint32_t max_leaf = leaf_choice == 0   ? 0x16
                              : leaf_choice == 8 ? input.ConsumeIntegral<uint32_t>()
                                                 : leaf_choice - 1;
    fake.ScriptCpu(vendor, max_leaf, input.ConsumeIntegral<uint32_t>() ^ 1u);
    fake.host_has_read_msr = !(input.ConsumeBool() && input.ConsumeBool());
    for (int processor = 0; processor < static_cast<int>(fake.processor_count); ++processor) {
        fake.SetMsr(0xEE, processor, {input.ConsumeIntegralInRange(0, 7) != 7, input.ConsumeIntegral<uint32_t>()});
        fake.SetMsr(0x19C, processor,
                    {input.ConsumeIntegralInRange(0, 7) != 7, input.ConsumeIntegral<uint32_t>() ^ 0x80000000u});
    }
}

void ScriptRegisterOrFailure(FuzzedDataProvider &input, FakePlatform &fake) {
    switch (input.ConsumeIntegralInRange(0, 4)) {
        case 0: fake.system_mask_fails = !fake.system_mask_fails; break;
        case 1: fake.set_process_affinity_fails = !fake.set_process_affinity_fails; break;
        case 2: fake.bind_thread_fails = !fake.bind_thread_fails; break;
        default: {
            const uint32_t msr = input.ConsumeBool() ? 0xEE : 0x19C;
            const int processor = input.ConsumeIntegralInRange(0, static_cast<int>(fake.processor_count) - 1);
            const bool read = input.ConsumeIntegralInRange(0, 7) != 0;
            fake.SetMsr(msr, processor, {read, input.ConsumeIntegral<uint32_t>()});
        }
    }
}

int32_t SomeIndex(FuzzedDataProvider &input) {
    return input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(-2, 40) : input.ConsumeIntegral<int32_t>();
}

void Describe(FuzzedDataProvider &input, FakePlatform &fake, Model &model) {
    const int32_t index = SomeIndex(input);
    const uint32_t version = input.ConsumeBool() ? input.ConsumeIntegralInRange<uint32_t>(0x00010000u, 0x00010003u)
                                                 : input.ConsumeIntegral<uint32_t>();
    fake.calls.clear();
    if (input.ConsumeIntegralInRange(0, 15) == 0) {
        Require(GetSourceDesc(index, nullptr) == 0, "a null record answers 0");
        Require(fake.calls.empty(), "a null record makes no call");
        return;
    }
    // The smallest record this version allows, on the heap, so that a write
    // past its end is caught by AddressSanitizer.
    const size_t size = version >= SOURCE_DESC_VERSION_WITH_GROUP ? 148 : 144;
    const unsigned char fill = input.ConsumeIntegral<unsigned char>();
    std::unique_ptr<unsigned char[]> record(new unsigned char[size]);
    std::memset(record.get(), fill, size);
    std::memcpy(record.get(), &version, 4);

    size_t expected_calls = 0;
    const int32_t expected = model.Describe(fake, &expected_calls);
    const int32_t answer = GetSourceDesc(index, reinterpret_cast<SourceDesc *>(record.get()));
    Require(answer == expected, "description answer");
    Require(fake.calls.size() == expected_calls, "description platform calls");

    // Written only in its fields, and only when the call answers 1.
    const expected_record::HostRecord reference = answer == 1
                                                      ? expected_record::AfterDescription(version, index, fill)
                                                      : expected_record::Filled(version, fill);
    Require(std::memcmp(record.get(), reference.bytes, size) == 0, "record bytes");
}

void Poll(FuzzedDataProvider &input, FakePlatform &fake, Model &model) {
    const int32_t index = SomeIndex(input);
    // The sensor moves on between polls: often a new status for this source.
    if (index >= 0 && index < static_cast<int32_t>(fake.processor_count) && input.ConsumeBool()) {
        fake.SetMsr(0x19C, index, {input.ConsumeIntegralInRange(0, 7) != 7, input.ConsumeIntegral<uint32_t>()});
    }
    fake.calls.clear();
    size_t expected_calls = 0;
    const float expected = model.Poll(fake, index, &expected_calls);
    const float answer = GetSourceData(index);
    Require(SameFloat(answer, expected), "poll answer");
    Require(fake.calls.size() == expected_calls, "poll platform calls");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    FakePlatform &fake = Fake();
    fake.Reset(input.ConsumeIntegralInRange<uint32_t>(1, 64));
    fake.process_mask = fake.system_mask & (input.ConsumeIntegral<AffinityMask>() | 1u);
    fake.calls.reserve(64);
    g_sensor_state = kLoadTimeState;
    Model model;
    ScriptProcessor(input, fake);

    // The loader's process attach comes first, on any processor.
    fake.calls.clear();
    Require(DllMain(nullptr, DIETHERM_PROCESS_ATTACH, nullptr) == 1, "the load notification answers 1");
    model.dts_supported = Model::Probe(fake);
    Require(!fake.calls.empty() && fake.calls.front().op == Op::CpuidGuarded, "process attach probes");
    CheckState(model);

    float first_base = g_sensor_state.tj_max;
    int base_changes = 0;
    for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
            case 0: {
                // The loader announces the process attach once, first; every
                // other reason may come at any time.
                unsigned long reason = input.ConsumeBool() ? input.ConsumeIntegralInRange(0, 3)
                                                           : input.ConsumeIntegral<uint32_t>();
                if (reason == DIETHERM_PROCESS_ATTACH) reason = 0;
                fake.calls.clear();
                Require(DllMain(nullptr, reason, nullptr) == 1, "the load notification answers 1");
                Require(fake.calls.empty(), "only process attach probes");
                break;
            }
            case 1: Describe(input, fake, model); break;
            case 2: Poll(input, fake, model); break;
            default: ScriptRegisterOrFailure(input, fake); break;
        }
        CheckState(model);
        if (!SameFloat(g_sensor_state.tj_max, first_base)) {
            ++base_changes;
            first_base = g_sensor_state.tj_max;
        }
        Require(SameFloat(g_sensor_state.tj_max, 100.0f) || SameFloat(g_sensor_state.tj_max, 85.0f), "tj_max 100 or 85");
        Require(base_changes <= 1, "tj_max changes at most once");
    }
    return 0;
}
