// A helper that runs with less confinement than it should is said in the
// status bar, where the missing helper is said. This process stacks Landlock
// layers until the kernel takes no more before the application starts, so
// the helpers it starts cannot add their own file-system rules: a real
// condition, not a switch.
#include "MainWindowFixture.h"

#include <QApplication>
#include <cerrno>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// True when the process now holds as many Landlock layers as the kernel lets
// it stack. Each layer refuses only making block devices, which nothing in
// this test does.
bool FillLandlockLayers() {
    if (::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION) < 1)
        return false;
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    landlock_ruleset_attr attr{};
    attr.handled_access_fs = LANDLOCK_ACCESS_FS_MAKE_BLOCK;
    constexpr int kManyLayers = 1000; // far more than a kernel lets a process stack
    for (int i = 0; i < kManyLayers; ++i) {
        const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
        if (ruleset < 0) return false;
        const bool full = ::syscall(SYS_landlock_restrict_self, ruleset, 0) != 0 && errno == E2BIG;
        ::close(int(ruleset));
        if (full) return true;
    }
    return false;
}

bool layersFull = false;

} // namespace

class ConfinementShownTest : public MainWindowFixture {
    Q_OBJECT
  private slots:
    void initTestCase() { MakeFolder(); }
    void init() { OpenWindow(); }
    void cleanup() { CloseWindow(); }

    void aHelperWithoutItsFileRulesIsSaid() {
        if (!layersFull) QSKIP("this kernel cannot stack Landlock layers here");
        Choose(QStringLiteral("a-still.png"));
        QCOMPARE(Panel(2), QStringLiteral("640x480"));
        QCOMPARE(Panel(3), QStringLiteral("Decoder helper without file-system rules"));
        // A GIF is not decoded by the helper: its panel keeps its frame count.
        Choose(QStringLiteral("single.gif"));
        QCOMPARE(Panel(3), QStringLiteral("1 Frames"));
        // A file the helper cannot decode says why, not the confinement.
        Choose(QStringLiteral("broken.jpg"));
        QVERIFY(Panel(3) != QStringLiteral("Decoder helper without file-system rules"));
    }
};

int main(int argc, char** argv) {
    layersFull = FillLandlockLayers();
    QApplication app(argc, argv);
    ConfinementShownTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_confinement_shown.moc"
