#include "browse/cFileView.h"

#include "browse/FileTexts.h"
#include "browse/FolderScan.h"
#include "browse/PathText.h"
#include "platform/Platform.h"

#include <QHeaderView>
#include <cerrno>

void cFileView::SetPattern(const std::string& nPattern) {
    pattern_ = nPattern;
    matcher_ = PathMatcher(pattern_);
}

bool cFileView::ListFiles(const std::string& sPath,
                          bool bDisplayFileSize_Takes_a_BUTT_LOAD_OF_TIME) {
    if (!listView_) return false;
    std::string folder = sPath;
    AddBackslash(folder);

    std::vector<FileRow> rows;
    lastError_ = 0;
    if (!ScanFolder(folder, matcher_, rows)) {
        lastError_ = errno;
        return false;
    }

    Platform::SetBusyPointer();
    Platform::PumpEvents();
    if (!listView_) { // the pump may have closed the window
        Platform::RestorePointer();
        return false;
    }
    SysImageList& types = SysImageList::Instance();
    for (FileRow& row : rows)
        row.typeIndex = types.TypeIndexFor(row.name);
    listView_->Model()->SetRows(std::move(rows), bDisplayFileSize_Takes_a_BUTT_LOAD_OF_TIME);
    if (listView_->Model()->rowCount() > 0) listView_->SelectRow(0);
    Platform::RestorePointer();
    listView_->update();
    AssignSysIL();
    return true;
}

bool cFileView::AssignSysIL() {
    if (!listView_) return false;
    constexpr int kSmallIcon = 16;
    constexpr int kLargeIcon = 32;
    listView_->ReportView()->setIconSize(QSize(kSmallIcon, kSmallIcon));
    listView_->IconView()->setIconSize(QSize(kLargeIcon, kLargeIcon));
    listView_->Model()->SetShowIcons(true);
    return true;
}

bool cFileView::AutoSizeListViewHeaders() {
    if (!listView_) return false;
    QTreeView* report = listView_->ReportView();
    const int columns = report->header()->count();
    for (int c = 0; c + 1 < columns; ++c)
        report->resizeColumnToContents(c);
    return true;
}

std::string cFileView::StripNulls(std::string& OriginalStr) {
    return ::StripNulls(OriginalStr);
}
