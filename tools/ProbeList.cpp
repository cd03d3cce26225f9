#include "tools/Probe.h"

#include "app/ImageFormatFilters.h"
#include "browse/FileListView.h"
#include "browse/cFileView.h"

#include <QApplication>
#include <cstdio>

int ProbeList(int argc, char** argv, const std::string& folder, const std::string* pattern) {
    // The list is a widget, so the probe runs an off-screen application.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FileListView list;
    cFileView view;
    view.SetListView(&list);
    view.SetPattern(pattern ? *pattern : std::string(AllSupportedPattern));
    const bool ok = view.ListFiles(folder, true);
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
