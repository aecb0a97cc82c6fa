#include "engine/run/list_plan.h"

#include "engine/cache/cache_entry.h"
#include "engine/cache/package_facts.h"
#include "engine/cache/package_screen.h"
#include "engine/cache/scan.h"
#include "engine/public_variables.h"
#include "engine/run/placement.h"
#include "engine/run/run_journal.h"
#include "engine/run/run_plan.h"
#include "platform/paths.h"
#include "settings/program_files.h"

namespace qv {

namespace {

// The index the entry table stands for: one line per entry, its GUID, "=" and its real name.
std::string indexOfEntries(const PublicVariables& pv) {
    std::string index;
    for (std::size_t k = 0; k < pv.EntryCount(); ++k) {
        const std::string& file = pv.CacheFileNames[k];
        const std::size_t guidEnd = std::min(file.find('.'), file.size());
        index.append(file, 0, guidEnd);
        if (guidEnd < kGuidLength) index.append(kGuidLength - guidEnd, ' ');
        index.append("=").append(pv.RealNames[k]).append("\n");
    }
    return index;
}

// Why the selection rules left a row unchecked.
std::string uncheckedReason(const FileRow& row, const PublicVariables& pv, const Options& o) {
    if (row.neverMove) return "never move";
    if (row.entry < pv.EntryCount() && pv.RealNames[row.entry].find('.') == std::string::npos)
        return "no file extension";
    return selectedByOptions(o, row.text) ? "listed twice" : "type not selected";
}

std::string stayReason(const ScreenVerdict& v) {
    switch (v.reason) {
        case StayReason::Damaged:
            return "damaged (" + v.other + ")";
        case StayReason::OtherVersion:
            return "another version: " + v.other;
        case StayReason::CaseTwin:
            return "case twin of " + v.other;
        case StayReason::Namesake:
            return "namesake of " + v.other;
        case StayReason::OtherContents:
            return "installed with other contents: " + fileNameOf(v.other);
    }
    return {};
}

// The row of a selected line as the plan decides it.
RowPlan rowOf(const RunPlan& plan, std::size_t line) {
    RowPlan row;
    switch (plan.steps[line]) {
        case LineStep::Move:
            row.action = RowAction::Move;
            break;
        case LineStep::Spare:
            row.action = RowAction::Remove, row.installed = "same version";
            break;
        case LineStep::Installed:
            row.action = RowAction::Remove, row.installed = "same version";
            break;
        case LineStep::Missing:
            row.action = RowAction::Drop, row.reason = "no file";
            break;
        case LineStep::Keep:
            break;
        case LineStep::Unmovable:
            row.reason = isUnsafeRealName(plan.lines[line].substr(
                             std::min(plan.lines[line].size(), kRealNameStart)))
                             ? "unsafe name"
                             : "unknown type";
            break;
        case LineStep::NotPlain:
            row.reason = "not a plain file";
            break;
        case LineStep::Taken:
            row.reason = "another file has its name at its destination";
            break;
        case LineStep::NoFolder:
            row.reason = "destination folder missing";
            break;
        case LineStep::Stays: {
            const ScreenVerdict& v = plan.verdicts.at(line);
            row.reason = stayReason(v);
            if (v.reason != StayReason::Damaged)
                row.installed =
                    v.reason == StayReason::OtherContents ? "same version" : "other version";
            break;
        }
    }
    return row;
}

// Rows whose file is gone, when nothing else is moved or removed, are what the run is given
// alone. A cache folder that holds none of them, where the game has none of them installed
// either, looks like the wrong folder (or extension): the run refuses it rather than drop every
// line, so they stay here too, and say why.
void keepDropsOfAWrongCache(ListPlan& result, const std::string& index, const PublicVariables& pv,
                            const PlacementContext& place, FileSystem& fs) {
    if (result.toProcess > 0) return;
    std::vector<std::size_t> drops;
    for (std::size_t k = 0; k < result.entries.size(); ++k)
        if (result.entries[k].action == RowAction::Drop) drops.push_back(k);
    if (drops.empty()) return;
    const RunPlan alone = planRun(index, drops, pv, place, fs);
    if (!looksLikeWrongCache(alone, place, fs)) return;
    // Lines of packages a killed last run moved are accounted for: the run drops those.
    const std::unordered_set<std::string> movedBefore =
        linesMovedByLastRun(fs, journalFolder(programFiles(pv.ProgramFolder, fs).runLog),
                            place.cacheDir, {}, nullptr, false);
    for (std::size_t i = 0; i < alone.lines.size(); ++i)
        if (alone.selected[i] && movedBefore.count(std::string(alone.lines[i]))) return;
    for (const std::size_t k : drops) {
        result.entries[k].action = RowAction::Keep;
        result.entries[k].reason =
            "no file, and the cache folder holds none of the checked packages";
    }
}

}  // namespace

const char* actionText(RowAction action) {
    switch (action) {
        case RowAction::Move:
            return "move";
        case RowAction::Remove:
            return "remove";
        case RowAction::Drop:
            return "drop";
        case RowAction::Keep:
            break;
    }
    return "keep";
}

ListPlan planRows(std::vector<FileRow>& rows, const PublicVariables& pv, const Options& options,
                  const PlacementContext& place, const std::vector<PackageFacts>& facts,
                  const WholeHeaders* whole, FileSystem& fs, HeaderCache* headers) {
    std::vector<std::size_t> checked;
    for (const FileRow& row : rows)
        if (row.checked) checked.push_back(row.entry);
    const std::string index = indexOfEntries(pv);
    PackageScreen screen(place, fs, whole, headers);
    const RunPlan plan = planRun(index, checked, pv, place, fs, whole, &screen);
    ListPlan result;
    result.entries.resize(pv.EntryCount());
    // Line k of that index is entry k.
    for (std::size_t k = 0; k < result.entries.size() && k < plan.steps.size(); ++k) {
        RowPlan& entry = result.entries[k];
        if (plan.selected[k]) entry = rowOf(plan, k);
        if (entry.installed.empty() && k < facts.size())
            entry.installed = installedText(facts[k].installed);
        result.toProcess += entry.action == RowAction::Move || entry.action == RowAction::Remove;
    }
    keepDropsOfAWrongCache(result, index, pv, place, fs);
    for (FileRow& row : rows) {
        if (row.entry >= result.entries.size()) {
            row.checked = false;
            continue;
        }
        RowPlan& entry = result.entries[row.entry];
        if (entry.action == RowAction::Keep && entry.reason.empty())
            entry.reason = uncheckedReason(row, pv, options);
        row.checked = entry.action != RowAction::Keep;
    }
    return result;
}

}  // namespace qv
