// Failures the headless backend injects on request, for the failure paths of the program.
#include <cstdlib>
#include <set>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"

namespace {
struct TimedFault {
    std::string name;
    long frame;
    bool taken;
};
struct FaultRecord {
    std::set<std::string> standing;
    std::vector<TimedFault> timed;
};
FaultRecord faults;

const char* const displaySteps[] = {"create", "cooperative", "interface", "mode", "primary",
                                    "backbuffer", "clipper", "sheet", "palette", "colorkey"};
}  // namespace

int AddFault(const std::string& spec) {
    if (spec.rfind("display:", 0) == 0) {
        for (const char* step : displaySteps) {
            if (spec.substr(8) == step) {
                faults.standing.insert(spec);
                return 1;
            }
        }
        return 0;
    }
    if (spec == "no-keyboard" || spec == "no-sound" || spec == "no-inotify" || spec == "keep-write") {
        faults.standing.insert(spec);
        return 1;
    }
    size_t at = spec.find('@');
    if (at == std::string::npos) return 0;
    std::string name = spec.substr(0, at), number = spec.substr(at + 1);
    if (name != "palette" && name != "surface-lost" && name != "input-lost") return 0;
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number.size() > 9)
        return 0;
    faults.timed.push_back({name, std::atol(number.c_str()), false});
    return 1;
}

void ClearFaults() { faults = FaultRecord{}; }

int FaultRefuses(const char* name) {
    if (!faults.standing.count(name)) return 0;
    std::string fault = name;
    if (fault.rfind("display:", 0) == 0)
        NoteDisplayRefusal("the display refused the \"" + fault.substr(8) + "\" step (--fault " + fault + ")");
    return 1;
}

int FaultTakeAtFrame(const char* name, long frame) {
    for (TimedFault& fault : faults.timed) {
        if (!fault.taken && fault.name == name && fault.frame <= frame) {
            fault.taken = true;
            if (fault.name == "palette")
                NoteDisplayRefusal("the display refused a new palette (--fault palette@" + std::to_string(fault.frame) + ")");
            return 1;
        }
    }
    return 0;
}
