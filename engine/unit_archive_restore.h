#pragma once
// Writes items of a unit archive back to a unit: identity values on the modem port, NV items,
// RF NV items (with the modem offline, in the factory-test mode) and the EFS tree on the
// diagnostic port. Directories are made before the files in them.
#include <string>
#include <vector>

#include "engine/unit_archive.h"
#include "engine/worker_context.h"

namespace flintcast::engine {

class AtChannel;

class UnitArchiveRestore {
public:
    UnitArchiveRestore(WorkerContext& ctx, AtChannel& at);

    // Writes `items`, posting a line for each; returns the labels of those the unit did not take.
    std::vector<std::string> Write(const std::vector<archive::Item>& items);

private:
    WorkerContext& ctx_;
    AtChannel& at_;

    bool WriteIdentity(const archive::Item& item);
    bool WriteNv(const archive::Item& item);
    bool WriteRfNv(const archive::Item& item);
    bool MakeDirWithParents(const std::string& path);
    bool WriteEfsFile(const archive::Item& item);
};

}  // namespace flintcast::engine
