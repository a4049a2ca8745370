// nv.bak and nv1.bak as a restore reads them, against a device that takes every write. A file
// the backup check accepts reaches the device whole and unchanged, record by record; a file it
// refuses fails the restore, and of nv1.bak only whole records ahead of the damage are written
// (nv.bak is refused before any write). Either way the file itself is never changed.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

#include "engine/backup_file_check.h"
#include "engine/nv_items.h"
#include "engine/nv_requests.h"
#include "fuzz/fuzz_check.h"
#include "tests/nv/fake_diag.h"

using namespace flintcast;
using flintcast::testing::Bytes;

namespace {

Bytes Answer(const Bytes& request) {
    if (request.size() == 4 && request[0] == 0x4B && request[1] == 0x04) return testing::ModeSwitchEcho();
    if (request[0] == 0x27 && request.size() >= engine::kNvRequestBytes) return testing::NvAnswer(request, 0);
    if (request.size() >= 16 && request[0] == 0x4B && request[1] == 0x0B) return testing::RfAnswer(request, 0, {});
    return {0x13};
}

struct Rig {
    testing::WorkerRig worker{46, 1.0};
    testing::FakeDiag diag{worker, Answer};
    engine::NvItems nv{worker.ctx};
    std::filesystem::path nvBak = worker.root.path() / "nv.bak";
    std::filesystem::path nv1Bak = worker.root.path() / "nv1.bak";
    Rig() { nv.SetBackupPaths(nvBak.string(), nv1Bak.string()); }

    // The file content each write request carries, in the order the device received them.
    Bytes WrittenSince(size_t first, bool rf) {
        const auto requests = diag.requests();
        Bytes out;
        for (size_t i = first; i < requests.size(); ++i) {
            const Bytes& r = requests[i];
            if (!rf && r[0] == 0x27) out.insert(out.end(), r.begin() + 1, r.begin() + 1 + engine::kNvRecordBytes);
            if (rf && r.size() >= 16 && r[0] == 0x4B && r[1] == 0x0B) {
                const size_t size = r[12] | r[13] << 8;
                FUZZ_CHECK(r.size() == 16 + size);
                out.insert(out.end(), r.begin() + 10, r.begin() + 14 + static_cast<std::ptrdiff_t>(size));
            }
        }
        return out;
    }
};

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::filesystem::path& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Rig rig;
    const Bytes file(data, data + size);
    WriteFile(rig.nvBak, data, size);
    WriteFile(rig.nv1Bak, data, size);

    rig.worker.reporter.BeginRun();
    size_t first = rig.diag.requests().size();
    const bool nvDamaged = engine::NvBackupDamage(rig.nvBak.string()).has_value();
    rig.nv.RestoreNvItems();
    const Bytes nvWritten = rig.WrittenSince(first, false);
    if (nvDamaged) {
        FUZZ_CHECK(!rig.worker.reporter.ok());
        FUZZ_CHECK(nvWritten.empty());
    } else {
        FUZZ_CHECK(rig.worker.reporter.ok());
        FUZZ_CHECK(nvWritten == file);
    }

    rig.worker.reporter.BeginRun();
    first = rig.diag.requests().size();
    const bool rfDamaged = engine::RfNvBackupDamage(rig.nv1Bak.string()).has_value();
    rig.nv.RestoreRfNvItems();
    const Bytes rfWritten = rig.WrittenSince(first, true);
    FUZZ_CHECK(rfWritten.size() <= file.size() && std::equal(rfWritten.begin(), rfWritten.end(), file.begin()));
    if (rfDamaged) {
        FUZZ_CHECK(!rig.worker.reporter.ok());
    } else {
        FUZZ_CHECK(rig.worker.reporter.ok());
        FUZZ_CHECK(rfWritten == file);
    }

    FUZZ_CHECK(ReadFile(rig.nvBak) == file && ReadFile(rig.nv1Bak) == file);
    return 0;
}
