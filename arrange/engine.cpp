#include <set>

#include "arrange/engine.h"

namespace zembrix {

ArrangeSummary ExecuteArrangement(CellSheet& sheet, Roster& roster, const Progress& progress) {
    BuildRoster(sheet, roster);
    GroupSchools(roster.SchoolList);
    NumberCandidates(roster, sheet, progress);

    ArrangeSummary summary;
    summary.candidates = roster.RecordCount;
    summary.schools = roster.SchoolList.count();
    std::set<std::int32_t> groups;
    for (std::int32_t e = 1; e <= roster.SchoolList.count(); ++e) groups.insert(*roster.SchoolList[e].group);
    summary.groups = static_cast<std::int32_t>(groups.size());
    summary.rooms = PlacementOf(roster.RecordCount).room;
    return summary;
}

}  // namespace zembrix
