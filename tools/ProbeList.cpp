#include "tools/Probe.h"

#include "app/ImageFormatFilters.h"
#include "browse/FileListView.h"
#include "browse/cFileView.h"

#include <QApplication>
#include <cstdio>

namespace {

int ColumnOf(const std::string& sort) {
    if (sort == "name") return FileListModel::ColName;
    if (sort == "size") return FileListModel::ColSize;
    if (sort == "type") return FileListModel::ColType;
    if (sort == "date") return FileListModel::ColDate;
    return -1; // the listing's own order
}

} // namespace

int ProbeList(int argc, char** argv, const ListRequest& request) {
    // The list is a widget, so the probe runs an off-screen application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
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
        const std::string& name = model->Row(r).name; // the file system's own bytes
        std::fwrite(name.data(), 1, name.size(), stdout);
        std::printf("\t%s\t%s\t%s\n", model->SizeColumnText(r).toUtf8().constData(),
                    model->TypeText(r).toUtf8().constData(),
                    model->DateText(r).toUtf8().constData());
    }
    return ok ? 0 : 1;
}
