#include "app/TransferProgress.h"

#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

TransferProgress::TransferProgress(QWidget* owner, const QString& title, const QString& text)
    : QDialog(owner) {
    setWindowTitle(title);
    setModal(false);
    lblWhat = new QLabel(text, this);
    lblWhat->setTextFormat(Qt::PlainText);
    lblWhat->setWordWrap(true);
    barDone = new QProgressBar(this);
    barDone->setRange(0, kBarSteps);
    barDone->setValue(0);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setAutoDefault(false);
    connect(cmdCancel, &QPushButton::clicked, this, &TransferProgress::Cancel);

    auto* row = new QHBoxLayout;
    row->addWidget(barDone, 1);
    row->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblWhat);
    layout->addLayout(row);

    showTimer.setSingleShot(true);
    showTimer.setInterval(kShowAfterMs);
    connect(&showTimer, &QTimer::timeout, this, [this] {
        if (!finished_) show();
    });
    showTimer.start();
}

void TransferProgress::Progress(uint64_t done, uint64_t total) {
    // A share in whole steps: totals past 2^53 are halved first, so that the
    // product with kBarSteps stays within 64 bits.
    while (total > (uint64_t(1) << 53)) {
        total >>= 1;
        done >>= 1;
    }
    const int step = total == 0 ? kBarSteps : int(std::min(done, total) * kBarSteps / total);
    barDone->setValue(step);
}

void TransferProgress::Post(uint64_t done, uint64_t total) {
    postedDone_ = done;
    postedTotal_ = total;
    if (postPending_.exchange(true)) return; // one call on its way takes the newest
    QMetaObject::invokeMethod(this, &TransferProgress::ShowPosted, Qt::QueuedConnection);
}

void TransferProgress::ShowPosted() {
    postPending_ = false;
    Progress(postedDone_, postedTotal_);
}

void TransferProgress::Finish() {
    finished_ = true;
    showTimer.stop();
    hide();
}

void TransferProgress::reject() {
    Cancel(); // the window stays, saying so, until the work has stopped
}

void TransferProgress::Cancel() {
    if (cancelled_ || finished_) return;
    cancelled_ = true;
    cmdCancel->setEnabled(false);
    lblWhat->setText(QStringLiteral("Cancelling…"));
    emit cancelRequested();
}
