#include "tools/Probe.h"

#include "app/ImageFormatFilters.h"
#include "browse/FileListView.h"
#include "browse/cFileView.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

int ColumnOf(const std::string& sort) {
    if (sort == "name") return FileListModel::ColName;
    if (sort == "size") return FileListModel::ColSize;
    if (sort == "type") return FileListModel::ColType;
    if (sort == "date") return FileListModel::ColDate;
    return -1; // the listing's own order
}

// The name's bytes as the file system has them, then the rest of the line.
void PrintName(const std::string& name) {
    std::fwrite(name.data(), 1, name.size(), stdout);
}

void PrintChange(const char* what, const std::string& name, const std::string& to = {}) {
    std::printf("%s ", what);
    PrintName(name);
    if (!to.empty()) {
        std::putchar(' ');
        PrintName(to);
    }
    std::putchar('\n');
}

// The list is a widget, so the probe runs an off-screen application.
void OffScreen() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace

int ProbeList(int argc, char** argv, const ListRequest& request) {
    OffScreen();
    QApplication app(argc, argv);
    FileListView list;
    cFileView view;
    view.SetListView(&list);
    view.SetPattern(request.pattern.value_or(std::string(AllSupportedPattern)));
    // The order chosen before the listing, as a click leaves it for the next folder.
    list.SortBy(ColumnOf(request.sort), request.reverse ? Qt::DescendingOrder : Qt::AscendingOrder);
    const bool ok = view.ListFiles(request.folder, true);
    FileListModel* model = list.Model();
    std::printf("result=%s rows=%d\n", ok ? "true" : "false", model->rowCount());
    for (int r = 0; r < model->rowCount(); ++r) {
        PrintName(model->Row(r).name);
        std::printf("\t%s\t%s\t%s\n", model->SizeColumnText(r).toUtf8().constData(),
                    model->TypeText(r).toUtf8().constData(),
                    model->DateText(r).toUtf8().constData());
    }
    return ok ? 0 : 1;
}

int ProbeWatch(int argc, char** argv, const std::string& folder, double seconds) {
    OffScreen();
    QApplication app(argc, argv);
    FileListView list;
    cFileView view;
    view.SetListView(&list);
    view.SetPattern(std::string(AllSupportedPattern));
    bool listed = false;
    view.Listed = [&](bool ok) {
        listed = ok;
        std::printf("result=%s rows=%d\n", ok ? "true" : "false", list.Model()->rowCount());
        std::fflush(stdout);
        if (!ok) QCoreApplication::quit();
    };
    view.Changed = [](const RowChanges& changes) {
        for (const std::string& name : changes.removed)
            PrintChange("removed", name);
        for (const auto& [from, row] : changes.renamed)
            PrintChange("renamed", from, row.name);
        for (const FileRow& row : changes.changed)
            PrintChange("changed", row.name);
        for (const FileRow& row : changes.added)
            PrintChange("added", row.name);
        std::fflush(stdout);
    };
    view.FolderGone = [&] {
        // The folder went: its rows go with it.
        for (int r = 0; r < list.Model()->rowCount(); ++r)
            PrintChange("removed", list.Model()->Row(r).name);
        std::fflush(stdout);
        list.Model()->Clear();
    };
    constexpr double kMsPerSecond = 1000;
    const double ms = std::min(seconds * kMsPerSecond, double(std::numeric_limits<int>::max()));
    QTimer::singleShot(int(ms), &app, &QCoreApplication::quit);
    view.StartListing(folder, true);
    app.exec();
    return listed ? 0 : 1;
}
