#pragma once
// The fault matrix: whole update runs, each with one fault at one point of the run. The cases
// are generated from two tables, the points of a run and the kinds of fault, so every valid
// pair is a case and a new point or fault kind adds its whole row or column.
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace flintcast::testing {

enum class Fault {
    DroppedReply,
    CorruptedReply,
    Refusal,
    LateReply,
    Unplug,
    NeverReturns,
    NewPortNames,
    StopPressed,
    FolderUnwritable,
    DiskFull,
};

const char* FaultName(Fault fault);

// What the test does on the PC side once the run shows the point's first line.
enum class HostAction { None, PressStop, MakeReadOnly };

// How one case makes its fault.
struct Injection {
    std::string simFaults;           // rules for the simulator ("" for none)
    HostAction action = HostAction::None;
    bool diskFull = false;           // the backup disk fills up where this point's files begin
};

// One point of a run and how each fault is made there. Empty fields: that fault does not apply.
struct Point {
    std::string name;
    std::string group;               // the part of the run: discovery, backup, images, return, restore, end
    std::vector<std::pair<std::string, std::string>> config;  // changes to the matrix configuration
    // The request whose reply is lost, spoiled, refused or late (a simulator counter name such as
    // "diag.nv_read", or an AT command such as "AT+ZRVSN=0,5"), and which of its occurrences.
    std::string request;
    int nth = 1;
    // Faults of a link that is not a request-and-reply exchange (fastboot, adb): the rule for
    // each fault kind, given whole.
    std::vector<std::pair<Fault, std::string>> linkRules;
    std::string unplugRule;          // how the cable is pulled here (defaults from `request`)
    std::string returnPersonality;   // a re-enumeration happens here, into this personality
    int returnNth = 1;
    std::string line;                // the first line the run shows at this point ("" : none)
    std::string backupFile;          // the backup file this point writes first ("" : none)
};

struct FaultCase {
    std::string id;                  // "point/fault", unique
    int number = 0;                  // its place in the whole matrix, from 1
    const Point* point = nullptr;
    Fault fault{};
    Injection injection;
};

// How a test names a case in its output.
inline void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.id; }

const std::vector<Point>& MatrixPoints();
// Every valid pair of point and fault.
std::vector<FaultCase> AllFaultCases();
// The fixed part the test suite runs: every fault kind and every part of the run at least once.
std::vector<FaultCase> RepresentativeFaultCases();
// FLINTCAST_FAULT_MATRIX=all selects every case, otherwise the representative part.
std::vector<FaultCase> SelectedFaultCases();

}  // namespace flintcast::testing
