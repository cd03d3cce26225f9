#include "browse/FolderChanges.h"

#include <algorithm>
#include <sys/inotify.h>
#include <unordered_map>

void FolderEvents::Add(uint32_t mask, uint32_t cookie, std::string_view name) {
    if (mask & IN_Q_OVERFLOW) overflow = true;
    if (name.empty()) {
        if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) gone = true;
        return;
    }
    std::string entry(name);
    if (mask & IN_ISDIR) folders.insert(entry);
    if (mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) rewritten.insert(entry);
    if (mask & IN_MOVED_FROM) movedFrom_.emplace_back(cookie, entry);
    if (mask & IN_MOVED_TO) Pair(cookie, entry);
    touched.insert(std::move(entry));
}

void FolderEvents::Pair(uint32_t cookie, const std::string& to) {
    const auto from = std::find_if(movedFrom_.begin(), movedFrom_.end(),
                                   [cookie](const auto& m) { return m.first == cookie; });
    if (from == movedFrom_.end()) {
        movedTo_.emplace_back(cookie, to);
        return;
    }
    renames.emplace_back(std::move(from->second), to);
    movedFrom_.erase(from);
}

void FolderEvents::Merge(FolderEvents&& later) {
    touched.merge(later.touched);
    rewritten.merge(later.rewritten);
    folders.merge(later.folders);
    for (auto& r : later.renames)
        renames.push_back(std::move(r));
    // A rename whose halves fell into two whiles pairs up across them.
    for (auto& m : later.movedFrom_)
        movedFrom_.push_back(std::move(m));
    for (const auto& [cookie, to] : later.movedTo_)
        Pair(cookie, to);
    overflow = overflow || later.overflow;
    gone = gone || later.gone;
}

namespace {

bool RowLess(const FileRow& a, const FileRow& b) {
    return NameLess(a.name, b.name);
}

std::unordered_map<std::string_view, const FileRow*> ByName(std::span<const FileRow> rows) {
    std::unordered_map<std::string_view, const FileRow*> byName;
    byName.reserve(rows.size());
    for (const FileRow& row : rows)
        byName.emplace(row.name, &row);
    return byName;
}

void SortChanges(RowChanges& changes) {
    std::sort(changes.added.begin(), changes.added.end(), RowLess);
    std::sort(changes.removed.begin(), changes.removed.end(), NameLess);
    std::sort(changes.renamed.begin(), changes.renamed.end(),
              [](const auto& a, const auto& b) { return NameLess(a.first, b.first); });
    std::sort(changes.changed.begin(), changes.changed.end(), RowLess);
}

} // namespace

RowChanges DiffRows(std::span<const FileRow> listed, const FolderEvents& events,
                    std::span<const FileRow> found, const std::set<std::string>& leave) {
    const auto shown = ByName(listed);
    const auto onDisk = ByName(found);
    const auto shownRow = [&](const std::string& n) -> const FileRow* {
        const auto it = shown.find(n);
        return it == shown.end() ? nullptr : it->second;
    };
    const auto diskRow = [&](const std::string& n) -> const FileRow* {
        const auto it = onDisk.find(n);
        return it == onDisk.end() ? nullptr : it->second;
    };

    RowChanges changes;
    std::set<std::string> settled = leave; // names the renames account for, or left alone
    for (const auto& [from, to] : events.renames) {
        if (settled.contains(from) || settled.contains(to)) continue;
        const FileRow* now = diskRow(to);
        if (!shownRow(from) || diskRow(from) || !now || shownRow(to)) continue;
        changes.renamed.emplace_back(from, *now);
        settled.insert(from);
        settled.insert(to);
    }
    const auto look = [&](const std::string& name) {
        if (settled.contains(name)) return;
        const FileRow* before = shownRow(name);
        const FileRow* now = diskRow(name);
        if (before && !now) {
            changes.removed.push_back(name);
        } else if (!before && now) {
            changes.added.push_back(*now);
        } else if (before && now &&
                   (events.rewritten.contains(name) || before->size != now->size ||
                    before->mtime != now->mtime)) {
            changes.changed.push_back(*now);
        }
    };
    if (events.overflow) {
        // Every name listed or found: what the lost events were about is unknown.
        for (const FileRow& row : listed)
            look(row.name);
        for (const FileRow& row : found)
            if (!shownRow(row.name)) look(row.name);
    } else {
        for (const std::string& name : events.touched)
            look(name);
    }
    SortChanges(changes);
    return changes;
}

RowChanges ChangesStillToMake(std::span<const FileRow> listed, const RowChanges& done) {
    const auto shown = ByName(listed);
    // Names shown once `changes` is made, as far as it goes so far.
    std::set<std::string> gone, come;
    const auto isShown = [&](const std::string& name) {
        return come.contains(name) || (shown.contains(name) && !gone.contains(name));
    };
    RowChanges changes;
    const auto show = [&](const FileRow& row) {
        if (isShown(row.name)) {
            changes.changed.push_back(row);
        } else {
            changes.added.push_back(row);
            come.insert(row.name);
        }
    };
    for (const std::string& name : done.removed)
        if (isShown(name) && !come.contains(name)) {
            changes.removed.push_back(name);
            gone.insert(name);
        }
    for (const auto& [from, row] : done.renamed) {
        if (from == row.name || !isShown(from) || come.contains(from) || isShown(row.name)) {
            // No rename of a row in place: the old name goes, the new one shows.
            if (from != row.name && isShown(from) && !come.contains(from)) {
                changes.removed.push_back(from);
                gone.insert(from);
            }
            show(row);
            continue;
        }
        changes.renamed.emplace_back(from, row);
        gone.insert(from);
        come.insert(row.name);
    }
    for (const FileRow& row : done.added)
        show(row);
    for (const FileRow& row : done.changed)
        if (isShown(row.name)) changes.changed.push_back(row);
    SortChanges(changes);
    return changes;
}
