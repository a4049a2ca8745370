// at.bak as a resumed run reads it: any file content gives read flags and values, or a clear
// "could not open" error, never a fault; a value is only taken for a field marked as read.
#include <cstdint>
#include <fstream>

#include "config/project_traits.h"
#include "devkit/fake_directory.h"
#include "devkit/worker_rig.h"
#include "engine/at_channel.h"
#include "engine/identity.h"
#include "engine/identity_table.h"
#include "fuzz/fuzz_check.h"

using namespace flintcast;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static testing::WorkerRig rig(46, platform::Clock::Manual{});
    static testing::FakeDirectory directory;
    static engine::AtChannel at(rig.ctx, directory, engine::AtSettings{});
    const auto path = rig.root.path() / "at.bak";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    rig.reporter.BeginRun();
    engine::DeviceIdentity identity(rig.ctx, at);
    FUZZ_CHECK(identity.LoadReadFlags(path.string()));
    for (const auto& field : engine::IdentityFields())
        if (!identity.read(field.value)) FUZZ_CHECK(identity.value(field.value).empty());
    return 0;
}
