// A file list bound to a file view that follows a folder, for the tests of
// the list following the disk: what the view told, and the rows as names.
#pragma once

#include "browse/cFileView.h"

#include <QAbstractItemModelTester>
#include <QTest>
#include <string>
#include <vector>

inline std::vector<std::string> RowNames(const FileListModel* m) {
    std::vector<std::string> names;
    for (int r = 0; r < m->rowCount(); ++r)
        names.push_back(m->Row(r).name);
    return names;
}

inline std::string Describe(const RowChanges& c) {
    std::string out;
    for (const FileRow& r : c.added)
        out += "added " + r.name + "; ";
    for (const std::string& n : c.removed)
        out += "removed " + n + "; ";
    for (const auto& [from, r] : c.renamed)
        out += "renamed " + from + " " + r.name + "; ";
    for (const FileRow& r : c.changed)
        out += "changed " + r.name + "; ";
    return out;
}

// A list bound to a file view, and what the view told.
struct Shown {
    FileListView list;
    // Every signal of the model checked against its rows as they change.
    QAbstractItemModelTester tester{list.Model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest};
    cFileView view;
    int parts = 0;
    int firstPartRows = -1; // the rows shown when the first part came
    std::vector<bool> listed;
    std::vector<RowChanges> changes;
    int gone = 0;

    explicit Shown(const std::string& pattern = "*.png") {
        list.resize(400, 300);
        list.show();
        view.SetListView(&list);
        view.SetPattern(pattern);
        view.RowsArrived = [this] {
            if (parts++ == 0) firstPartRows = list.Model()->rowCount();
        };
        view.Listed = [this](bool ok) { listed.push_back(ok); };
        view.Changed = [this](const RowChanges& c) { changes.push_back(c); };
        view.FolderGone = [this] { ++gone; };
    }
    bool List(const std::string& folder) {
        const std::size_t before = listed.size();
        view.StartListing(folder, true);
        return QTest::qWaitFor([&] { return listed.size() > before; }, 5000);
    }
    // Every change told from the `from`th report on.
    std::string ChangesSince(std::size_t from) const {
        std::string all;
        for (std::size_t i = from; i < changes.size(); ++i)
            all += Describe(changes[i]);
        return all;
    }
    // The changes of the next report (and of any that came with it), or ""
    // when none comes in time.
    std::string NextChange(int timeoutMs = 3000) {
        const std::size_t before = changes.size();
        if (!QTest::qWaitFor([&] { return changes.size() > before; }, timeoutMs)) return {};
        return ChangesSince(before);
    }
};
